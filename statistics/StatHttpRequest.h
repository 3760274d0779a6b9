#pragma once
// The tracker's own HTTP client over WinINet: one POST per request object, with the tracker's proxy
// settings and proxy credentials, never a dialog, an outcome class instead of an error text, and a
// cancel from another thread. It is the statistics side's own: no dependency on the wizard's client.
#include <windows.h>
#include <wininet.h>
#include <atomic>
#include <memory>
#include "framework/Lock.h"
#include <string>
#include <string_view>
#include "framework/Exceptions.h"
#include "framework/Handles.h"
#include "framework/UrlParts.h"
#include "statistics/SharedClassesAndInterfaces.h"

// The module's helpers live in a namespace: the wizard's HTTP modules have functions and an error type
// of the same names, and the program links both.
namespace StatHttp {

class EWinInetException : public Exception {
public:
  using Exception::Exception;
};

// Status 401 or 407: the statistics client never asks the user and never sends again.
class EProxyAuthRequired : public EWinInetException {
public:
  EProxyAuthRequired() : EWinInetException(L"Proxy authentication required") {}
};

// Address splitting is shared with the wizard's HTTP client.
using ::TUrlParts;
using ::SplitUrl;
using ::SplitAtColon;
using ::PortNumber;

// Error code of the last failing WinINet call of this module on the calling thread. Per thread: a
// failure on one thread must not change how another thread classifies its own exchange.
extern thread_local DWORD LastWinInetError;
// Records the thread's last system error and, when it is not 0, raises EWinInetException with its text.
void RaiseLastWinInetError();
std::wstring WinInetErrorMessage();

DWORD QueryInfoNumber(HINTERNET request, DWORD infoLevel);
// The status text through the ANSI query, converted.
std::wstring QueryStatusText(HINTERNET request);
// The proxy server list of the system's Internet settings. Raises EWinInetException.
std::wstring GetSystemProxy();
void SetTimeouts(HINTERNET handle, DWORD connectMs, DWORD sendMs, DWORD receiveMs);
// A text option of a handle. The query raises EWinInetException; a failing set is ignored.
std::wstring QueryOptionText(HINTERNET handle, DWORD option);
void SetOptionText(HINTERNET handle, DWORD option, const std::wstring& text);

// How a session is opened for the proxy settings, and the proxy credentials of its connections.
struct TProxyAccess {
  DWORD AccessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::wstring ProxyText;  // "address:port" for a named proxy
  std::wstring UserName;   // "domain\user" when a domain is given
  std::wstring Password;
};
TProxyAccess ProxyAccess(const TStatProxySettings& settings);

// The outcome of a failed exchange from the error code recorded for it.
TStatHttpResult ClassifyFailure(DWORD lastWinInetError, bool proxyAuthRequired, const TStatProxySettings& settings);

}  // namespace StatHttp

// The longest reply an exchange takes; a longer one ends it with hrHttpError and no reply.
constexpr size_t kMaxReplyBytes = 1048576;

class TStatExchange;

// Each exchange runs on a worker thread of its own while Execute waits for it or for a cancel: closing
// the request handle does not break every blocking WinINet call (under Wine a request waiting for the
// reply's headers goes on waiting), and a cancel must hand control back at once. A worker left behind
// by a cancel owns everything it uses and ends on its own when the server answers or closes.
class TStatHttpRequestImpl : public TStatHttpRequest {
public:
  TStatHttpRequestImpl();
  ~TStatHttpRequestImpl() override;
  TStatHttpResult Execute(const std::wstring& url, const TStatProxySettings& proxySettings, TStatBytes& response,
                          const TStatBytes& data) override;
  // Any thread: sets the flag, gives the request handle 20 ms time-outs and closes it, once.
  void Cancel() override;

  static std::unique_ptr<TStatHttpRequest> Create() { return std::make_unique<TStatHttpRequestImpl>(); }

private:
  TLock FLock;
  std::shared_ptr<TStatExchange> FExchange;  // the exchange in progress, shared with its worker
  bool FCancelled = false;
  THandle FCancelledEvent;
};
