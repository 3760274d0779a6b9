#include "wizard/uStringRes.h"
#include <windows.h>

std::wstring LoadStr(unsigned id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text ? std::wstring(text, n) : std::wstring();
}
