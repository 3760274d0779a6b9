#include "signup/uSignUp.h"
#include "Endpoints.h"
#include "framework/Strings.h"
#include "http/uWinInetRequest.h"

const wchar_t SignUpUrl[] = TL_SIGNUP_URL;

void SetFieldValue(TStrings& fields, std::wstring_view name, std::wstring_view value) {
  const std::wstring prefix = std::wstring(name) + L'=';
  auto present = fields.begin();
  while (present != fields.end() && !present->starts_with(prefix)) ++present;
  if (value.empty()) {
    if (present != fields.end()) fields.erase(present);
  } else if (present != fields.end()) {
    *present = prefix + std::wstring(value);
  } else {
    fields.push_back(prefix + std::wstring(value));
  }
}

TStrings BuildSignUpFields(std::wstring_view firstName, std::wstring_view lastName, std::wstring_view email) {
  TStrings fields;
  SetFieldValue(fields, L"tlfFirstName", Trim(firstName));
  SetFieldValue(fields, L"tlfLastName", Trim(lastName));
  SetFieldValue(fields, L"tlfEmail", Trim(email));
  SetFieldValue(fields, L"tlfModuleName", L"mercantix_tradeloom");
  SetFieldValue(fields, L"tlfSubmitted", L"1");
  SetFieldValue(fields, L"tlfComments", L"Mercantix mini-installer");
  return fields;
}

bool PostSignUp(const std::wstring& url, const TStrings& fields, TButton* cancelButton, std::wstring& text,
                TTransferEnd* end) {
  std::wstring reply, errorText;
  const TTransferEnd transferEnd = HttpPostFormModal(url, fields, cancelButton, reply, errorText);
  if (end) *end = transferEnd;
  const bool failed = !errorText.empty();
  text = failed ? errorText : reply;
  return failed;
}
