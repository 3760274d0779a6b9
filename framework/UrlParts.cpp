#include "framework/UrlParts.h"
#include "framework/Strings.h"
#include <tuple>

std::pair<std::wstring, std::wstring> SplitAtColon(std::wstring_view text) {
  const size_t colon = text.find(L':');
  if (colon == std::wstring_view::npos) return {std::wstring(text), {}};
  return {std::wstring(text.substr(0, colon)), std::wstring(text.substr(colon + 1))};
}

TUrlParts SplitUrl(std::wstring_view url) {
  TUrlParts parts;
  const size_t schemeEnd = url.find(L"://");
  if (schemeEnd != std::wstring_view::npos) {
    parts.Scheme = LowerAscii(url.substr(0, schemeEnd));
    url.remove_prefix(schemeEnd + 3);
  }
  const size_t slash = url.find(L'/');
  if (slash != std::wstring_view::npos) {
    parts.Path = std::wstring(url.substr(slash));
    url = url.substr(0, slash);
  }
  const size_t at = url.find(L'@');
  if (at != std::wstring_view::npos) {
    std::tie(parts.User, parts.Password) = SplitAtColon(url.substr(0, at));
    url.remove_prefix(at + 1);
  }
  std::tie(parts.Host, parts.Port) = SplitAtColon(url);
  return parts;
}

unsigned short PortNumber(std::wstring_view port) {
  const std::wstring digits = Trim(port);
  if (digits.empty() || digits.size() > 5) return 0;
  unsigned value = 0;
  for (wchar_t ch : digits) {
    if (ch < L'0' || ch > L'9') return 0;
    value = value * 10 + (ch - L'0');
  }
  return value > 65535 ? 0 : static_cast<unsigned short>(value);
}
