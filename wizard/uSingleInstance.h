#pragma once
// One wizard at a time in a session: a second start finds the running wizard by a named mutex (made
// before any window), brings its window to the front and ends, showing nothing and tracking nothing.
#include <windows.h>
#include "framework/Handles.h"

class TSingleInstance {
public:
  // Takes the session's mutex of that name; IsFirst is false while another process holds it.
  explicit TSingleInstance(const wchar_t* mutexName);
  bool IsFirst() const { return FFirst; }
  // Brings the running wizard's window (or the message box it shows) to the front, waiting up to waitMs
  // for it while that wizard is still starting. False when that wizard ended meanwhile: this start is
  // then the first and goes on.
  bool ActivateRunning(const wchar_t* windowClass, const wchar_t* title, DWORD waitMs);

private:
  bool TakeOver();
  THandle FMutex;
  bool FFirst = true;
};
