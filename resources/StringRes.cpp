#include "resources/StringRes.h"

std::wstring LoadStr(UINT id) {
  // With a zero buffer size LoadStringW hands back a pointer into the read-only resource itself.
  const wchar_t* text = nullptr;
  int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}
