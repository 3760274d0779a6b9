#pragma once
// The thin control layer over Win32 that the wizard is written against: a form, page controls whose
// tabs are never shown, labels, edits, buttons, picture boxes, a gauge, a marquee bar and timers.
// Every control owns its HWND; the form owns its controls. Handlers are std::function members named
// as the wizard names them (OnClick, OnKeyPress, OnExit, OnTimer). They run on the GUI thread; an
// error that escapes a handler goes to the default error report.
// The units by kind: Controls (this one: the base control, containers and painted controls), Forms
// (the form), StdCtrls (label, edit, button), ExtCtrls (picture box, timer, page control and its
// sheets), ComCtrls (gauge, marquee bar) and Graphics (PNG decoding and resampling).
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "framework/Handles.h"
#include "framework/Accessible.h"

class TWinControl;

// A non-visual part of a form (a timer, the statistics tracker), found by its name.
class TComponent {
public:
  explicit TComponent(std::wstring name) : FName(std::move(name)) {}
  virtual ~TComponent() = default;
  const std::wstring& ComponentName() const { return FName; }
private:
  std::wstring FName;
};

using TNotifyEvent = std::function<void(TWinControl* sender)>;
using TKeyPressEvent = std::function<void(TWinControl* sender, wchar_t& key)>;

class TWinControl {
public:
  virtual ~TWinControl();
  TWinControl(const TWinControl&) = delete;
  TWinControl& operator=(const TWinControl&) = delete;

  // The control's window. Windows are made late and in one pass, with their bounds, text and style:
  // a form's controls when it is shown, a hidden page's when the page is first shown. Asking for the
  // handle before that makes the window at once (with those of its parents and their controls).
  HWND Handle() const;
  bool HandleAllocated() const { return FHandle != nullptr; }
  // A control without a window of its own (a label, a picture): its parent draws it, and tells screen
  // readers of it. Handle() is none for it.
  bool Windowless() const { return !FClassName; }
  const std::wstring& Name() const { return FName; }
  TWinControl* Parent() const { return FParent; }
  // The controls placed on this one, in the order they were made (the tab order).
  const std::vector<TWinControl*>& Controls() const { return FControls; }

  // The design bounds, in logical (96 DPI) pixels.
  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int left, int top, int width, int height);
  void SetHeight(int height) { SetBounds(FLeft, FTop, FWidth, height); }
  // Where the window goes in its parent at the form's DPI: the design bounds scaled.
  virtual RECT DeviceBounds() const;
  // Where the control is now, in its parent's client pixels.
  RECT BoundsInParent() const;

  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  // True when the control and every parent is visible and enabled.
  bool CanFocus() const;
  void SetFocus();
  bool Focused() const;
  // Whether the control takes the keyboard focus at all (edits and buttons do).
  virtual bool TakesFocus() const { return false; }
  // Gives the focus to the first control here (in tab order) that takes it; false when there is none.
  bool FocusFirstControl();
  // Gives the focus back to the control here that had it last, else to the first that takes it.
  bool FocusLastControl();

  std::wstring Text() const;
  void SetText(const std::wstring& text);
  // The control's own font, or its parent's when it has none (not owned).
  HFONT Font() const;
  void SetFont(HFONT font);
  // Every control here and below that uses the font `from` uses `to` from now on.
  void ReplaceFont(HFONT from, HFONT to);
  void Invalidate();

  enum class TAlign { None, Top, Bottom };
  TAlign Align = TAlign::None;

  // Logical (96 DPI) to device pixels at the form's DPI; the layout is kept in logical pixels.
  int Scale(int value) const;
  virtual UINT Dpi() const;
  // Whether Windows asks for high contrast: the controls then draw with the system's colours.
  virtual bool HighContrast() const;
  // own, or the system colour `sysColor` in high contrast.
  COLORREF Themed(COLORREF own, int sysColor) const;
  static UINT ScreenDpi();
  // Moves the focus to the next (or previous) tab stop of the form, as Tab would.
  void SelectNext(bool forward = true);

  TKeyPressEvent OnKeyPress;  // WM_CHAR; set key to 0 to swallow it
  TNotifyEvent OnExit;        // the control lost the focus
  TNotifyEvent OnEnter;       // the control got the focus

  // Called by the parent for notifications it receives on this control's behalf (WM_COMMAND, ...).
  virtual LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // The control of a window this framework made (none for other windows of the program).
  static TWinControl* FromHandle(HWND wnd);

