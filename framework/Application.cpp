#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include <commctrl.h>
#include <objbase.h>

TApplication* Application = nullptr;

namespace {
constexpr UINT kSyncMessage = WM_APP + 1;
constexpr wchar_t kSyncClass[] = L"TradeloomSyncWindow";

constexpr int kSyncPostAttempts = 100;
constexpr DWORD kSyncPostRetryMs = 10;

struct TSyncRequest {
  const std::function<void()>* Call;
  HANDLE Done;
};

// A call that is not handed over is not waited for: the worker learns that it did not run. Only a full
// queue is tried again, as it empties while the GUI thread handles its messages.
void PostSyncRequest(HWND window, TSyncRequest& request) {
  for (int attempt = 0;; ++attempt) {
    if (::PostMessageW(window, kSyncMessage, 0, reinterpret_cast<LPARAM>(&request))) return;
    const DWORD error = ::GetLastError();
    if (error != ERROR_NOT_ENOUGH_QUOTA || attempt >= kSyncPostAttempts)
      RaiseOSError(error ? error : ERROR_INVALID_WINDOW_HANDLE);
    ::Sleep(kSyncPostRetryMs);
  }
}
}  // namespace

TApplication::TApplication() : FInstance(::GetModuleHandleW(nullptr)), FMainThreadID(::GetCurrentThreadId()) {
  Application = this;
}

TApplication::~TApplication() {
  if (FSyncWindow) ::DestroyWindow(FSyncWindow);
  if (FComInitialized) ::CoUninitialize();
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  FComInitialized = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&icc);
  WNDCLASSEXW wc{sizeof(wc)};
  wc.lpfnWndProc = &TApplication::SyncWndProc;
  wc.hInstance = FInstance;
  wc.lpszClassName = kSyncClass;
  ::RegisterClassExW(&wc);
  // Message-only window: hand-overs are window messages, so modal loops (message boxes) serve them too.
  FSyncWindow = ::CreateWindowExW(0, kSyncClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, FInstance, nullptr);
  // Without it no worker could hand a call over: the program cannot run as it must.
  if (!FSyncWindow) RaiseLastOSError();
}

LRESULT CALLBACK TApplication::SyncWndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == kSyncMessage) {
    auto* request = reinterpret_cast<TSyncRequest*>(lParam);
    GuardedCall(*request->Call);
    ::SetEvent(request->Done);
    return 0;
  }
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

void TApplication::SyncCall(const std::function<void()>& call) {
  if (::GetCurrentThreadId() == FMainThreadID) {
    call();
    return;
  }
  // Run here instead, the call would touch the GUI thread's windows and data from the worker.
  if (!FSyncWindow) RaiseOSError(ERROR_INVALID_WINDOW_HANDLE);
  THandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done) RaiseLastOSError();
  TSyncRequest request{&call, done.Get()};
  PostSyncRequest(FSyncWindow, request);
  ::WaitForSingleObject(done.Get(), INFINITE);
}

bool TApplication::DispatchOne(MSG& msg) {
  if (msg.message == WM_QUIT) {
    FTerminated = true;
    return false;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
  return true;
}

bool TApplication::HandleMessage() {
  MSG msg;
  if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return DispatchOne(msg);
  if (FTerminated) return false;
  ::WaitMessage();  // the idle wait
  return true;
}

void TApplication::ProcessMessages() {
  const DWORD start = ::GetTickCount();
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!DispatchOne(msg)) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the outer loop
      break;
    }
    // A timer faster than its handler, or a handler that posts again, never lets the queue run dry.
    if (::GetTickCount() - start >= kProcessMessagesBudgetMs) break;
  }
}

void TApplication::HandleOneWhileWaiting(bool& quit, WPARAM& quitCode) {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return;
  if (msg.message == WM_QUIT) {
    // Kept for the main loop; the waiting goes on, and so does the handling of hand-overs.
    quit = true;
    quitCode = msg.wParam;
    return;
  }
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

bool TApplication::WaitPumping(HANDLE handle, DWORD timeoutMs, const std::function<bool()>& stop) {
  const DWORD start = ::GetTickCount();
  bool quit = false;
  WPARAM quitCode = 0;
  bool signalled = false;
  // One message at a time: the handle, stop and the time-out are looked at again after each, since a
  // queue that timers, repaints or posted reports keep full would otherwise never let the wait see them.
  while (!(stop && stop())) {
    const DWORD elapsed = ::GetTickCount() - start;
    if (timeoutMs != INFINITE && elapsed >= timeoutMs) {
      signalled = ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
      break;
    }
    const DWORD wait = timeoutMs == INFINITE ? INFINITE : timeoutMs - elapsed;
    // The handle comes first when both it and a message are there.
    const DWORD result = ::MsgWaitForMultipleObjectsEx(1, &handle, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
      signalled = result == WAIT_OBJECT_0;
      break;
    }
    HandleOneWhileWaiting(quit, quitCode);
  }
  if (quit) {
    FTerminated = true;
    ::PostQuitMessage(static_cast<int>(quitCode));
  }
  return signalled;
}

void TApplication::WaitPumping(HANDLE handle) { WaitPumping(handle, INFINITE, nullptr); }

void TApplication::Run() {
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() { ::PostQuitMessage(0); }

void TApplication::ShowException(const std::wstring& message) {
  // One report at a time: a handler that fails again while the first shows (a timer served by the
  // message box's own loop) would stack box upon box.
  if (FShowingException) return;
  FShowingException = true;
  struct TShown {
    bool& Flag;
    ~TShown() { Flag = false; }
  } shown{FShowingException};
  if (OnException) OnException(message);
  else ::MessageBoxW(FMainWindow, message.c_str(), FTitle.c_str(), MB_OK | MB_ICONERROR);
}

std::wstring CurrentExceptionMessage() {
  try {
    throw;
  } catch (const Exception& error) {
    return error.Message();
  } catch (const std::bad_alloc&) {
    return SysErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception& error) {
    return Utf8ToWide(error.what());
  } catch (...) {
    // Not an error of ours nor a standard one: all that can be said is that something went wrong inside.
    return SysErrorMessage(ERROR_INTERNAL_ERROR);
  }
}

void ReportCurrentException() noexcept {
  try {
    const std::wstring message = CurrentExceptionMessage();
    if (Application) Application->ShowException(message);
  } catch (...) {
    // The report itself failed (no memory left for its text): there is nobody else to tell.
  }
}
