#pragma once
// The thin control layer over Win32 that the wizard is written against: a form, page controls whose
// tabs are never shown, labels, edits, buttons, picture boxes, a gauge, a marquee bar and timers.
// Every control owns its HWND; the form owns its controls. Handlers are std::function members named
// as the wizard names them (OnClick, OnKeyPress, OnExit, OnTimer). They run on the GUI thread; an
// error that escapes a handler goes to the default error report.
#include <windows.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <cstdint>
#include <optional>
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
  TGdiObject FBrush;
  COLORREF FBrushColor = 0;
};

class TTabSheet : public TContainer {
public:
  using TContainer::TContainer;
  bool TabVisible = true;  // kept for the form's design; tabs are never drawn
protected:
  bool WaitsUntilShown() const override { return !FVisible; }
};

// Pages stacked in one place; only the active page shows. No tabs are drawn.
class TPageControl : public TContainer {
public:
  TPageControl(TWinControl* parent, std::wstring name);
  TTabSheet* AddPage(std::wstring name);
  TTabSheet* ActivePage() const { return FActive; }
  void SetActivePage(TTabSheet* page);
  TTabSheet* Page(const std::wstring& name) const;
  const std::vector<std::unique_ptr<TTabSheet>>& Pages() const { return FPages; }
protected:
  void Resized() override;
private:
  std::vector<std::unique_ptr<TTabSheet>> FPages;
  TTabSheet* FActive = nullptr;
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

// A label, drawn by its page: aligned and optionally word-wrapped. Screen readers read it as static text.
class TLabel : public TPaintedControl {
public:
  enum class TAlignment { Left, Right, Center };
  TLabel(TWinControl* parent, std::wstring name);
  TAlignment Alignment = TAlignment::Left;
  bool WordWrap = false;
  bool CenterVertically = false;
  // A label that does not wrap grows to its text, keeping its right edge when right-aligned.
  bool AutoSize = true;
  // A wrapped text that does not fit its box is drawn in a smaller size of the same font.
  bool ShrinkToFit = false;
  COLORREF FontColor = RGB(199, 248, 255);
  // The control this label names (for screen readers: an edit is read by its label); not owned.
  TWinControl* FocusControl = nullptr;
  RECT DeviceBounds() const override;
protected:
  void Paint(HDC dc, const RECT& rc) override;
  void FontChanged() override;
  void TextChanged() override;
  void DpiChanged() override;
  void Resized() override { FFitted.reset(); }
  bool Describe(TAccessibleInfo& info) const override;
private:
  HFONT PaintFont(HDC dc, const RECT& box, UINT flags);
  TGdiObject FittingFont(HDC dc, HFONT font, const std::wstring& text, RECT box, UINT flags) const;
  std::optional<TGdiObject> FFitted;  // the smaller font a ShrinkToFit text needs (empty: its own fits)
};

class TEdit : public TWinControl {
public:
  TEdit(TWinControl* parent, std::wstring name);
  COLORREF Color = RGB(208, 251, 255);
  bool TakesFocus() const override { return true; }
  LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void WindowCreated() override;
  void FontChanged() override;
  bool Describe(TAccessibleInfo& info) const override;
  // Draws the one-pixel frame around the edit (window coordinates); a skin draws its own.
  virtual void PaintBorder(HDC dc, const RECT& rc, bool focused);
private:
  TGdiObject FBrush;
  COLORREF FBrushColor = 0;
};

class TButton : public TWinControl {
public:
  struct TState {
    bool Pressed, Focused, Hot, Enabled;
  };
  TButton(TWinControl* parent, std::wstring name, bool tabStop = true);
  TNotifyEvent OnClick;
  // The button Escape presses, when it shows.
  bool Cancel = false;
  bool TakesFocus() const override { return true; }
  void Click();  // runs OnClick as a press would
  // Presses the button as the keyboard does (focus, then Space), so that whatever watches it sees the press.
  void PressByKeyboard();
  LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool Describe(TAccessibleInfo& info) const override;
  void DoDefaultAction() override;
  // The button draws itself (owner-drawn); a skin draws its own.
  virtual void DrawButton(HDC dc, const RECT& rc, const TState& state);
  // A default button (the call to action) tells screen readers so.
  virtual bool IsDefault() const { return false; }
private:
  bool FHot = false;
};

// A picture box that draws its bitmap centred, drawn by its page.
class TImage : public TPaintedControl {
public:
  TImage(TWinControl* parent, std::wstring name);
  void SetBitmap(TGdiObject bitmap);  // a 32-bit premultiplied DIB section, owned from now on
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(FBitmap.Get()); }
protected:
  void Paint(HDC dc, const RECT& rc) override;
  void DpiChanged() override;
  bool Describe(TAccessibleInfo& info) const override;
private:
  TGdiObject FBitmap;
  TGdiObject FScaled;  // the picture at the window's DPI, made from FBitmap when first drawn at it
};

