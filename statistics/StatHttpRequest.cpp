#include "statistics/StatHttpRequest.h"
#include "framework/Guarded.h"
#include "framework/Strings.h"
#include <cwchar>
#include <vector>

namespace StatHttp {

thread_local DWORD LastWinInetError = 0;

namespace {

constexpr DWORD kReadChunk = 16384;
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
constexpr DWORD kCancelTimeoutMs = 20;
constexpr DWORD kMessageChars = 2048;
constexpr DWORD kErrorCannotConnect = 12029;
constexpr DWORD kErrorNameNotResolved = 12007;
constexpr DWORD kErrorExtended = 12003;

const wchar_t* NullIfEmpty(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// The server's last response text, for the extended error.
bool LastResponseText(std::wstring& text) {
  DWORD error = 0, length = 0;
  ::InternetGetLastResponseInfoW(&error, nullptr, &length);
  if (length == 0 || length > kMessageChars) return false;
  std::vector<wchar_t> buffer(length + 1);
  length = static_cast<DWORD>(buffer.size());
  if (!::InternetGetLastResponseInfoW(&error, buffer.data(), &length)) return false;
  text = std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
  while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) text.pop_back();
  return !text.empty();
}

}  // namespace

void RaiseLastWinInetError() {
  const DWORD code = ::GetLastError();
  LastWinInetError = code;
  if (code != 0) throw EWinInetException(WinInetErrorMessage());
}

std::wstring WinInetErrorMessage() {
  std::wstring message = SysErrorMessage(LastWinInetError, L"wininet.dll");
  if (message.size() > kMessageChars) message.resize(kMessageChars);
  std::wstring response;
  if (LastWinInetError == kErrorExtended && LastResponseText(response)) message += L"\r\n" + response;
  return message;
}

DWORD QueryInfoNumber(HINTERNET request, DWORD infoLevel) {
  DWORD value = 0, size = sizeof(value);
  if (!::HttpQueryInfoW(request, infoLevel, &value, &size, nullptr)) RaiseLastWinInetError();
  return value;
}

std::wstring QueryStatusText(HINTERNET request) {
  DWORD size = 0;
  if (!::HttpQueryInfoA(request, HTTP_QUERY_STATUS_TEXT, nullptr, &size, nullptr) &&
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    RaiseLastWinInetError();
  std::string text(size + 1, '\0');
  size = static_cast<DWORD>(text.size());
  if (!::HttpQueryInfoA(request, HTTP_QUERY_STATUS_TEXT, text.data(), &size, nullptr)) RaiseLastWinInetError();
  text.resize(std::min<size_t>(size, text.find('\0')));
  return AnsiToWide(text);
}

std::wstring GetSystemProxy() {
  DWORD size = 0;
  if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PROXY, nullptr, &size) &&
      ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    RaiseLastWinInetError();
  std::vector<std::uint8_t> buffer(std::max<size_t>(size, sizeof(INTERNET_PROXY_INFO)));
  size = static_cast<DWORD>(buffer.size());
  if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PROXY, buffer.data(), &size)) RaiseLastWinInetError();
  const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer.data());
  return info->lpszProxy ? std::wstring(info->lpszProxy) : std::wstring();
}

void SetTimeouts(HINTERNET handle, DWORD connectMs, DWORD sendMs, DWORD receiveMs) {
  ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof(connectMs));
  ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &sendMs, sizeof(sendMs));
  ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveMs, sizeof(receiveMs));
}

std::wstring QueryOptionText(HINTERNET handle, DWORD option) {
  DWORD size = 0;
  if (!::InternetQueryOptionW(handle, option, nullptr, &size) && ::GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    RaiseLastWinInetError();
  if (size == 0) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (!::InternetQueryOptionW(handle, option, buffer.data(), &size)) RaiseLastWinInetError();
  return std::wstring(buffer.data(), wcsnlen(buffer.data(), buffer.size()));
}

void SetOptionText(HINTERNET handle, DWORD option, const std::wstring& text) {
  ::InternetSetOptionW(handle, option, const_cast<wchar_t*>(text.c_str()), static_cast<DWORD>(text.size()));
}

TProxyAccess ProxyAccess(const TStatProxySettings& settings) {
  TProxyAccess access;
  if (settings.AutoDetectProxy) {
    access.AccessType = INTERNET_OPEN_TYPE_PRECONFIG;
  } else if (settings.Address.empty()) {
    access.AccessType = INTERNET_OPEN_TYPE_DIRECT;
  } else {
    access.AccessType = INTERNET_OPEN_TYPE_PROXY;
    access.ProxyText = settings.Address + L":" + IntToStr(settings.Port);  // the port also when 0
  }
  if (access.AccessType != INTERNET_OPEN_TYPE_DIRECT && !settings.UserName.empty()) {
    access.UserName = settings.Domain.empty() ? settings.UserName : settings.Domain + L"\\" + settings.UserName;
    access.Password = settings.Password;
  }
  return access;
}

TStatHttpResult ClassifyFailure(DWORD lastWinInetError, bool proxyAuthRequired, const TStatProxySettings& settings) {
  if (lastWinInetError == kErrorCannotConnect) return hrNoConnection;
  if (!settings.AutoDetectProxy && !settings.Address.empty() && lastWinInetError == kErrorNameNotResolved)
    return hrProxyNameResolutionFailure;
  if (proxyAuthRequired) return hrProxyAuthRequired;
  return hrHttpError;
}

}  // namespace StatHttp

