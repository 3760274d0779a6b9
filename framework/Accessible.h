#pragma once
// What screen readers learn about a window (Microsoft Active Accessibility): its role, name, value and
// state, answered on WM_GETOBJECT, and the parts of it that have no window of their own (labels drawn
// by their page). Everything else a reader asks (place, parent, focus) comes from the system's standard
// object for the window. oleacc is loaded only when a reader first asks, so that nothing of it weighs
// on the program's start.
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

// One child of a window, in reading order: a control with a window of its own (which answers for
// itself), or a part drawn by the window.
struct TAccessibleChild {
  HWND Window = nullptr;
  TAccessibleInfo Info;
  RECT Screen{};  // where the drawn part is, in screen pixels
};

class TAccessibleObject;

// The accessible side of one window, owned by whatever owns the window. The object handed to readers
// may outlive the window; it answers as disconnected from then on.
class TAccessibility {
public:
  using TDescribe = std::function<bool(TAccessibleInfo&)>;  // false: the system's object answers
  TAccessibility();
  ~TAccessibility();
  TAccessibility(const TAccessibility&) = delete;
  TAccessibility& operator=(const TAccessibility&) = delete;

  TDescribe Describe;
  std::function<void()> DoDefaultAction;
  // The window's children with ids 1..ChildCount(); 0 leaves them to the system's object.
  std::function<long()> ChildCount;
  std::function<bool(long id, TAccessibleChild&)> Child;

  // The answer to WM_GETOBJECT; handled is false when the window's default handling should answer.
  LRESULT Answer(HWND window, WPARAM wParam, LPARAM lParam, bool& handled);
  // Tells readers that the window (or its drawn child) changed: EVENT_OBJECT_NAMECHANGE, EVENT_SYSTEM_ALERT...
  static void Notify(HWND window, DWORD event, LONG child = CHILDID_SELF);
  void Disconnect();

private:
  TComPtr<TAccessibleObject> FObject;  // made on the first question, kept while the window lives
};
