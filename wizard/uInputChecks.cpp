#include "wizard/uInputChecks.h"
#include "framework/Strings.h"

bool IsNameCharAccepted(wchar_t ch) {
  return ch == 8 || ch == 13 || ch == 27 || ch == 32 || (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
}

bool IsEmailInvalid(std::wstring_view address) {
  if (Trim(address).empty()) return true;
  if (address.find_first_of(L" ?[]():") != std::wstring_view::npos) return true;
  size_t at = address.find(L'@');
  if (at == std::wstring_view::npos || at == 0 || at == address.size() - 1) return true;
  std::wstring_view domain = address.substr(at + 1);
  if (domain.find(L'@') != std::wstring_view::npos) return true;
  if (domain.size() < 2) return true;
  size_t dot = domain.find(L'.');
  return dot == std::wstring_view::npos || dot == 0 || dot == domain.size() - 1;
}
