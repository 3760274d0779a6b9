// The worker thread of a transfer and the blocking calls of the GUI thread.
#include "http/uWinInetRequest.h"
#include "framework/Application.h"
#include "framework/StdCtrls.h"
#include "framework/Strings.h"
#include "resources/StringIds.h"
#include "resources/StringRes.h"

namespace {
constexpr wchar_t kHookProperty[] = L"TradeloomHttpCancelHook";
// The procedure below the hook, for as long as the hook sits in the button's chain. It stays after the
// transfer when someone subclassed the button above the hook: the hook then passes everything on to it.
constexpr wchar_t kHookBelowProperty[] = L"TradeloomHttpCancelHookBelow";
constexpr DWORD kReportIntervalMs = 1000;

WNDPROC ProcBelowHook(HWND button) { return reinterpret_cast<WNDPROC>(::GetPropW(button, kHookBelowProperty)); }

bool IsCancelMessage(UINT msg, WPARAM wParam) {
  if (msg == WM_LBUTTONUP) return true;
  const WORD key = LOWORD(wParam);
  return msg == WM_KEYUP && (key == VK_RETURN || key == VK_SPACE);
}

// Starts the worker and waits for it while the window stays live; the hook is undone on this thread.
TTransferEnd RunModal(std::unique_ptr<THttpThread> worker, TButton* cancelButton, std::wstring& errorText) {
  worker->HookCancelButton(cancelButton);
  worker->ErrorTextOut = &errorText;
  worker->Start();
  // The window stays live meanwhile; a cancel (handled in that loop) ends the wait at once.
  Application->WaitPumping(worker->Handle(), INFINITE, [&worker] { return worker->Stopped(); });
  worker->UnhookCancelButton();
  // A cancelled worker may still sit in a WinINet call that returns only when the server answers or
  // closes (closing the handles does not break every wait). It writes nothing any more and releases
  // itself when it ends; the caller gets control back now.
  if (!worker->Stopped()) {
    // Whatever ended the worker unexpectedly is this transfer's failure, never a silent success.
    if (worker->Finished() && worker->FatalException()) errorText = worker->FatalErrorText();
    return TTransferEnd::Completed;
  }
  worker.release()->ReleaseAtEnd();
  return TTransferEnd::StoppedByUser;
}

std::wstring ExpandFileName(const std::wstring& fileName) {
  DWORD size = ::GetFullPathNameW(fileName.c_str(), 0, nullptr, nullptr);
  if (size == 0) return fileName;
  std::wstring full(size, L'\0');
  DWORD length = ::GetFullPathNameW(fileName.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return fileName;
  full.resize(length);
  return full;
}
}  // namespace

std::unique_ptr<THttpThread> THttpThread::CreatePost(const std::wstring& url, std::wstring* responseOut,
                                                     const std::wstring& postData) {
  std::unique_ptr<THttpThread> thread(new THttpThread());
  thread->Url = url;
  thread->ResponseOut = responseOut;
  thread->PostData = postData;
  return thread;
}

std::unique_ptr<THttpThread> THttpThread::CreateDownload(const std::wstring& url, THttpProgressEvent onProgress,
                                                         TStream* targetStream, const TRetryPolicy& retryPolicy) {
  std::unique_ptr<THttpThread> thread(new THttpThread());
  thread->Url = url;
  thread->OnProgress = std::move(onProgress);
  thread->TargetStream = targetStream;
  thread->RetryPolicy = retryPolicy;
  return thread;
}

THttpThread::~THttpThread() {
  // An owner that lets go of a transfer still running stops it, then waits: the worker uses its request
  // until it ends. (Before Start and after the end, the cancel changes nothing.)
  if (!Finished()) Cancel();
  EndBeforeDestruction();
}

void THttpThread::Execute() {
  try {
    TBytes reply;
    if (TargetStream) {
      FRequest->TargetStream = &FGuardedStream;
      FRequest->RetryPolicy = RetryPolicy;
      FRequest->OnProgress = [this](THttpRequest* sender, int32_t max, int32_t position) {
        ReportProgress(sender, max, position);
      };
      FRequest->Execute(Url, TBytes(), reply);
      // The final report, whatever the outcome: the caller's gauge ends full.
      LastReportTick = 0;
      ReportProgress(FRequest.get(), FRequest->ContentLength, FRequest->ContentLength);
    } else {
      FRequest->Execute(Url, StringToUtf8(PostData), reply);
      SetResponse(AnsiToString(reply));
    }
    if (FRequest->Failed) SetError(FRequest->ErrorText);
  } catch (const Exception& error) {
    SetError(error.Message());
  }
}

void THttpThread::SetError(const std::wstring& text) {
  TLocked lock(FOutputLock);
  if (!FStopped && ErrorTextOut) *ErrorTextOut = text;
}

void THttpThread::SetResponse(const std::wstring& text) {
  TLocked lock(FOutputLock);
  if (!FStopped && ResponseOut) *ResponseOut = text;
}

void THttpThread::TGuardedStream::Write(const void* data, size_t count) {
  TLocked lock(FOwner.FOutputLock);
  if (!FOwner.FStopped) FOwner.TargetStream->Write(data, count);
}

void THttpThread::TGuardedStream::Truncate() {
  TLocked lock(FOwner.FOutputLock);
  if (!FOwner.FStopped) FOwner.TargetStream->Truncate();
}

void THttpThread::ReportProgress(THttpRequest* sender, int32_t max, int32_t position) {
  if (!OnProgress || FStopped) return;
  const DWORD tick = ::GetTickCount();
  // A wait before a retry, and the transfer going on again, are told at once.
  const bool retryWaitChanged = sender->RetryWait != ReportRetryWait;
  if (!retryWaitChanged && tick <= LastReportTick + kReportIntervalMs) return;
  LastReportTick = tick;
  ReportRetryWait = sender->RetryWait;
  ReportMax = max;
  ReportPosition = position;
  Synchronize([this] { DoProgress(); });
}

void THttpThread::DoProgress() {
  // Runs on the GUI thread, like Cancel: a report that was queued before a cancel is dropped here.
  if (FStopped || !OnProgress) return;
  OnProgress(FRequest.get(), ReportMax, ReportPosition);
}

void THttpThread::HookCancelButton(TButton* button) { HookCancelWindow(button ? button->Handle() : nullptr); }

void THttpThread::HookCancelWindow(HWND button) {
  CancelButton = button;
  if (!button) return;
  ::SetPropW(button, kHookProperty, this);
  // A hook left in the chain by an earlier transfer serves this one: a second one above the other
  // subclass would find this transfer's property again below it and call itself round in a circle.
  SavedWindowProc = ProcBelowHook(button);
  if (SavedWindowProc) return;
  SavedWindowProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(button, GWLP_WNDPROC));
  ::SetPropW(button, kHookBelowProperty, reinterpret_cast<HANDLE>(SavedWindowProc));
  ::SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&THttpThread::HookProc));
}

