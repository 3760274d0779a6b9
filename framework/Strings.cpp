#include "framework/Strings.h"
#include <windows.h>

std::wstring Trim(std::wstring_view text) {
  size_t first = 0, last = text.size();
  while (first < last && text[first] <= 32) ++first;
  while (last > first && text[last - 1] <= 32) --last;
  return std::wstring(text.substr(first, last - first));
}

std::wstring LowerAscii(std::wstring_view text) {
  std::wstring result(text);
  for (auto& ch : result)
    if (ch >= L'A' && ch <= L'Z') ch = static_cast<wchar_t>(ch + 32);
  return result;
}

bool SameTextAscii(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

static std::string WideToCodePage(std::wstring_view text, UINT codePage) {
  if (text.empty()) return {};
  int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(n, '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), n, nullptr, nullptr);
  return result;
}

static std::wstring CodePageToWide(std::string_view bytes, UINT codePage) {
  if (bytes.empty()) return {};
  int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring result(n, L'\0');
  ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(), n);
  return result;
}

std::string WideToUtf8(std::wstring_view text) { return WideToCodePage(text, CP_UTF8); }
std::wstring Utf8ToWide(std::string_view bytes) { return CodePageToWide(bytes, CP_UTF8); }
std::string WideToAnsi(std::wstring_view text) { return WideToCodePage(text, CP_ACP); }
std::wstring AnsiToWide(std::string_view bytes) { return CodePageToWide(bytes, CP_ACP); }

std::wstring SysErrorMessage(unsigned long code, const wchar_t* module) {
  wchar_t* buffer = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  HMODULE source = module ? ::GetModuleHandleW(module) : nullptr;
  if (source) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  DWORD n = ::FormatMessageW(flags, source, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer ? buffer : L"", n);
  if (buffer) ::LocalFree(buffer);
  while (!text.empty() && (text.back() <= 32 || text.back() == L'.')) text.pop_back();
  return text;
}

std::wstring FormatText(std::wstring_view format, std::initializer_list<std::wstring_view> args) {
  std::wstring result;
  auto next = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    wchar_t ch = format[i];
    if (ch == L'%' && i + 1 < format.size()) {
      wchar_t kind = format[i + 1];
      if (kind == L'%') { result += L'%'; ++i; continue; }
      if ((kind == L's' || kind == L'd') && next != args.end()) { result += *next++; ++i; continue; }
    }
    result += ch;
  }
  return result;
}

namespace {
// The digits of the magnitude in the base, least significant first, padded with zeros to minDigits.
std::wstring ReversedDigits(unsigned long long magnitude, unsigned base, int minDigits) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring digits;
  do {
    digits += kDigits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  if (static_cast<int>(digits.size()) < minDigits) digits.append(minDigits - digits.size(), L'0');
  return digits;
}
}  // namespace

std::wstring IntToStr(long long value, int minDigits) {
  // The magnitude in unsigned arithmetic: -value overflows for the smallest value.
  const unsigned long long magnitude =
      value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  std::wstring text = ReversedDigits(magnitude, 10, minDigits);
  if (value < 0) text += L'-';
  return {text.rbegin(), text.rend()};
}

std::wstring IntToHex(unsigned long long value, int minDigits) {
  const std::wstring text = ReversedDigits(value, 16, minDigits);
  return {text.rbegin(), text.rend()};
}
