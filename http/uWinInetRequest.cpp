#include "http/uWinInetRequest.h"
#include "framework/Strings.h"
#include "resources/StringIds.h"
#include "resources/StringRes.h"
#include <cwchar>
#include <vector>

const wchar_t FormContentTypeHeader[] = L"Content-Type: application/x-www-form-urlencoded";

namespace {
constexpr DWORD kReadBufferSize = 16384;
constexpr DWORD kStatusCodeNumber = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kCredentialsDialogFlags =
    FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
const wchar_t* const kAcceptTypes[] = {L"text/html, */*", nullptr};

const wchar_t* NoneIfEmpty(const std::wstring& text) { return text.empty() ? nullptr : text.c_str(); }

// A connection that ends early must not pass a truncated body on as a complete one. Without an
// announced length (-1) there is nothing to check against.
void CheckComplete(long long received, long long announced, UINT messageId) {
  if (announced >= 0 && received != announced)
    throw EWinInetException(FormatText(LoadStr(messageId), {IntToStr(received), IntToStr(announced)}));
}

// Closes the handles when the exchange ends, whichever way.
class THandleCloser {
public:
  explicit THandleCloser(THttpRequest& request) : FRequest(request) {}
  ~THandleCloser() { FRequest.CloseHandles(); }
  THandleCloser(const THandleCloser&) = delete;
  THandleCloser& operator=(const THandleCloser&) = delete;
private:
  THttpRequest& FRequest;
};
}  // namespace

bool THttpRequest::Execute(const std::wstring& url, const TBytes& data, TBytes& response) {
  response.clear();
  try {
    InternalExecute(url, data, response);
    Failed = false;
    return true;
  } catch (const Exception& error) {
    response.clear();
    Failed = true;
    ErrorText = error.Message();
    return false;
  }
}

void THttpRequest::InternalExecute(const std::wstring& url, const TBytes& data, TBytes& response) {
  response.clear();
  ContentLength = 0;
  BytesRead = 0;
  const TUrlParts parts = SplitUrl(url);
  const bool secure = IsSecureUrl(url);
  THandleCloser closer(*this);
  OpenSession();
  CheckCancelled();
  Connect(parts, ConnectPort(parts, secure));
  CheckCancelled();
  OpenRequest(parts.Path, RequestFlags(secure));
  CheckCancelled();
  ::HttpAddRequestHeadersW(Use(RequestHandle), FormContentTypeHeader,
                           static_cast<DWORD>(std::wcslen(FormContentTypeHeader)),
                           HTTP_ADDREQ_FLAG_ADD);
  SendRequest(data);
  CheckCancelled();
  const DWORD status = StatusAfterCredentials(data);
  if (status != HTTP_STATUS_OK) RaiseStatus(status);
  if (TargetStream)
    ReadToStream();
  else
    ReadToMemory(response);
}

void THttpRequest::CloseHandles() {
  std::lock_guard<std::mutex> lock(FHandleLock);
  RequestHandle.Reset();
  ConnectionHandle.Reset();
  SessionHandle.Reset();
}

void THttpRequest::RaiseStatus(DWORD status) {
  std::wstring reason = QueryInfoText(Use(RequestHandle), HTTP_QUERY_STATUS_TEXT);
  // An empty reason phrase must still read as a failure to callers that test the text.
  if (Trim(reason).empty()) reason = FormatText(LoadStr(IDS_HTTP_STATUS), {IntToStr(status)});
  throw EWinInetException(reason);
}

void THttpRequest::RaiseCancelled() { throw EWinInetException(LoadStr(IDS_REQUEST_CANCELLED)); }

void THttpRequest::CheckCancelled() {
  if (Cancelled) RaiseCancelled();
}

void THttpRequest::Adopt(TInternetHandle& slot, HINTERNET handle) {
  if (!handle) RaiseLastWinInetError();
  std::lock_guard<std::mutex> lock(FHandleLock);
  slot.Reset(handle);
  // A cancel that closed the other handles before this one existed must not leave it open.
  if (Cancelled) {
    RequestHandle.Reset();
    ConnectionHandle.Reset();
    SessionHandle.Reset();
  }
}

HINTERNET THttpRequest::Use(const TInternetHandle& slot) {
  std::lock_guard<std::mutex> lock(FHandleLock);
  return slot.Get();
}