using namespace StatHttp;

// One exchange: the WinINet handles, the outcome, and the request handle shared with Cancel.
class TStatExchange {
public:
  TStatExchange(std::wstring url, const TStatProxySettings& proxySettings, TStatBytes data)
      : FUrl(std::move(url)), FProxySettings(proxySettings), FData(std::move(data)),
        FDone(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~TStatExchange() { CloseHandles(); }
  TStatExchange(const TStatExchange&) = delete;
  TStatExchange& operator=(const TStatExchange&) = delete;

  // Runs the exchange, classifies its outcome and signals Done. Raises nothing.
  void Run();
  void Cancel();
  HANDLE Done() const { return FDone.Get(); }
  TStatHttpResult Result() const { return FResult; }
  TStatBytes TakeResponse() { return std::move(FResponse); }

private:
  void InternalExecute();
  void ApplyProxyCredentials(const TProxyAccess& access);
  void OpenRequest(const std::wstring& path);
  // The request handle for the next call; raises once the request has been cancelled, so that a handle
  // closed by Cancel is never used again.
  HINTERNET RequestHandle();
  void CheckPoint() const;
  void CloseHandles();

  const std::wstring FUrl;
  const TStatProxySettings FProxySettings;
  const TStatBytes FData;
  TStatBytes FResponse;
  TStatHttpResult FResult = hrHttpError;
  THandle FDone;
  TInternetHandle FSessionHandle;
  TInternetHandle FConnectionHandle;
  // Shared with Cancel, which may close it from another thread while a call on it blocks.
  TLock FRequestLock;
  TInternetHandle FRequestHandle;
  std::atomic<bool> FCancelled{false};
};

namespace {

DWORD WINAPI ExchangeWorker(LPVOID parameter) noexcept {
  std::unique_ptr<std::shared_ptr<TStatExchange>> exchange(static_cast<std::shared_ptr<TStatExchange>*>(parameter));
  // The exchange ends in a result code whatever happens; nothing of it may end the process.
  QuietCall([&exchange] { (*exchange)->Run(); });
  return 0;
}

// Starts the worker; false when no thread can be made.
bool StartExchangeWorker(const std::shared_ptr<TStatExchange>& exchange) {
  auto* parameter = new std::shared_ptr<TStatExchange>(exchange);
  THandle worker(::CreateThread(nullptr, 0, &ExchangeWorker, parameter, 0, nullptr));
  if (worker) return true;  // it runs on its own; its handle is not needed
  delete parameter;
  return false;
}

}  // namespace

TStatHttpRequestImpl::TStatHttpRequestImpl() : FCancelledEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

TStatHttpRequestImpl::~TStatHttpRequestImpl() = default;

TStatHttpResult TStatHttpRequestImpl::Execute(const std::wstring& url, const TStatProxySettings& proxySettings,
                                              TStatBytes& response, const TStatBytes& data) {
  response.clear();
  auto exchange = std::make_shared<TStatExchange>(url, proxySettings, data);
  {
    TLocked guard(FLock);
    if (FCancelled) return hrHttpError;  // a cancelled request stays cancelled
    FExchange = exchange;
  }
  if (!StartExchangeWorker(exchange)) exchange->Run();
  const HANDLE handles[] = {exchange->Done(), FCancelledEvent.Get()};
  const DWORD signalled = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
  {
    TLocked guard(FLock);
    FExchange.reset();
  }
  if (signalled != WAIT_OBJECT_0) return hrHttpError;  // cancelled: the worker ends on its own
  response = exchange->TakeResponse();
  return exchange->Result();
}

void TStatHttpRequestImpl::Cancel() {
  TLocked guard(FLock);
  FCancelled = true;
  ::SetEvent(FCancelledEvent.Get());
  if (FExchange) FExchange->Cancel();
}

void TStatExchange::Run() {
  bool proxyAuthRequired = false;
  try {
    InternalExecute();
    FResult = hrOK;
  } catch (const EProxyAuthRequired&) {
    proxyAuthRequired = true;
  } catch (...) {
    // Every failure of the exchange ends in its outcome.
  }
  CloseHandles();
  if (FResult != hrOK) {
    FResponse.clear();
    FResult = ClassifyFailure(LastWinInetError, proxyAuthRequired, FProxySettings);
  }
  ::SetEvent(FDone.Get());
}

void TStatExchange::InternalExecute() {
  FResponse.clear();
  LastWinInetError = 0;  // the outcome is classified by this exchange's own failures
  const TProxyAccess access = ProxyAccess(FProxySettings);
  const TUrlParts parts = SplitUrl(FUrl);
  FSessionHandle.Reset(::InternetOpenW(nullptr, access.AccessType, NullIfEmpty(access.ProxyText), nullptr, 0));
  if (!FSessionHandle) RaiseLastWinInetError();
  CheckPoint();
  FConnectionHandle.Reset(::InternetConnectW(FSessionHandle.Get(), NullIfEmpty(parts.Host), PortNumber(parts.Port),
                                             NullIfEmpty(parts.User), NullIfEmpty(parts.Password),
                                             INTERNET_SERVICE_HTTP, 0, 0));
  if (!FConnectionHandle) RaiseLastWinInetError();
  ApplyProxyCredentials(access);
  CheckPoint();
  OpenRequest(parts.Path);
  CheckPoint();
  void* body = FData.empty() ? nullptr : const_cast<std::uint8_t*>(FData.data());
  if (!::HttpSendRequestW(RequestHandle(), nullptr, 0, body, static_cast<DWORD>(FData.size()))) RaiseLastWinInetError();
  CheckPoint();
  const DWORD status = QueryInfoNumber(RequestHandle(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER);
  if (status == HTTP_STATUS_PROXY_AUTH_REQ || status == HTTP_STATUS_DENIED) throw EProxyAuthRequired();
  if (status != HTTP_STATUS_OK) throw EWinInetException(QueryStatusText(RequestHandle()));
  TStatBytes reply;
  std::vector<std::uint8_t> chunk(kReadChunk);
  for (;;) {
    DWORD read = 0;
    if (!::InternetReadFile(RequestHandle(), chunk.data(), kReadChunk, &read)) RaiseLastWinInetError();
    if (read == 0) break;
    // A broken or hostile server must not make the tracker hold an endless reply in memory.
    if (reply.size() + read > kMaxReplyBytes) throw EWinInetException(L"Reply is too large");
    reply.insert(reply.end(), chunk.begin(), chunk.begin() + read);
  }
  CheckPoint();  // a reply cut short by a cancel is no reply
  FResponse = std::move(reply);
}

// The connection carries exactly the configured proxy credentials: an inherited user name or password
// is cleared when none is configured. Where a platform cannot read these options (Wine answers 12018
// on a connection), they are simply written.
void TStatExchange::ApplyProxyCredentials(const TProxyAccess& access) {
  const std::pair<DWORD, const std::wstring*> options[] = {{INTERNET_OPTION_PROXY_USERNAME, &access.UserName},
                                                           {INTERNET_OPTION_PROXY_PASSWORD, &access.Password}};
  for (const auto& [option, wanted] : options) {
    const DWORD recorded = LastWinInetError;
    bool same = false;
    try {
      same = QueryOptionText(FConnectionHandle.Get(), option) == *wanted;
    } catch (const EWinInetException&) {
      LastWinInetError = recorded;  // not a failure of the exchange
    }
    if (!same) SetOptionText(FConnectionHandle.Get(), option, *wanted);
  }
}

void TStatExchange::OpenRequest(const std::wstring& path) {
  HINTERNET request = ::HttpOpenRequestW(FConnectionHandle.Get(), L"POST", NullIfEmpty(path), nullptr, nullptr,
                                         nullptr, kRequestFlags, 0);
  if (!request) RaiseLastWinInetError();
  TLocked guard(FRequestLock);
  FRequestHandle.Reset(request);
  if (FCancelled) FRequestHandle.Reset();  // cancelled while it was being opened
}

HINTERNET TStatExchange::RequestHandle() {
  TLocked guard(FRequestLock);
  if (FCancelled || !FRequestHandle) throw EWinInetException(L"Request has been cancelled");
  return FRequestHandle.Get();
}

void TStatExchange::CheckPoint() const {
  if (FCancelled) throw EWinInetException(L"Request has been cancelled");
}

void TStatExchange::Cancel() {
  TLocked guard(FRequestLock);
  FCancelled = true;
  if (!FRequestHandle) return;
  SetTimeouts(FRequestHandle.Get(), kCancelTimeoutMs, kCancelTimeoutMs, kCancelTimeoutMs);
  FRequestHandle.Reset();  // closed here, never again by the exchange
}

void TStatExchange::CloseHandles() {
  {
    TLocked guard(FRequestLock);
    FRequestHandle.Reset();
  }
  FConnectionHandle.Reset();
  FSessionHandle.Reset();
}
