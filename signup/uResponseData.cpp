#include "signup/uResponseData.h"
#include "framework/Strings.h"
#include "resources/StringIds.h"
#include "resources/StringRes.h"
#include <windows.h>

namespace {
struct TMappedMessage {
  const wchar_t* ServiceText;
  UINT LocalTextId;
};

// The service's own texts are replaced by the wizard's, which match its input hints.
constexpr TMappedMessage kMappedMessages[] = {
    {L"Please enter the First Name", IDS_ENTER_FIRST_NAME},
    {L"First Name field can include latin characters only", IDS_LATIN_FIRST_NAME},
    {L"Please enter the Last Name", IDS_ENTER_LAST_NAME},
    {L"Last Name field can include latin characters only", IDS_LATIN_LAST_NAME},
    {L"Please enter the Email", IDS_ENTER_EMAIL},
    {L"Please enter the Email correctly", IDS_EMAIL_CORRECTLY},
};
}  // namespace

TResponseData::TResponseData(std::wstring responseText) : ResponseText(std::move(responseText)) { Parse(); }

void TResponseData::Parse() {
  StatusText.clear();
  DownloadUrl.clear();
  MessageText.clear();
  const size_t first = ResponseText.find(L'|');
  if (first == std::wstring::npos) {
    SetStatus(L"");
    return;
  }
  StatusText = ResponseText.substr(0, first);
  const size_t second = ResponseText.find(L'|', first + 1);
  if (second != std::wstring::npos) DownloadUrl = ResponseText.substr(second + 1);
  SetStatus(StatusText);
  if (HasMessage()) MessageText = ResponseText.substr(first + 1);
}

void TResponseData::SetStatus(std::wstring_view word) {
  const std::wstring status = LowerAscii(Trim(word));
  if (status == L"success")
    Status = rsSuccess;
  else if (status == L"error")
    Status = rsError;
  else
    Status = rsUnknown;
}

std::wstring TResponseData::ErrorMessage() const {
  for (const auto& mapped : kMappedMessages)
    if (SameTextAscii(MessageText, mapped.ServiceText)) return LoadStr(mapped.LocalTextId);
  return MessageText;
}

std::wstring TResponseData::ResultText() const {
  const size_t stop = MessageText.find(L'.');
  return stop == std::wstring::npos ? MessageText : MessageText.substr(0, stop + 1);
}
