#pragma once
// The sign-up service's reply: "status|...". A success carries the installer's address after the
// second "|", an error its message after the first.
#include <string>
#include <string_view>

enum TResponseStatus { rsUnknown, rsSuccess, rsError };

class TResponseData {
public:
  explicit TResponseData(std::wstring responseText);

  std::wstring ResponseText;  // as received
  std::wstring StatusText;    // before the first "|", as received
  std::wstring DownloadUrl;   // after the second "|"
  std::wstring MessageText;   // after the first "|", for an error only
  TResponseStatus Status = rsUnknown;

  void Parse();
  void SetStatus(std::wstring_view word);
  bool IsSuccess() const { return Status == rsSuccess; }
  bool HasMessage() const { return Status == rsError; }
  // The text to show: the local text for the service's known messages, else the message itself.
  std::wstring ErrorMessage() const;
  // The short result for the statistics: the message up to its first full stop.
  std::wstring ResultText() const;
};