void THttpRequest::OpenSession() {
  {
    std::lock_guard<std::mutex> lock(FHandleLock);
    ConnectionHandle.Reset();
    RequestHandle.Reset();
  }
  Adopt(SessionHandle, ::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

void THttpRequest::Connect(const TUrlParts& parts, INTERNET_PORT port) {
  Adopt(ConnectionHandle,
        ::InternetConnectW(Use(SessionHandle), NoneIfEmpty(parts.Host), port, NoneIfEmpty(parts.User),
                           NoneIfEmpty(parts.Password), INTERNET_SERVICE_HTTP, 0, 0));
}

void THttpRequest::OpenRequest(const std::wstring& path, DWORD flags) {
  Adopt(RequestHandle, ::HttpOpenRequestW(Use(ConnectionHandle), L"POST", NoneIfEmpty(path), nullptr, nullptr,
                                          const_cast<const wchar_t**>(kAcceptTypes), flags, 0));
}

void THttpRequest::SendRequest(const TBytes& data) {
  void* body = data.empty() ? nullptr : const_cast<char*>(data.data());
  if (!::HttpSendRequestW(Use(RequestHandle), nullptr, 0, body, static_cast<DWORD>(data.size())))
    RaiseLastWinInetError();
}

DWORD THttpRequest::StatusAfterCredentials(const TBytes& data) {
  DWORD status = QueryInfoNumber(Use(RequestHandle), kStatusCodeNumber);
  while (status == HTTP_STATUS_PROXY_AUTH_REQ || status == HTTP_STATUS_DENIED) {
    CheckCancelled();
    DWORD lastError = ::GetLastError();
    void* dialogData = nullptr;
    DWORD answer = ::InternetErrorDlg(::GetDesktopWindow(), Use(RequestHandle), lastError,
                                      kCredentialsDialogFlags, &dialogData);
    if (answer != ERROR_INTERNET_FORCE_RETRY) break;
    SendRequest(data);
    status = QueryInfoNumber(Use(RequestHandle), kStatusCodeNumber);
  }
  return status;
}

DWORD THttpRequest::ReadChunk(char* buffer, DWORD size) {
  DWORD read = 0;
  if (!::InternetReadFile(Use(RequestHandle), buffer, size, &read)) RaiseLastWinInetError();
  return read;
}

void THttpRequest::ReadToStream() {
  const long long announced = QueryContentLength(Use(RequestHandle));
  ContentLength = static_cast<int32_t>(static_cast<uint32_t>(announced));
  BytesRead = 0;
  long long received = 0;  // in full: the 32-bit fields wrap beyond 2 GiB
  std::vector<char> buffer(kReadBufferSize);
  DWORD read;
  do {
    read = ReadChunk(buffer.data(), kReadBufferSize);
    TargetStream->Write(buffer.data(), read);
    received += read;
    BytesRead = static_cast<int32_t>(static_cast<uint32_t>(BytesRead) + read);
    if (OnProgress) OnProgress(this, ContentLength, BytesRead);
  } while (read > 0);
  // The whole announced length, so that one beyond 4 GiB cannot match a short file by its low bits.
  CheckComplete(received, announced, IDS_INCOMPLETE_DOWNLOAD);
}

void THttpRequest::ReadToMemory(TBytes& response) {
  // A broken or hostile server must not make the process hold an unbounded reply.
  const long long announced = QueryContentLength(Use(RequestHandle));
  if (announced > static_cast<long long>(kMaxReplyBytes)) RaiseReplyTooLarge();
  std::vector<char> buffer(kReadBufferSize);
  TBytes collected;
  DWORD read;
  do {
    read = ReadChunk(buffer.data(), kReadBufferSize);
    if (collected.size() + read > kMaxReplyBytes) RaiseReplyTooLarge();
    collected.append(buffer.data(), read);
    if (OnProgress) OnProgress(this, 0, 0);
  } while (read > 0);
  // A cut reply could carry a cut download address.
  CheckComplete(static_cast<long long>(collected.size()), announced, IDS_INCOMPLETE_REPLY);
  response = std::move(collected);
}

void THttpRequest::RaiseReplyTooLarge() { throw EWinInetException(LoadStr(IDS_REPLY_TOO_LARGE)); }