// A gauge that prints its percentage followed by "%"; screen readers read it as a progress bar whose
// value is that text.
class TGauge : public TPaintedControl {
public:
  TGauge(TWinControl* parent, std::wstring name);
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMax(int max);
  void SetPosition(int position);
  int Percent() const;
protected:
  // Draws the bar and its text (the control's text, "<percent>%"); a skin draws its own.
  void Paint(HDC dc, const RECT& rc) override;
  void TextChanged() override;
  bool Describe(TAccessibleInfo& info) const override;
private:
  int FMax = 100;
  int FPosition = 0;
};

// An indeterminate (marquee) progress bar.
class TMarqueeBar : public TWinControl {
public:
  TMarqueeBar(TWinControl* parent, std::wstring name);
protected:
  void WindowCreated() override;
};

// A window timer; fires OnTimer on the GUI thread while enabled.
class TTimer {
public:
  explicit TTimer(std::wstring name, UINT interval = 1000);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  UINT Interval() const { return FInterval; }
  void SetInterval(UINT interval);
  TNotifyEvent OnTimer;
  const std::wstring& Name() const { return FName; }
private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept;
  void Update();
  std::wstring FName;
  UINT FInterval;
  bool FEnabled = false;
  UINT_PTR FId = 0;
};

// A top-level, fixed-size window: the framework's form. It follows the DPI of the monitor it is on
// (WM_DPICHANGED) and the system's high-contrast setting.
class TForm : public TContainer {
public:
  TForm(std::wstring name, std::wstring caption);
  ~TForm() override;
  // The window class of every form, for finding a form of another process.
  static const wchar_t* WindowClassName();
  void SetClientSize(int width, int height);
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  void Show();
  void Close();
  std::function<void()> OnShow;
  // Runs on a close request (title-bar button, Alt+F4, system menu, Close()); without a handler the
  // window is destroyed and the message loop ends.
  std::function<void()> OnClose;
  // Runs after the form and its controls have been placed at a new DPI.
  std::function<void()> OnDpiChanged;
  // Places the controls aligned to the top and bottom of the client area.
  void Realign();
  // The form's non-visual components, registered by the form that owns them.
  void AddComponent(TComponent* component) { FComponents.push_back(component); }
  TComponent* FindComponent(const std::wstring& name) const;

  UINT Dpi() const override { return FDpi; }
  bool HighContrast() const override { return FHighContrast; }
  // Moves the form to another DPI as WM_DPICHANGED asks: the suggested window rectangle (none: keep
  // the place), every control's bounds, fonts and pictures anew.
  void ChangeDpi(UINT dpi, const RECT* suggested);
  // Draws with the system's colours (on) or the skin's; follows the system's setting by itself.
  void SetHighContrast(bool on);
  // A font of the form's face at a logical pixel height, made at the form's DPI and made anew, for
  // every control that uses it, when the DPI changes. Owned by the form.
  HFONT FormFont(int pixelHeight, bool bold = false);
  std::wstring FontName = L"Tahoma";
  // Presses the cancel button that shows (Escape); false when none does.
  bool PressCancelButton();
  // Where the keyboard focus was left on the form itself or on a control that can no longer take it
  // (hidden with its page), it goes to the control of `area` that had it last, else to the first that
  // takes it. A focus elsewhere (a message box, another program) stays where it is.
  void RestoreFocus(TWinControl& area);
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
private:
  friend class TWinControl;
  struct TFormFont {
    int PixelHeight;
    bool Bold;
    TGdiObject Handle;
  };
  TGdiObject MakeFont(int pixelHeight, bool bold) const;
  // The window's size for the client size at the form's DPI.
  SIZE WindowSize() const;
  // Sizes the window to the client size at the form's DPI, at the place given (none: where it is).
  void FitWindowToClient(const POINT* place);
  int FClientWidth = 0, FClientHeight = 0;
  UINT FDpi = 96;
  bool FHighContrast = false;
  HWND FLastFocus = nullptr;
  bool FShown = false;
  std::vector<TComponent*> FComponents;  // not owned
  std::vector<TFormFont> FFonts;
};

// Decodes a PNG image held in an RCDATA resource of the program into a 32-bit DIB section.
TGdiObject LoadPngResource(const wchar_t* name);
// Decodes PNG bytes; empty result on bad data.
TGdiObject DecodePng(const void* data, size_t size);
// Bilinear resampling of premultiplied BGRA pixels (top-down rows), for pictures at other DPIs.
std::vector<uint32_t> ResamplePixels(const uint32_t* source, int width, int height, int newWidth, int newHeight);
// A 32-bit DIB section of the bitmap at the new size, drawn smoothly.
TGdiObject ScaleBitmap(HBITMAP bitmap, int newWidth, int newHeight);
