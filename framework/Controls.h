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
#include "framework/Handles.h"

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

  HWND Handle() const { return FHandle; }
  const std::wstring& Name() const { return FName; }
  TWinControl* Parent() const { return FParent; }

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetBounds(int left, int top, int width, int height);
  void SetHeight(int height) { SetBounds(FLeft, FTop, FWidth, height); }

  bool Visible() const { return FVisible; }
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  // True when the control and every parent is visible and enabled.
  bool CanFocus() const;
  void SetFocus();
  bool Focused() const;

  std::wstring Text() const;
  void SetText(const std::wstring& text);
  void SetFont(HFONT font);  // not owned
  void Invalidate();

  enum class TAlign { None, Top, Bottom };
  TAlign Align = TAlign::None;

  // Logical (96 DPI) to device pixels; the layout is kept in logical pixels.
  int Scale(int value) const;
  static UINT ScreenDpi();
  // Moves the focus to the next (or previous) tab stop of the form, as Tab would.
  void SelectNext(bool forward = true);

  TKeyPressEvent OnKeyPress;  // WM_CHAR; set key to 0 to swallow it
  TNotifyEvent OnExit;        // the control lost the focus
  TNotifyEvent OnEnter;       // the control got the focus

  // Called by the parent for notifications it receives on this control's behalf (WM_COMMAND, ...).
  virtual LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  static TWinControl* FromHandle(HWND wnd);

protected:
  TWinControl(TWinControl* parent, std::wstring name);
  // Creates the window of the given class with the bounds stored so far.
  void CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle = 0);
  // The control's own messages, after subclassing; default: the original procedure.
  virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT CallOriginal(UINT msg, WPARAM wParam, LPARAM lParam);

  HWND FHandle = nullptr;
  WNDPROC FOriginalProc = nullptr;
  virtual void Resized() {}
  TWinControl* FParent;
  std::wstring FName;
  int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  bool FVisible = true;

private:
  static LRESULT CALLBACK SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

// A plain container window (tab sheets, page controls, the form's client): routes the notifications
// of its children back to them and paints its background.
class TContainer : public TWinControl {
public:
  TContainer(TWinControl* parent, std::wstring name);
  COLORREF Color = RGB(7, 104, 137);
  HBRUSH Brush();  // the background brush, for children that paint on it
protected:
  TContainer(TWinControl* parent, std::wstring name, bool createWindow);
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
private:
  TGdiObject FBrush;
  COLORREF FBrushColor = 0;
};

class TTabSheet : public TContainer {
public:
  using TContainer::TContainer;
  bool TabVisible = true;  // kept for the form's design; tabs are never drawn
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

// A control that draws itself: Paint gets the whole client area, double-buffering is left to it.
class TPaintedControl : public TWinControl {
protected:
  TPaintedControl(TWinControl* parent, std::wstring name);
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  virtual void Paint(HDC dc, const RECT& rc) = 0;
  // Fills the area with the parent's background colour.
  void PaintBackground(HDC dc, const RECT& rc) const;
};

// A painted label: transparent to the mouse, aligned and optionally word-wrapped.
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
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc, const RECT& rc) override;
private:
  void AdjustSize();
  TGdiObject FittingFont(HDC dc, HFONT font, const std::wstring& text, RECT box, UINT flags) const;
};

class TEdit : public TWinControl {
public:
  TEdit(TWinControl* parent, std::wstring name);
  COLORREF Color = RGB(208, 251, 255);
  LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Draws the one-pixel frame around the edit (window coordinates); a skin draws its own.
  virtual void PaintBorder(HDC dc, const RECT& rc, bool focused);
private:
  TGdiObject FBrush;
};

class TButton : public TWinControl {
public:
  struct TState {
    bool Pressed, Focused, Hot, Enabled;
  };
  TButton(TWinControl* parent, std::wstring name, bool tabStop = true);
  TNotifyEvent OnClick;
  void Click();  // runs OnClick as a press would
  LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // The button draws itself (owner-drawn); a skin draws its own.
  virtual void DrawButton(HDC dc, const RECT& rc, const TState& state);
private:
  bool FHot = false;
};

// A picture box that draws its bitmap centred.
class TImage : public TPaintedControl {
public:
  TImage(TWinControl* parent, std::wstring name);
  void SetBitmap(TGdiObject bitmap);  // a 32-bit premultiplied DIB section, owned from now on
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(FBitmap.Get()); }
protected:
  void Paint(HDC dc, const RECT& rc) override;
private:
  TGdiObject FBitmap;
  TGdiObject FScaled;  // the picture at the window's DPI, made once
};

// A gauge that prints its percentage followed by "%".
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
private:
  int FMax = 100;
  int FPosition = 0;
};

// An indeterminate (marquee) progress bar.
class TMarqueeBar : public TWinControl {
public:
  TMarqueeBar(TWinControl* parent, std::wstring name);
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
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Update();
  std::wstring FName;
  UINT FInterval;
  bool FEnabled = false;
  UINT_PTR FId = 0;
};

// A top-level, fixed-size window: the framework's form.
class TForm : public TContainer {
public:
  TForm(std::wstring name, std::wstring caption);
  ~TForm() override;
  void SetClientSize(int width, int height);
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  void Show();
  void Close();
  std::function<void()> OnShow;
  // Runs on a close request (title-bar button, Alt+F4, system menu, Close()); without a handler the
  // window is destroyed and the message loop ends.
  std::function<void()> OnClose;
  // Places the controls aligned to the top and bottom of the client area.
  void Realign();
  // The form's non-visual components, registered by the form that owns them.
  void AddComponent(TComponent* component) { FComponents.push_back(component); }
  TComponent* FindComponent(const std::wstring& name) const;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
private:
  friend class TWinControl;
  int FClientWidth = 0, FClientHeight = 0;
  HWND FLastFocus = nullptr;
  bool FShown = false;
  std::vector<TComponent*> FComponents;  // not owned
};

// Decodes a PNG image held in an RCDATA resource of the program into a 32-bit DIB section.
TGdiObject LoadPngResource(const wchar_t* name);
// Decodes PNG bytes; empty result on bad data.
TGdiObject DecodePng(const void* data, size_t size);
// Bilinear resampling of premultiplied BGRA pixels (top-down rows), for pictures at other DPIs.
std::vector<uint32_t> ResamplePixels(const uint32_t* source, int width, int height, int newWidth, int newHeight);
// A 32-bit DIB section of the bitmap at the new size, drawn smoothly.
TGdiObject ScaleBitmap(HBITMAP bitmap, int newWidth, int newHeight);
