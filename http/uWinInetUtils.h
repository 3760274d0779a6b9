#pragma once
// Helpers of the HTTP client: address splitting, WinINet error texts, text <-> byte conversions,
// header queries and the body of a form post.
#include <windows.h>
#include <wininet.h>
#include <string>
#include <string_view>
#include <utility>
#include <vector>
#include "framework/Exceptions.h"
#include "framework/UrlParts.h"

// Raw bytes of a request or reply body.
using TBytes = std::string;
// A list of "name=value" lines.
using TStrings = std::vector<std::wstring>;

// The error of a failed HTTP exchange.
class EWinInetException : public Exception {
public:
  using Exception::Exception;
};

// An address is secure when, trimmed and in lower case, it begins with "https".
bool IsSecureUrl(std::wstring_view url);
// The port to connect to: a secure address without a usable port goes to 443.
INTERNET_PORT ConnectPort(const TUrlParts& parts, bool secure);
// HttpOpenRequestW flags: no cache writes, keep-alive, and TLS with certificate checks when secure.
DWORD RequestFlags(bool secure);

// Error code of the last failing WinINet call of the calling thread. Kept per thread so that a
// failure on one thread cannot change the message another thread is about to report.
extern thread_local DWORD LastWinInetError;
// Records the thread's last system error in LastWinInetError and, when it is not 0, raises
// EWinInetException with its text.
void RaiseLastWinInetError();
// The text of LastWinInetError.
std::wstring WinInetErrorMessage();
// The system's text for a WinINet (or Windows) error code; for 12003 the server's last response text
// follows after a line break. A code without a system text gives "Internet error <code>".
std::wstring WinInetCodeMessage(DWORD code);
// Removes trailing control characters, blanks and full stops.
std::wstring TrimMessageEnd(std::wstring text);

TBytes StringToUtf8(std::wstring_view text);
// Bytes in the system's ANSI code page.
std::wstring AnsiToString(const TBytes& bytes);

// HttpQueryInfoW helpers; failures raise EWinInetException (QueryContentLength never raises).
DWORD QueryInfoNumber(HINTERNET request, DWORD infoLevel);
std::wstring QueryInfoText(HINTERNET request, DWORD infoLevel);
// A header's text; empty when the reply has none. Never raises, and leaves LastWinInetError alone.
std::wstring QueryHeader(HINTERNET request, DWORD infoLevel);
// The announced Content-Length; -1 when it is missing or not a number.
long long QueryContentLength(HINTERNET request);
// Reads a decimal integer (optional sign, surrounding blanks allowed); -1 when it is not one.
long long ParseDecimal(std::wstring_view text);

// The application/x-www-form-urlencoded body of "name=value" lines, in list order.
std::wstring EncodeFormFields(const TStrings& fields);
