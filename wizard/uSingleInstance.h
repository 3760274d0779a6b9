#pragma once
// One wizard at a time in a session: a second start finds the running wizard by a named mutex (made
// before any window), brings its window to the front and ends, showing nothing and tracking nothing.
// A wizard that is closing (its window hidden, its statistics being finished) is waited for instead,
// and the second start then goes on as the first: the user who started it sees a wizard either way.
// So does one whose mutex has no visible wizard behind it for the whole wait (any program of the session
// can take that name: it may delay a start, never prevent it).
#include <windows.h>
#include "framework/Handles.h"

class TSingleInstance {
public:
  // Takes the session's mutex of that name; IsFirst is false while another process holds it.
  explicit TSingleInstance(const wchar_t* mutexName);
  bool IsFirst() const { return FFirst; }
  // Brings the running wizard's window (or the message box it shows) to the front, waiting up to waitMs
  // for it while that wizard is still starting, or for its end while it is closing. True when this start
  // is to end; false when it is to go on: that wizard ended meanwhile (this start is then the first), or
  // no visible wizard window was there when the time was up.
  bool ActivateRunning(const wchar_t* windowClass, const wchar_t* title, DWORD waitMs);

private:
  bool TakeOver();
  THandle FMutex;
  bool FFirst = true;
};

// The running wizard's visible window seen from another process, or none (a wizard that is closing hides
// its window; one that is starting has not shown it yet).
HWND FindVisibleWizard(const wchar_t* windowClass, const wchar_t* title);

// Restores a minimised window and brings it (or the box it shows) to the front without waiting on its
// thread: the other wizard may be hung, and a call it has to answer would hang this start too.
void BringToFront(HWND window);