protected:
  TWinControl(TWinControl* parent, std::wstring name);
  // Names the window to be made: a class of the system's (subclassed once made) or one of the
  // framework's own (ownClass: its procedure is the framework's from the first message).
  void DeclareWindow(const wchar_t* className, DWORD style, DWORD exStyle = 0, bool ownClass = false);
  // Makes this control's window and then those of its controls (hidden pages wait until shown).
  void CreateWindowTree();
  // A hidden page makes its windows only when first shown.
  virtual bool WaitsUntilShown() const { return false; }
  // After the window is made: what cannot be given at creation (an edit's font, a timer).
  virtual void WindowCreated() {}
  virtual void FontChanged();
  virtual void TextChanged() {}
  // The form's DPI changed: the window is placed and drawn anew; caches of the old size go.
  virtual void DpiChanged();
  // What a screen reader is told; false leaves it to the system's default object.
  virtual bool Describe(TAccessibleInfo& info) const;
  virtual void DoDefaultAction() {}
  // The control's own messages, after subclassing; default: the original procedure.
  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Draws the control into rc (its own client area, or its place on the parent when windowless).
  virtual void Paint(HDC, const RECT&) {}
  // Draws the windowless controls placed here that meet the area (this window's client pixels).
  void PaintWindowlessControls(HDC dc, const RECT& area);
  LRESULT CallOriginal(UINT msg, WPARAM wParam, LPARAM lParam);
  // Re-places the window at DeviceBounds.
  void ApplyBounds();
  // Tells screen readers that the control changed (through its parent's window when windowless).
  void NotifyReaders(DWORD event) const;
  static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  static void RegisterClassOnce(const wchar_t* name, UINT style);

  HWND FHandle = nullptr;
  WNDPROC FOriginalProc = nullptr;
  virtual void Resized() {}
  TWinControl* FParent;
  std::wstring FName;
  std::wstring FText;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;
  bool FTreeMade = false;  // this window and those of its controls have been made (placed, when windowless)
  RECT FPlaced{};          // a windowless control's place on its parent
  TWinControl* FLastFocused = nullptr;  // the control below this one that had the focus last; not owned
  bool FEnabled = true;
  HFONT FFont = nullptr;  // not owned

  // Makes this control's window alone (the form makes its own at once).
  void MakeWindow();

private:
  void MakeIfParentMade();
  void HandleNeeded();
  void DetachWindow();
  void PublishName();
  bool DescribeChild(long id, TAccessibleChild& child) const;
  std::vector<TWinControl*> FControls;  // not owned: each control is owned by the form's code
  const wchar_t* FClassName = nullptr;
  DWORD FStyle = 0, FExStyle = 0;
  bool FOwnClass = false;
  ATOM FNameAtom = 0;
  TAccessibility FAccessibility;
};

// A plain container window (tab sheets, page controls, the form's client): routes the notifications
// of its children back to them and paints its background.
class TContainer : public TWinControl {
public:
  TContainer(TWinControl* parent, std::wstring name);
  COLORREF Color = RGB(7, 104, 137);
  HBRUSH Brush();  // the background brush, for children that paint on it
protected:
  TContainer(TWinControl* parent, std::wstring name, bool declareWindow);
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
private:
  TSolidBrush FBrush;
};

// A control that draws itself: Paint gets the whole client area, double-buffering is left to it. A
// windowless one is drawn by its parent, which saves a window where nothing needs one.
class TPaintedControl : public TWinControl {
protected:
  TPaintedControl(TWinControl* parent, std::wstring name, bool windowed = true);
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc, const RECT& rc) override = 0;
  // Fills the area with the parent's background colour.
  void PaintBackground(HDC dc, const RECT& rc) const;
};
