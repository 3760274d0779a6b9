#include "wizard/uSingleInstance.h"

namespace {
constexpr DWORD kPollMs = 50;

struct TWindowSearch {
  const wchar_t* WindowClass;
  const wchar_t* Title;
  HWND Found;
};

bool HasClassAndTitle(HWND window, const wchar_t* windowClass, const wchar_t* title) {
  // GetWindowTextW reads another process's window text without sending it a message.
  wchar_t text[256];
  wchar_t className[256];
  if (!::GetClassNameW(window, className, 256) || ::lstrcmpW(className, windowClass) != 0) return false;
  ::GetWindowTextW(window, text, 256);
  return ::lstrcmpW(text, title) == 0;
}

BOOL CALLBACK CollectWizardWindow(HWND window, LPARAM context) noexcept {
  auto* search = reinterpret_cast<TWindowSearch*>(context);
  if (!::IsWindowVisible(window) || !HasClassAndTitle(window, search->WindowClass, search->Title)) return TRUE;
  search->Found = window;
  return FALSE;
}
}  // namespace

HWND FindVisibleWizard(const wchar_t* windowClass, const wchar_t* title) {
  TWindowSearch search{windowClass, title, nullptr};
  ::EnumWindows(&CollectWizardWindow, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

void BringToFront(HWND window) {
  if (::IsIconic(window)) ::ShowWindowAsync(window, SW_RESTORE);
  ::SetForegroundWindow(::GetLastActivePopup(window));
}

TSingleInstance::TSingleInstance(const wchar_t* mutexName) : FMutex(::CreateMutexW(nullptr, TRUE, mutexName)) {
  // Without a mutex (no rights, no namespace) this start goes on alone rather than not at all.
  if (FMutex && ::GetLastError() == ERROR_ALREADY_EXISTS) FFirst = TakeOver();
}

// The mutex is held by the running wizard until its process ends (abandoned, when it is killed).
bool TSingleInstance::TakeOver() {
  const DWORD result = ::WaitForSingleObject(FMutex.Get(), 0);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

bool TSingleInstance::ActivateRunning(const wchar_t* windowClass, const wchar_t* title, DWORD waitMs) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if (TakeOver()) {
      FFirst = true;
      return false;
    }
    if (const HWND running = FindVisibleWizard(windowClass, title)) {
      BringToFront(running);
      return true;
    }
    // No wizard shown for all this time: a close that does not end, a start hung before its window, or
    // the name taken by another program. This start shows a wizard of its own rather than nothing.
    if (::GetTickCount() - start >= waitMs) return false;
    ::Sleep(kPollMs);
  }
}
