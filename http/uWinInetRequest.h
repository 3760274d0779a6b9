#pragma once
// One synchronous HTTP(S) exchange over WinINet (THttpRequest), the worker thread that runs it
// (THttpThread) and the blocking calls the GUI thread uses while it keeps handling its messages.
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include "framework/Lock.h"
#include <string>
#include "framework/Handles.h"
#include "framework/Thread.h"
#include "http/Streams.h"
#include "http/uDownloadRetry.h"
#include "http/uWinInetUtils.h"

class THttpRequest;
class TButton;

// Progress of a download: Max is the announced length (-1 when unknown), Position the bytes so far.
using THttpProgressEvent = std::function<void(THttpRequest* sender, int32_t max, int32_t position)>;

extern const wchar_t FormContentTypeHeader[];
// The largest reply collected in memory; downloads into a stream are not limited.
constexpr size_t kMaxReplyBytes = 1 << 20;

class THttpRequest {
public:
  THttpRequest() = default;
  ~THttpRequest() { CloseHandles(); }
  THttpRequest(const THttpRequest&) = delete;
  THttpRequest& operator=(const THttpRequest&) = delete;

  int32_t ContentLength = 0;  // announced length of a download (of the whole file); -1 when unknown
  int32_t BytesRead = 0;      // bytes of a download in TargetStream
  TStream* TargetStream = nullptr;  // not owned; when set, the reply goes here chunk by chunk
  std::atomic<bool> Cancelled{false};
  THttpProgressEvent OnProgress;
  std::wstring ErrorText;
  bool Failed = false;
  // Downloads only: how a transient failure is tried again, resuming where the file ends.
  TRetryPolicy RetryPolicy = kNoRetries;
  int RetryCount = 0;          // retries the last download made
  int RetryWait = 0;           // while waiting before a retry: its number in the tries in a row; else 0
  long long ResumedBytes = 0;  // bytes of the last download that resumes did not fetch again

  // Runs one exchange; never raises framework errors: they end in Failed and ErrorText.
  bool Execute(const std::wstring& url, const TBytes& data, TBytes& response);
  // The exchange itself; raises EWinInetException (or the target stream's error).
  void InternalExecute(const std::wstring& url, const TBytes& data, TBytes& response);
  // Closes request, connection and session. Another thread may call it to abort a blocking call.
  void CloseHandles();
  // Another thread's abort: sets Cancelled, ends a wait before a retry at once, closes the handles.
  void Cancel();
  [[noreturn]] void RaiseCancelled();

private:
  // What a failed try of a download leaves for the decision whether to try again.
  struct TTryFailure {
    bool Transient = false;
    long long RetryAfterSeconds = -1;
  };

  void CheckCancelled();
  // The server's reason text for a status other than 200.
  [[noreturn]] void RaiseStatus(DWORD status);
  // Stores a handle just opened; when a cancel closed the others meanwhile, closes it too.
  void Adopt(TInternetHandle& slot, HINTERNET handle);
  // The handle for the next call; empty once CloseHandles has run.
  HINTERNET Use(const TInternetHandle& slot);
  // One request and its answer; a download's answer goes to TargetStream, any other to response.
  // False when a download must ask again for the whole file.
  bool Exchange(const std::wstring& url, const TBytes& data, TBytes* response);
  void OpenSession();
  void Connect(const TUrlParts& parts, INTERNET_PORT port);
  void OpenRequest(const std::wstring& path, DWORD flags);
  void AddHeader(const std::wstring& header);
  void SendRequest(const TBytes& data);
  // A failed send or read; records whether another try may succeed.
  void RaiseTransferError();
  DWORD StatusAfterCredentials(const TBytes& data);
  void DownloadWithRetries(const std::wstring& url, const TBytes& data);
  bool ReadDownloadAnswer(DWORD status);
  void StartOver();
  void WaitBeforeRetry(int tryInRow);
  void ReadToStream();
  // Collects the reply in memory, at most kMaxReplyBytes of it.
  void ReadToMemory(TBytes& response);
  [[noreturn]] void RaiseReplyTooLarge();
  DWORD ReadChunk(char* buffer, DWORD size);

  // The handles are the one thing another thread touches (CloseHandles during a transfer):
  // every access goes through this lock, never held across a WinINet call that may block.
  TLock FHandleLock;
  TInternetHandle SessionHandle;
  TInternetHandle ConnectionHandle;
  TInternetHandle RequestHandle;
  // Set by Cancel: ends a wait before a retry.
  THandle FWakeEvent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  long long FReceived = 0;  // bytes of the download in TargetStream, in full
  long long FTotal = -1;    // whole length of the download; -1 while unknown
  TTryFailure FFailure;
};

