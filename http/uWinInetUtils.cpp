#include "http/uWinInetUtils.h"
#include "framework/Strings.h"
#include "resources/StringIds.h"
#include "resources/StringRes.h"
#include <climits>
#include <tuple>

thread_local DWORD LastWinInetError = 0;

namespace {
constexpr DWORD kMessageBufferChars = 2048;
constexpr DWORD kExtendedError = 12003;  // ERROR_INTERNET_EXTENDED_ERROR
constexpr size_t kContentLengthChars = 31;
constexpr size_t kHeaderChars = 256;  // longer texts are no range or date of a well-formed reply

bool IsFormSafe(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
         byte == '*' || byte == '-' || byte == '.' || byte == '_';
}

std::wstring FormEncode(std::wstring_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::wstring result;
  for (unsigned char byte : WideToUtf8(text)) {
    if (IsFormSafe(byte)) {
      result += static_cast<wchar_t>(byte);
    } else if (byte == ' ') {
      result += L'+';
    } else {
      result += L'%';
      result += static_cast<wchar_t>(kHex[byte >> 4]);
      result += static_cast<wchar_t>(kHex[byte & 15]);
    }
  }
  return result;
}

// A header's text when it fits a buffer of that many characters; empty otherwise, or when there is none.
std::wstring QueryHeaderText(HINTERNET request, DWORD infoLevel, size_t chars) {
  std::wstring buffer(chars, L'\0');
  DWORD size = static_cast<DWORD>(chars * sizeof(wchar_t));
  if (!::HttpQueryInfoW(request, infoLevel, buffer.data(), &size, nullptr)) return std::wstring();
  buffer.resize(size / sizeof(wchar_t) < chars ? size / sizeof(wchar_t) : 0);
  return buffer;
}

// The server's last response text (kept by WinINet per thread), when it fits the message buffer.
bool LastResponseText(std::wstring& text) {
  DWORD error = 0, length = 0;
  ::InternetGetLastResponseInfoW(&error, nullptr, &length);
  if (length > kMessageBufferChars) return false;
  std::wstring buffer(kMessageBufferChars + 1, L'\0');
  length = kMessageBufferChars + 1;
  if (!::InternetGetLastResponseInfoW(&error, buffer.data(), &length)) length = 0;
  buffer.resize(length < buffer.size() ? length : 0);
  text = TrimMessageEnd(std::move(buffer));
  return true;
}
}  // namespace

bool IsSecureUrl(std::wstring_view url) { return LowerAscii(Trim(url)).starts_with(L"https"); }

INTERNET_PORT ConnectPort(const TUrlParts& parts, bool secure) {
  const INTERNET_PORT port = PortNumber(parts.Port);
  return secure && port == 0 ? INTERNET_DEFAULT_HTTPS_PORT : port;
}

DWORD RequestFlags(bool secure) {
  constexpr DWORD kPlainFlags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION;
  // Everything a secure exchange asks for but the two bits that would accept a wrong certificate name or
  // date: the installer fetched this way is run with administrator rights.
  constexpr DWORD kSecureExtras = INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_CACHE_ASYNC;
  return secure ? kPlainFlags | INTERNET_FLAG_SECURE | kSecureExtras : kPlainFlags;
}

void RaiseLastWinInetError() {
  LastWinInetError = ::GetLastError();
  if (LastWinInetError != 0) throw EWinInetException(WinInetErrorMessage());
}

std::wstring WinInetErrorMessage() { return WinInetCodeMessage(LastWinInetError); }

std::wstring WinInetCodeMessage(DWORD code) {
  // Inserts are ignored: a system text with "%1" must not read arguments nobody passed.
  std::wstring message = SysErrorMessage(code, L"wininet.dll");
  // A failure must never read as success to a caller that tests the text: some codes (Wine's
  // certificate errors among them) have no system text.
  if (message.empty()) message = FormatText(LoadStr(IDS_INTERNET_ERROR), {IntToStr(code)});
  if (message.size() > kMessageBufferChars) message.resize(kMessageBufferChars);
  std::wstring response;
  if (code == kExtendedError && LastResponseText(response)) message += L"\r\n" + response;
  return message;
}

std::wstring TrimMessageEnd(std::wstring text) {
  while (!text.empty() && (text.back() <= 32 || text.back() == L'.')) text.pop_back();
  return text;
}

TBytes StringToUtf8(std::wstring_view text) { return WideToUtf8(text); }

std::wstring AnsiToString(const TBytes& bytes) { return AnsiToWide(bytes); }

DWORD QueryInfoNumber(HINTERNET request, DWORD infoLevel) {
  DWORD value = 0, size = sizeof(value);
  if (!::HttpQueryInfoW(request, infoLevel, &value, &size, nullptr)) RaiseLastWinInetError();
  return value;
}

std::wstring QueryInfoText(HINTERNET request, DWORD infoLevel) {
  DWORD size = 0;
  if (!::HttpQueryInfoW(request, infoLevel, nullptr, &size, nullptr) &&
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    RaiseLastWinInetError();
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!::HttpQueryInfoW(request, infoLevel, text.data(), &size, nullptr)) RaiseLastWinInetError();
  text.resize(size / sizeof(wchar_t) < text.size() ? size / sizeof(wchar_t) : 0);
  return text;
}

std::wstring QueryHeader(HINTERNET request, DWORD infoLevel) {
  return QueryHeaderText(request, infoLevel, kHeaderChars);
}

long long QueryContentLength(HINTERNET request) {
  return ParseDecimal(QueryHeaderText(request, HTTP_QUERY_CONTENT_LENGTH, kContentLengthChars));
}

long long ParseDecimal(std::wstring_view text) {
  std::wstring trimmed = Trim(text);
  std::wstring_view digits = trimmed;
  bool negative = false;
  if (!digits.empty() && (digits.front() == L'+' || digits.front() == L'-')) {
    negative = digits.front() == L'-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return -1;
  long long value = 0;
  for (wchar_t ch : digits) {
    if (ch < L'0' || ch > L'9') return -1;
    if (value > (LLONG_MAX - (ch - L'0')) / 10) return -1;
    value = value * 10 + (ch - L'0');
  }
  return negative ? -value : value;
}

std::wstring EncodeFormFields(const TStrings& fields) {
  std::wstring body;
  for (const auto& line : fields) {
    size_t equals = line.find(L'=');
    std::wstring_view name = std::wstring_view(line).substr(0, equals);
    std::wstring_view value =
        equals == std::wstring::npos ? std::wstring_view() : std::wstring_view(line).substr(equals + 1);
    if (!body.empty()) body += L'&';
    body += FormEncode(name) + L'=' + FormEncode(value);
  }
  return body;
}
