#include "http/uDownloadRetry.h"
#include <wininet.h>
#include <climits>
#include <string>
#include "framework/Strings.h"

namespace {
constexpr long long kFileTimeTicksPerSecond = 10000000;

// Reads the digits of text from pos on; -1 when there are none or they overflow.
long long ReadDigits(std::wstring_view text, size_t& pos) {
  const size_t start = pos;
  long long value = 0;
  for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
    if (value > (LLONG_MAX - (text[pos] - L'0')) / 10) return -1;
    value = value * 10 + (text[pos] - L'0');
  }
  return pos == start ? -1 : value;
}

bool Expect(std::wstring_view text, size_t& pos, wchar_t ch) {
  if (pos >= text.size() || text[pos] != ch) return false;
  ++pos;
  return true;
}

// The fixed digits of text at pos; -1 unless all count of them are digits.
int FixedDigits(std::wstring_view text, size_t pos, size_t count) {
  int value = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (i >= text.size() || text[i] < L'0' || text[i] > L'9') return -1;
    value = value * 10 + (text[i] - L'0');
  }
  return value;
}

// An HTTP date as servers send it: "Sun, 06 Nov 1994 08:49:37 GMT". Strict, since the system's own
// reader takes nearly any text for some date.
bool ParseHttpDate(std::wstring_view text, FILETIME& time) {
  constexpr std::wstring_view kMonths = L"JanFebMarAprMayJunJulAugSepOctNovDec";
  if (text.size() != 29 || text.substr(3, 2) != L", " || text[7] != L' ' || text[11] != L' ' || text[16] != L' ' ||
      text[19] != L':' || text[22] != L':' || text.substr(25) != L" GMT")
    return false;
  const size_t month = kMonths.find(text.substr(8, 3));
  SYSTEMTIME date{};
  const int fields[] = {FixedDigits(text, 12, 4), FixedDigits(text, 5, 2), FixedDigits(text, 17, 2),
                        FixedDigits(text, 20, 2), FixedDigits(text, 23, 2)};
  for (int field : fields)
    if (field < 0) return false;
  if (month == std::wstring_view::npos || month % 3 != 0) return false;
  date.wYear = static_cast<WORD>(fields[0]);
  date.wMonth = static_cast<WORD>(month / 3 + 1);
  date.wDay = static_cast<WORD>(fields[1]);
  date.wHour = static_cast<WORD>(fields[2]);
  date.wMinute = static_cast<WORD>(fields[3]);
  date.wSecond = static_cast<WORD>(fields[4]);
  return ::SystemTimeToFileTime(&date, &time) != FALSE;
}

long long FileTimeSeconds(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<long long>(value.QuadPart / kFileTimeTicksPerSecond);
}
}  // namespace

bool IsTransientWinInetError(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_TIMEOUT: case ERROR_INTERNET_CONNECTION_ABORTED: case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
    // Wine hands on the socket's own codes for a time-out and a reset where Windows says 12002, 12030.
    case WSAETIMEDOUT: case WSAECONNRESET: case WSAECONNABORTED:
      return true;
    default:
      return false;
  }
}

bool IsTransientStatus(DWORD status) {
  switch (status) {
    case 408: case 429: case 500: case 502: case 503: case 504:
      return true;
    default:
      return false;
  }
}

DWORD RetryDelayMs(const TRetryPolicy& policy, int tryInRow, long long retryAfterSeconds) {
  if (retryAfterSeconds >= 0) {
    const long long limitSeconds = policy.MaxRetryAfterMs / 1000;
    return static_cast<DWORD>((retryAfterSeconds < limitSeconds ? retryAfterSeconds : limitSeconds) * 1000);
  }
  const int doublings = tryInRow < 1 ? 0 : (tryInRow > 16 ? 15 : tryInRow - 1);
  return policy.FirstDelayMs << doublings;
}

long long RetryAfterSeconds(std::wstring_view value, const FILETIME& now) {
  const std::wstring text = Trim(value);
  size_t pos = 0;
  const long long seconds = ReadDigits(text, pos);
  if (seconds >= 0) return pos == text.size() ? seconds : -1;
  FILETIME dateTime{};
  if (!ParseHttpDate(text, dateTime)) return -1;
  const long long until = FileTimeSeconds(dateTime) - FileTimeSeconds(now);
  return until > 0 ? until : 0;
}

bool ParseContentRange(std::wstring_view text, TContentRange& range) {
  const std::wstring trimmed = Trim(text);
  std::wstring_view rest = trimmed;
  constexpr std::wstring_view kUnit = L"bytes ";
  if (!rest.starts_with(kUnit)) return false;
  rest.remove_prefix(kUnit.size());
  size_t pos = 0;
  TContentRange parsed;
  parsed.First = ReadDigits(rest, pos);
  if (parsed.First < 0 || !Expect(rest, pos, L'-')) return false;
  parsed.Last = ReadDigits(rest, pos);
  if (parsed.Last < parsed.First || !Expect(rest, pos, L'/')) return false;
  if (!Expect(rest, pos, L'*')) {
    parsed.Total = ReadDigits(rest, pos);
    if (parsed.Total <= parsed.Last) return false;
  }
  if (pos != rest.size()) return false;
  range = parsed;
  return true;
}

bool ContinuesAt(const TContentRange& range, long long offset, long long knownTotal) {
  return range.First == offset && (knownTotal < 0 || range.Total == knownTotal);
}