class THttpThread : public TThread {
public:
  static std::unique_ptr<THttpThread> CreatePost(const std::wstring& url, std::wstring* responseOut,
                                                 const std::wstring& postData);
  static std::unique_ptr<THttpThread> CreateDownload(const std::wstring& url, THttpProgressEvent onProgress,
                                                     TStream* targetStream, const TRetryPolicy& retryPolicy);
  // A transfer still running is cancelled and waited for.
  ~THttpThread() override;

  std::wstring* ErrorTextOut = nullptr;  // the caller's variable, may be empty

  void HookCancelButton(TButton* button);
  void HookCancelWindow(HWND button);
  void UnhookCancelButton();
  // GUI thread: stops the worker; from now on it writes nothing (no reply, no error text, no stream
  // data) and reports nothing.
  void Cancel();
  bool Stopped() const { return FStopped; }
  THttpRequest* Request() const { return FRequest.get(); }

protected:
  void Execute() override;

private:
  THttpThread() = default;
  static LRESULT CALLBACK HookProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT CancelButtonWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void ReportProgress(THttpRequest* sender, int32_t max, int32_t position);
  void DoProgress();
  void SetError(const std::wstring& text);
  void SetResponse(const std::wstring& text);

  // The request writes a download through this, so that nothing reaches the caller's stream
  // after a cancel (the caller may have closed it by then).
  class TGuardedStream : public TStream {
  public:
    explicit TGuardedStream(THttpThread& owner) : FOwner(owner) {}
    void Write(const void* data, size_t count) override;
    void Truncate() override;
  private:
    THttpThread& FOwner;
  };

  std::wstring Url;
  std::wstring PostData;
  std::wstring* ResponseOut = nullptr;  // the caller's variable, may be empty
  // Created with the thread (not lazily on the worker): the cancel on the GUI thread may reach for it.
  std::unique_ptr<THttpRequest> FRequest = std::make_unique<THttpRequest>();
  THttpProgressEvent OnProgress;
  TStream* TargetStream = nullptr;  // not owned
  TRetryPolicy RetryPolicy;
  int32_t ReportMax = 0;
  int32_t ReportPosition = 0;
  DWORD LastReportTick = 0;
  int ReportRetryWait = 0;  // the request's RetryWait at the last report
  WNDPROC SavedWindowProc = nullptr;
  HWND CancelButton = nullptr;  // not owned
  // Set on the GUI thread by Cancel; the worker writes the caller's variables only under the lock
  // and only while it is clear, so nothing arrives after a cancel.
  TLock FOutputLock;
  std::atomic<bool> FStopped{false};
  TGuardedStream FGuardedStream{*this};
};

// How a blocking transfer ended: it ran its course (with or without success), or the user stopped it on
// the cancel button, which may happen without a click (Return released on it, a press dragged off it).
enum class TTransferEnd { Completed, StoppedByUser };

// Blocking calls of the GUI thread: each runs one transfer on a THttpThread and handles the window's
// messages until it has ended. A click (or Return/Space release) on the cancel button aborts it and
// leaves Response and ErrorText untouched. A download tries again after transient failures as the
// policy says; the caller hears of a wait before a retry through a progress report at once, whose
// sender tells it (THttpRequest::RetryWait).
TTransferEnd HttpPostModal(const std::wstring& url, const std::wstring& body, TButton* cancelButton,
                           std::wstring& response, std::wstring& errorText);
TTransferEnd HttpPostFormModal(const std::wstring& url, const TStrings& fields, TButton* cancelButton,
                               std::wstring& response, std::wstring& errorText);
TTransferEnd HttpDownloadToStreamModal(const std::wstring& url, TStream& stream, TButton* cancelButton,
                                       std::wstring& errorText, THttpProgressEvent onProgress,
                                       const TRetryPolicy& retryPolicy = TRetryPolicy());
// Raises EFCreateError when the file cannot be created.
TTransferEnd HttpDownloadFileModal(const std::wstring& url, const std::wstring& fileName, TButton* cancelButton,
                                   std::wstring& errorText, THttpProgressEvent onProgress,
                                   const TRetryPolicy& retryPolicy = TRetryPolicy());

