#pragma once
// What screen readers learn about a window (Microsoft Active Accessibility): its role, name, value and
// state, answered on WM_GETOBJECT. Everything else a reader asks (place, parent, navigation) comes from
// the system's standard object for the window. oleacc is loaded only when a reader first asks, so that
// nothing of it weighs on the program's start.
#include <windows.h>
#include <functional>
#include <string>
#include "framework/Handles.h"

struct TAccessibleInfo {
  long Role = 0;  // ROLE_SYSTEM_...
  std::wstring Name;
  std::wstring Value;
  long State = 0;  // STATE_SYSTEM_...
  std::wstring DefaultAction;
};

class TAccessibleObject;

// The accessible side of one window, owned by whatever owns the window. The object handed to readers
// may outlive the window; it answers as disconnected from then on.
class TAccessibility {
public:
  using TDescribe = std::function<bool(TAccessibleInfo&)>;  // false: the system's object is enough
  TAccessibility();
  ~TAccessibility();
  TAccessibility(const TAccessibility&) = delete;
  TAccessibility& operator=(const TAccessibility&) = delete;

  TDescribe Describe;
  std::function<void()> DoDefaultAction;

  // The answer to WM_GETOBJECT; handled is false when the window's default handling should answer.
  LRESULT Answer(HWND window, WPARAM wParam, LPARAM lParam, bool& handled);
  // Tells readers that the window changed (EVENT_OBJECT_NAMECHANGE, EVENT_SYSTEM_ALERT, ...).
  static void Notify(HWND window, DWORD event);
  void Disconnect();

private:
  TComPtr<TAccessibleObject> FObject;  // made on the first question, kept while the window lives
};
