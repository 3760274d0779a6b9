#pragma once
// The sign-up request: six ordered form fields posted to the vendor's sign-up page.
#include <string>
#include <string_view>
#include "http/uWinInetRequest.h"

class TButton;

// The sign-up page (a constant of the build).
extern const wchar_t SignUpUrl[];

// A name-value list: setting a name that is present replaces its value, an empty value removes it.
void SetFieldValue(TStrings& fields, std::wstring_view name, std::wstring_view value);
// The six fields in the service's order; the entered texts are trimmed.
TStrings BuildSignUpFields(std::wstring_view firstName, std::wstring_view lastName, std::wstring_view email);
// Posts the fields and waits while the window stays live (the button cancels). Returns true when the
// exchange failed; text is then the error text, otherwise the reply. end, when given, receives how the
// transfer ended.
bool PostSignUp(const std::wstring& url, const TStrings& fields, TButton* cancelButton, std::wstring& text,
                TTransferEnd* end = nullptr);