void THttpThread::UnhookCancelButton() {
  if (!CancelButton) return;
  // Only while the hook is still on top: below another subclass it stays and passes messages on, and a
  // button whose owner already restored its own procedure (it is being destroyed) is left alone.
  if (::GetWindowLongPtrW(CancelButton, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&THttpThread::HookProc)) {
    ::SetWindowLongPtrW(CancelButton, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SavedWindowProc));
    ::RemovePropW(CancelButton, kHookBelowProperty);
  }
  ::RemovePropW(CancelButton, kHookProperty);
  CancelButton = nullptr;
}

void THttpThread::Cancel() {
  UnhookCancelButton();
  {
    TLocked lock(FOutputLock);
    FStopped = true;
  }
  // Closing the handles makes the worker's current WinINet call (or its wait before a retry) end at
  // once; it then ends without writing anything. The thread is never killed: it may hold the allocator's lock.
  FRequest->Cancel();
}

LRESULT CALLBACK THttpThread::HookProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (auto* self = static_cast<THttpThread*>(::GetPropW(wnd, kHookProperty)))
    return GuardedCall(LRESULT{0}, [&] { return self->CancelButtonWindowProc(wnd, msg, wParam, lParam); });
  // No transfer: the hook only passes messages on to the button's own procedure.
  const WNDPROC below = ProcBelowHook(wnd);
  if (!below) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) ::RemovePropW(wnd, kHookBelowProperty);
  return ::CallWindowProcW(below, wnd, msg, wParam, lParam);
}

LRESULT THttpThread::CancelButtonWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const WNDPROC saved = SavedWindowProc;
  if (msg == WM_NCDESTROY) {
    // The button goes away during the transfer: give it back its own procedure for its last message.
    UnhookCancelButton();
    ::RemovePropW(wnd, kHookBelowProperty);  // also where another subclass sits above the hook
    return ::CallWindowProcW(saved, wnd, msg, wParam, lParam);
  }
  // The button's own handling (its click and the caller's click handler) runs first.
  LRESULT result = ::CallWindowProcW(saved, wnd, msg, wParam, lParam);
  if (IsCancelMessage(msg, wParam) && CancelButton == wnd) {
    try {
      Cancel();
    } catch (...) {
      // Nothing of the cancel may escape into the window procedure.
    }
  }
  return result;
}

TTransferEnd HttpPostModal(const std::wstring& url, const std::wstring& body, TButton* cancelButton,
                           std::wstring& response, std::wstring& errorText) {
  return RunModal(THttpThread::CreatePost(url, &response, body), cancelButton, errorText);
}

TTransferEnd HttpPostFormModal(const std::wstring& url, const TStrings& fields, TButton* cancelButton,
                               std::wstring& response, std::wstring& errorText) {
  return HttpPostModal(url, EncodeFormFields(fields), cancelButton, response, errorText);
}

TTransferEnd HttpDownloadToStreamModal(const std::wstring& url, TStream& stream, TButton* cancelButton,
                                       std::wstring& errorText, THttpProgressEvent onProgress,
                                       const TRetryPolicy& retryPolicy) {
  return RunModal(THttpThread::CreateDownload(url, std::move(onProgress), &stream, retryPolicy), cancelButton,
                  errorText);
}

TTransferEnd HttpDownloadFileModal(const std::wstring& url, const std::wstring& fileName, TButton* cancelButton,
                                   std::wstring& errorText, THttpProgressEvent onProgress,
                                   const TRetryPolicy& retryPolicy) {
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = ::GetLastError();
    throw EFCreateError(
        FormatText(LoadStr(IDS_CANNOT_CREATE_FILE), {ExpandFileName(fileName), SysErrorMessage(error)}));
  }
  TFileStream stream(std::move(file));
  return HttpDownloadToStreamModal(url, stream, cancelButton, errorText, std::move(onProgress), retryPolicy);
}
