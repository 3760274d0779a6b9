#include "wizard/uSingleInstance.h"

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
  HWND window = nullptr;
  while (!(window = ::FindWindowW(windowClass, title))) {
    if (TakeOver()) {
      FFirst = true;
      return false;
    }
    if (::GetTickCount() - start >= waitMs) return true;  // still starting, or hung: it is not this start's to show
    ::Sleep(50);
  }
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(::GetLastActivePopup(window));
  return true;
}
