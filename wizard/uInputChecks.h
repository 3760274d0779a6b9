#pragma once
// The pure rules of the input page: which characters a name may hold, and the email syntax test.
#include <string_view>

// Backspace, Enter, Escape, space and the Latin letters A-Z and a-z.
bool IsNameCharAccepted(wchar_t ch);
// True when the address is rejected by the small syntax test of the input page.
bool IsEmailInvalid(std::wstring_view address);
