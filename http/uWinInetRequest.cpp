#include "http/uWinInetRequest.h"
#include "framework/Strings.h"
#include "resources/StringIds.h"
#include "resources/StringRes.h"
#include <vector>

const wchar_t FormContentTypeHeader[] = L"Content-Type: application/x-www-form-urlencoded";

namespace {
constexpr DWORD kReadBufferSize = 16384;
constexpr DWORD kStatusRangeNotSatisfiable = 416;
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
  RetryCount = 0;
  RetryWait = 0;
  ResumedBytes = 0;
  if (TargetStream)
    DownloadWithRetries(url, data);
  else
    Exchange(url, data, &response);
}

bool THttpRequest::Exchange(const std::wstring& url, const TBytes& data, TBytes* response) {
  FFailure = {};
  const TUrlParts parts = SplitUrl(url);
  const bool secure = IsSecureUrl(url);
  THandleCloser closer(*this);
  OpenSession();
  CheckCancelled();
  Connect(parts, ConnectPort(parts, secure));
  CheckCancelled();
  OpenRequest(parts.Path, RequestFlags(secure));
  CheckCancelled();
  AddHeader(FormContentTypeHeader);
  if (!response) {
    // A stalled server fails the try instead of holding the download for the system's long time-out.
    if (RetryPolicy.StallTimeoutMs > 0) {
      DWORD timeout = RetryPolicy.StallTimeoutMs;
      ::InternetSetOptionW(Use(RequestHandle), INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
    }
    if (FReceived > 0) AddHeader(L"Range: bytes=" + IntToStr(FReceived) + L"-");
  }
  SendRequest(data);
  CheckCancelled();
  const DWORD status = StatusAfterCredentials(data);
  if (!response) return ReadDownloadAnswer(status);
  if (status != HTTP_STATUS_OK) RaiseStatus(status);
  ReadToMemory(*response);
  return true;
}

void THttpRequest::DownloadWithRetries(const std::wstring& url, const TBytes& data) {
  FReceived = 0;
  FTotal = -1;
  long long furthest = 0;
  int tryInRow = 0;
  for (;;) {
    try {
      // A server that answered with another part of the file than asked for is asked for all of it.
      if (!Exchange(url, data, nullptr)) Exchange(url, data, nullptr);
      return;
    } catch (const EWinInetException&) {
      if (!FFailure.Transient || Cancelled) throw;
      // A connection lost right after the last byte: the file has its whole length already.
      if (FTotal >= 0 && FReceived == FTotal) return;
      if (FReceived > furthest) {
        furthest = FReceived;
        tryInRow = 0;
      }
      if (++tryInRow > RetryPolicy.MaxRetries) throw;
      WaitBeforeRetry(tryInRow);
      ++RetryCount;
    }
  }
}

bool THttpRequest::ReadDownloadAnswer(DWORD status) {
  const bool resuming = FReceived > 0;
  if (status == HTTP_STATUS_OK) {
    if (resuming) StartOver();
    FTotal = QueryContentLength(Use(RequestHandle));
    ReadToStream();
    return true;
  }
  if (resuming && (status == HTTP_STATUS_PARTIAL_CONTENT || status == kStatusRangeNotSatisfiable)) {
    TContentRange range;
    if (status == HTTP_STATUS_PARTIAL_CONTENT &&
        ParseContentRange(QueryHeader(Use(RequestHandle), HTTP_QUERY_CONTENT_RANGE), range) &&
        ContinuesAt(range, FReceived, FTotal)) {
      ResumedBytes += FReceived;
      FTotal = range.Total;
      ReadToStream();
      return true;
    }
    // Another part, or the rest of a file that has changed meanwhile: what is on disk is no use.
    StartOver();
    return false;
  }
  if (IsTransientStatus(status)) {
    FFailure.Transient = true;
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    FFailure.RetryAfterSeconds = RetryAfterSeconds(QueryHeader(Use(RequestHandle), HTTP_QUERY_RETRY_AFTER), now);
  }
  RaiseStatus(status);
}

void THttpRequest::StartOver() {
  TargetStream->Truncate();
  FReceived = 0;
  FTotal = -1;
  BytesRead = 0;
  ResumedBytes = 0;
}

void THttpRequest::WaitBeforeRetry(int tryInRow) {
  RetryWait = tryInRow;
  // The caller hears of the wait at once; the gauge keeps what the file has.
  if (OnProgress) OnProgress(this, ContentLength, BytesRead);
  ::WaitForSingleObject(FWakeEvent.Get(), RetryDelayMs(RetryPolicy, tryInRow, FFailure.RetryAfterSeconds));
  RetryWait = 0;
  CheckCancelled();
}

void THttpRequest::CloseHandles() {
  TLocked lock(FHandleLock);
  RequestHandle.Reset();
  ConnectionHandle.Reset();
  SessionHandle.Reset();
}

void THttpRequest::Cancel() {
  Cancelled = true;
  ::SetEvent(FWakeEvent.Get());
  CloseHandles();
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
  TLocked lock(FHandleLock);
  slot.Reset(handle);
  // A cancel that closed the other handles before this one existed must not leave it open.
  if (Cancelled) {
    RequestHandle.Reset();
    ConnectionHandle.Reset();
    SessionHandle.Reset();
  }
}

HINTERNET THttpRequest::Use(const TInternetHandle& slot) {
  TLocked lock(FHandleLock);
  return slot.Get();
}

void THttpRequest::OpenSession() {
  {
    TLocked lock(FHandleLock);
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

void THttpRequest::AddHeader(const std::wstring& header) {
  ::HttpAddRequestHeadersW(Use(RequestHandle), header.c_str(), static_cast<DWORD>(header.size()),
                           HTTP_ADDREQ_FLAG_ADD);
}

void THttpRequest::SendRequest(const TBytes& data) {
  void* body = data.empty() ? nullptr : const_cast<char*>(data.data());
  if (!::HttpSendRequestW(Use(RequestHandle), nullptr, 0, body, static_cast<DWORD>(data.size())))
    RaiseTransferError();
}

void THttpRequest::RaiseTransferError() {
  const DWORD code = ::GetLastError();
  FFailure.Transient = IsTransientWinInetError(code);
  ::SetLastError(code);
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
  if (!::InternetReadFile(Use(RequestHandle), buffer, size, &read)) RaiseTransferError();
  return read;
}

void THttpRequest::ReadToStream() {
  ContentLength = static_cast<int32_t>(static_cast<uint32_t>(FTotal));
  BytesRead = static_cast<int32_t>(static_cast<uint32_t>(FReceived));
  std::vector<char> buffer(kReadBufferSize);
  DWORD read;
  do {
    read = ReadChunk(buffer.data(), kReadBufferSize);
    TargetStream->Write(buffer.data(), read);
    FReceived += read;  // in full: the 32-bit fields wrap beyond 2 GiB
    BytesRead = static_cast<int32_t>(static_cast<uint32_t>(FReceived));
    if (OnProgress) OnProgress(this, ContentLength, BytesRead);
  } while (read > 0);
  // The whole length, so that one beyond 4 GiB cannot match a short file by its low bits, and a file
  // joined from several answers is only taken when it has every byte. Only a short one may be mended.
  FFailure.Transient = FTotal >= 0 && FReceived < FTotal;
  CheckComplete(FReceived, FTotal, IDS_INCOMPLETE_DOWNLOAD);
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
