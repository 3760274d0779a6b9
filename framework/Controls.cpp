#include "framework/Controls.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include <commctrl.h>
#include <oleacc.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
constexpr wchar_t kContainerClass[] = L"TradeloomContainer";
constexpr wchar_t kPaintedClass[] = L"TradeloomPainted";
constexpr wchar_t kFormClass[] = L"TradeloomForm";
constexpr wchar_t kNameProperty[] = L"TradeloomName";

// Test tools in other processes ask a control for its name with this message; the control then
// publishes it as a window property holding a global atom. Nothing of it is made unless asked.
UINT NameRequestMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TradeloomPublishName");
  return message;
}

HWND RootOf(HWND wnd) { return ::GetAncestor(wnd, GA_ROOT); }

template <typename F>
F User32Function(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

// The window's DPI where Windows knows one per window (10, version 1607 on), else the system's.
UINT WindowDpi(HWND wnd) {
  if (auto getDpiForWindow = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow"))
    if (UINT dpi = getDpiForWindow(wnd)) return dpi;
  return TWinControl::ScreenDpi();
}

bool SystemHighContrast() {
  HIGHCONTRASTW contrast{sizeof(contrast)};
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}
}  // namespace

// ---- TWinControl ----

TWinControl::TWinControl(TWinControl* parent, std::wstring name) : FParent(parent), FName(std::move(name)) {
  if (FParent) FParent->FControls.push_back(this);
  FAccessibility.Describe = [this](TAccessibleInfo& info) { return Describe(info); };
  FAccessibility.DoDefaultAction = [this] { DoDefaultAction(); };
  // Readers learn of the windowless controls placed here from this window.
  FAccessibility.ChildCount = [this] {
    const bool drawsControls = std::any_of(FControls.begin(), FControls.end(), [](auto* c) { return c->Windowless(); });
    return drawsControls ? static_cast<long>(FControls.size()) : 0L;
  };
  FAccessibility.Child = [this](long id, TAccessibleChild& child) { return DescribeChild(id, child); };
}

bool TWinControl::DescribeChild(long id, TAccessibleChild& child) const {
  if (id < 1 || id > static_cast<long>(FControls.size())) return false;
  const TWinControl* control = FControls[id - 1];
  child.Window = control->FHandle;
  if (child.Window) return true;
  if (!control->Describe(child.Info)) child.Info.Role = ROLE_SYSTEM_CLIENT;
  if (!control->FVisible) child.Info.State |= STATE_SYSTEM_INVISIBLE;
  child.Screen = control->FPlaced;
  ::MapWindowPoints(FHandle, HWND_DESKTOP, reinterpret_cast<POINT*>(&child.Screen), 2);
  return true;
}

namespace {
std::wstring ChildNameProperty(size_t index) { return kNameProperty + std::to_wstring(index + 1); }
}  // namespace

TWinControl::~TWinControl() {
  FAccessibility.Disconnect();
  HWND own = FHandle;
  // Controls still here lose their windows with this one's; they must not answer for them.
  for (TWinControl* control : FControls) {
    control->DetachWindow();
    control->FParent = nullptr;
  }
  DetachWindow();
  if (own) ::DestroyWindow(own);
  for (TWinControl* c = FParent; c; c = c->FParent)
    if (c->FLastFocused == this) c->FLastFocused = nullptr;
  if (FParent) std::erase(FParent->FControls, this);
}

void TWinControl::DetachWindow() {
  for (TWinControl* control : FControls) control->DetachWindow();
  if (Windowless() && FNameAtom) {
    // Published on the parent's window, under this control's place among the parent's controls.
    if (FParent && FParent->FHandle) {
      auto& siblings = FParent->FControls;
      ::RemovePropW(FParent->FHandle, ChildNameProperty(std::find(siblings.begin(), siblings.end(), this) - siblings.begin()).c_str());
    }
    ::GlobalDeleteAtom(FNameAtom);
    FNameAtom = 0;
  }
  if (!FHandle) return;
  if (FNameAtom) {
    ::RemovePropW(FHandle, kNameProperty);
    ::GlobalDeleteAtom(FNameAtom);
    FNameAtom = 0;
  }
  ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
  if (!FOwnClass && FOriginalProc) ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOriginalProc));
  FHandle = nullptr;
}

UINT TWinControl::ScreenDpi() {
  TWindowDC dc(nullptr);
  int dpi = ::GetDeviceCaps(dc.Get(), LOGPIXELSX);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT TWinControl::Dpi() const { return FParent ? FParent->Dpi() : 96; }
int TWinControl::Scale(int value) const { return ::MulDiv(value, static_cast<int>(Dpi()), 96); }
bool TWinControl::HighContrast() const { return FParent && FParent->HighContrast(); }
COLORREF TWinControl::Themed(COLORREF own, int sysColor) const { return HighContrast() ? ::GetSysColor(sysColor) : own; }

void TWinControl::RegisterClassOnce(const wchar_t* name, UINT style) {
  WNDCLASSEXW wc{sizeof(wc)};
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc)) return;
  wc.style = style;
  wc.lpfnWndProc = &TWinControl::SubclassProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  // Only a form shows the program's icon; loading it costs a handle and its bitmaps.
  if (::lstrcmpW(name, kFormClass) == 0) wc.hIcon = ::LoadIconW(wc.hInstance, L"MAINICON");
  ::RegisterClassExW(&wc);
}

void TWinControl::DeclareWindow(const wchar_t* className, DWORD style, DWORD exStyle, bool ownClass) {
  FClassName = className;
  FStyle = style;
  FExStyle = exStyle;
  FOwnClass = ownClass;
  if (ownClass) FOriginalProc = ::DefWindowProcW;
}

HWND TWinControl::Handle() const {
  if (!FHandle && FClassName) const_cast<TWinControl*>(this)->HandleNeeded();
  return FHandle;
}

void TWinControl::HandleNeeded() {
  // Parents first: each makes its controls in order with it, so the tab order stays the order of making.
  if (FParent && !FParent->FTreeMade) FParent->HandleNeeded();
  if (!FTreeMade) CreateWindowTree();  // also a page that waits until shown, asked for all the same
}

void TWinControl::CreateWindowTree() {
  if (!FHandle && FClassName) MakeWindow();
  FTreeMade = true;
  if (Windowless()) ApplyBounds();
  for (TWinControl* control : FControls)
    if (!control->FTreeMade && !control->WaitsUntilShown()) control->CreateWindowTree();
}

void TWinControl::MakeIfParentMade() {
  if (!FTreeMade && FParent && FParent->FTreeMade && !WaitsUntilShown()) CreateWindowTree();
}

void TWinControl::MakeWindow() {
  HWND parentWnd = FParent ? FParent->Handle() : nullptr;
  if (FHandle) return;
  // One pass: bounds, text, visibility and state go with the creation itself.
  const RECT bounds = DeviceBounds();
  DWORD style = FStyle | WS_CLIPSIBLINGS | (parentWnd ? WS_CHILD : 0) | (FVisible ? WS_VISIBLE : 0) |
                (FEnabled ? 0 : WS_DISABLED);
  HWND wnd = ::CreateWindowExW(FExStyle, FClassName, FText.c_str(), style, bounds.left, bounds.top,
                               bounds.right - bounds.left, bounds.bottom - bounds.top, parentWnd, nullptr,
                               ::GetModuleHandleW(nullptr), FOwnClass ? this : nullptr);
  if (!wnd) RaiseLastOSError();
  if (!FOwnClass) {
    FHandle = wnd;
    ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FOriginalProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::SubclassProc)));
  }
  WindowCreated();
}

TWinControl* TWinControl::FromHandle(HWND wnd) {
  return wnd ? reinterpret_cast<TWinControl*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA)) : nullptr;
}

LRESULT CALLBACK TWinControl::SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  TWinControl* self = FromHandle(wnd);
  if (!self && msg == WM_NCCREATE) {
    // A window of the framework's own classes: its control comes with the creation.
    self = static_cast<TWinControl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (self) {
      self->FHandle = wnd;
      ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
  }
  if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  return GuardedCall(LRESULT{0}, [&] { return self->WndProc(msg, wParam, lParam); });
}

LRESULT TWinControl::CallOriginal(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(FOriginalProc, FHandle, msg, wParam, lParam);
}

void TWinControl::PublishName() {
  auto publish = [this](TWinControl& control, const std::wstring& property) {
    if (control.FNameAtom || control.FName.empty()) return;
    control.FNameAtom = ::GlobalAddAtomW(control.FName.c_str());
    if (control.FNameAtom)
      ::SetPropW(FHandle, property.c_str(), reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(control.FNameAtom)));
  };
  publish(*this, kNameProperty);
  // The windowless controls drawn here, under their place among this window's controls (their reader ids).
  for (size_t i = 0; i < FControls.size(); ++i)
    if (FControls[i]->Windowless()) publish(*FControls[i], ChildNameProperty(i));
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == NameRequestMessage()) {
    PublishName();
    return 1;
  }
  switch (msg) {
    case WM_GETOBJECT: {
      bool handled = false;
      LRESULT result = FAccessibility.Answer(FHandle, wParam, lParam, handled);
      if (handled) return result;
      break;
    }
    case WM_SETFONT:
      if (!FOwnClass) break;
      FFont = reinterpret_cast<HFONT>(wParam);
      FontChanged();
      return 0;
    case WM_GETFONT:
      if (!FOwnClass) break;
      return reinterpret_cast<LRESULT>(Font());
    case WM_KEYDOWN:
      if (wParam == VK_TAB) {
        SelectNext(::GetKeyState(VK_SHIFT) >= 0);
        return 0;
      }
      if (wParam == VK_ESCAPE)
        if (auto* form = dynamic_cast<TForm*>(FromHandle(RootOf(FHandle))); form && form->PressCancelButton()) return 0;
      break;
    case WM_CHAR: {
      if (wParam == L'\t') return 0;  // handled on key-down
      wchar_t key = static_cast<wchar_t>(wParam);
      if (OnKeyPress) OnKeyPress(this, key);
      if (key == 0) return 0;
      return CallOriginal(msg, key, lParam);
    }
    case WM_SETFOCUS: {
      if (auto* form = dynamic_cast<TForm*>(FromHandle(RootOf(FHandle)))) form->FLastFocus = FHandle;
      for (TWinControl* c = FParent; c; c = c->FParent) c->FLastFocused = this;
      LRESULT result = CallOriginal(msg, wParam, lParam);
      if (OnEnter) OnEnter(this);
      return result;
    }
    case WM_KILLFOCUS: {
      LRESULT result = CallOriginal(msg, wParam, lParam);
      // Like a form's OnExit: only when the focus moves to another control of the same window.
      HWND next = reinterpret_cast<HWND>(wParam);
      if (OnExit && next && RootOf(next) == RootOf(FHandle)) OnExit(this);
      return result;
    }
  }
  return CallOriginal(msg, wParam, lParam);
}

LRESULT TWinControl::HandleParentNotify(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

bool TWinControl::Describe(TAccessibleInfo&) const { return false; }

RECT TWinControl::DeviceBounds() const {
  return {Scale(FLeft), Scale(FTop), Scale(FLeft) + Scale(FWidth), Scale(FTop) + Scale(FHeight)};
}

void TWinControl::ApplyBounds() {
  if (Windowless()) {
    // Drawn by the parent: its old and new places are painted anew.
    if (!FParent || !FParent->FHandle) return;
    Invalidate();
    FPlaced = DeviceBounds();
    Invalidate();
    return;
  }
  if (!FHandle) return;
  const RECT b = DeviceBounds();
  ::SetWindowPos(FHandle, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  ApplyBounds();
  Resized();
  MakeIfParentMade();
}

void TWinControl::NotifyReaders(DWORD event) const {
  if (FHandle) return TAccessibility::Notify(FHandle, event);
  if (!Windowless() || !FTreeMade || !FParent || !FParent->FHandle) return;
  auto& siblings = FParent->FControls;
  TAccessibility::Notify(FParent->FHandle, event, static_cast<LONG>(std::find(siblings.begin(), siblings.end(), this) - siblings.begin() + 1));
}

RECT TWinControl::BoundsInParent() const {
  if (Windowless()) return FPlaced;
  if (!FHandle) return DeviceBounds();
  RECT rc;
  ::GetWindowRect(FHandle, &rc);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(FHandle), reinterpret_cast<POINT*>(&rc), 2);
  return rc;
}

void TWinControl::PaintWindowlessControls(HDC dc, const RECT& area) {
  for (TWinControl* control : FControls) {
    RECT meets;
    if (!control->Windowless() || !control->FVisible || !::IntersectRect(&meets, &control->FPlaced, &area)) continue;
    const RECT& place = control->FPlaced;
    const int saved = ::SaveDC(dc);
    ::SetViewportOrgEx(dc, place.left, place.top, nullptr);
    ::IntersectClipRect(dc, 0, 0, place.right - place.left, place.bottom - place.top);
    control->Paint(dc, RECT{0, 0, place.right - place.left, place.bottom - place.top});
    ::RestoreDC(dc, saved);
  }
}

void TWinControl::DpiChanged() {
  if (FParent) ApplyBounds();  // a form keeps the place Windows suggested
  Invalidate();
  for (TWinControl* control : FControls) control->DpiChanged();
}

void TWinControl::SetVisible(bool visible) {
  FVisible = visible;
  if (FHandle) ::ShowWindow(FHandle, visible ? SW_SHOWNA : SW_HIDE);
  else if (Windowless()) Invalidate();
  else if (visible) MakeIfParentMade();  // a page first shown
}

bool TWinControl::Enabled() const { return FEnabled; }

void TWinControl::SetEnabled(bool enabled) {
  FEnabled = enabled;
  if (FHandle) ::EnableWindow(FHandle, enabled);
}

bool TWinControl::CanFocus() const {
  for (const TWinControl* c = this; c; c = c->FParent)
    if (!c->FVisible || !c->FEnabled) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (HWND wnd = Handle()) ::SetFocus(wnd);
}

bool TWinControl::Focused() const { return FHandle && ::GetFocus() == FHandle; }

bool TWinControl::FocusFirstControl() {
  for (TWinControl* control : FControls) {
    if (control->TakesFocus() && control->CanFocus()) {
      control->SetFocus();
      return true;
    }
    if (control->FocusFirstControl()) return true;
  }
  return false;
}

bool TWinControl::FocusLastControl() {
  if (!FLastFocused || !FLastFocused->CanFocus()) return FocusFirstControl();
  FLastFocused->SetFocus();
  return true;
}

std::wstring TWinControl::Text() const {
  // The framework's own windows show only what was set here; a system control (an edit) may have changed.
  if (!FHandle || FOwnClass) return FText;
  int n = ::GetWindowTextLengthW(FHandle);
  std::wstring text(n + 1, L'\0');
  n = ::GetWindowTextW(FHandle, text.data(), n + 1);
  text.resize(n);
  return text;
}

void TWinControl::SetText(const std::wstring& text) {
  FText = text;
  if (FHandle) {
    ::SetWindowTextW(FHandle, text.c_str());
    Invalidate();
  }
  TextChanged();
  MakeIfParentMade();
}

HFONT TWinControl::Font() const { return FFont ? FFont : FParent ? FParent->Font() : nullptr; }

void TWinControl::SetFont(HFONT font) {
  FFont = font;
  FontChanged();
  MakeIfParentMade();
}

void TWinControl::FontChanged() {
  Invalidate();
  for (TWinControl* control : FControls)
    if (!control->FFont) control->FontChanged();  // it draws with this font too
}

void TWinControl::ReplaceFont(HFONT from, HFONT to) {
  if (FFont == from) SetFont(to);
  for (TWinControl* control : FControls) control->ReplaceFont(from, to);
}

void TWinControl::Invalidate() {
  if (FHandle) ::InvalidateRect(FHandle, nullptr, TRUE);
  else if (Windowless() && FParent && FParent->FHandle && FTreeMade) ::InvalidateRect(FParent->FHandle, &FPlaced, TRUE);
}

void TWinControl::SelectNext(bool forward) {
  HWND root = RootOf(FHandle);
  // From the form itself (the focus waits there while a step runs) Tab goes to its first control.
  HWND next = ::GetNextDlgTabItem(root, FHandle == root ? nullptr : FHandle, !forward);
  if (next && next != FHandle) ::SetFocus(next);
}

// ---- TContainer ----

TContainer::TContainer(TWinControl* parent, std::wstring name) : TContainer(parent, std::move(name), true) {}

TContainer::TContainer(TWinControl* parent, std::wstring name, bool declareWindow)
    : TWinControl(parent, std::move(name)) {
  if (!declareWindow) return;
  RegisterClassOnce(kContainerClass, 0);
  if (parent) FWidth = parent->Width(), FHeight = parent->Height();
  DeclareWindow(kContainerClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, true);
}

HBRUSH TContainer::Brush() {
  const COLORREF color = Themed(Color, COLOR_BTNFACE);
  if (!FBrush || FBrushColor != color) {
    FBrush.Reset(::CreateSolidBrush(color));
    FBrushColor = color;
  }
  return static_cast<HBRUSH>(FBrush.Get());
}

LRESULT TContainer::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT rc;
      ::GetClientRect(FHandle, &rc);
      ::FillRect(reinterpret_cast<HDC>(wParam), &rc, Brush());
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(FHandle, &ps);
      PaintWindowlessControls(dc, ps.rcPaint);
      ::EndPaint(FHandle, &ps);
      return 0;
    }
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM: {
      HWND child = msg == WM_DRAWITEM ? reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem : reinterpret_cast<HWND>(lParam);
      if (TWinControl* control = FromHandle(child)) {
        bool handled = false;
        LRESULT result = control->HandleParentNotify(msg, wParam, lParam, handled);
        if (handled) return result;
      }
      break;
    }
  }
  return TWinControl::WndProc(msg, wParam, lParam);
}

// ---- TPageControl ----

TPageControl::TPageControl(TWinControl* parent, std::wstring name) : TContainer(parent, std::move(name)) {}

TTabSheet* TPageControl::AddPage(std::wstring name) {
  auto page = std::make_unique<TTabSheet>(this, std::move(name));
  page->SetVisible(false);  // first: a hidden page makes no window until it is shown
  page->SetBounds(0, 0, FWidth, FHeight);
  FPages.push_back(std::move(page));
  return FPages.back().get();
}

TTabSheet* TPageControl::Page(const std::wstring& name) const {
  for (auto& page : FPages)
    if (page->Name() == name) return page.get();
  return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
  FActive = page;
  for (auto& p : FPages)
    if (p.get() != page) p->SetVisible(false);
  if (page) page->SetVisible(true);
}

void TPageControl::Resized() {
  for (auto& page : FPages) page->SetBounds(0, 0, FWidth, FHeight);
}

// ---- TPaintedControl ----

TPaintedControl::TPaintedControl(TWinControl* parent, std::wstring name, bool windowed)
    : TWinControl(parent, std::move(name)) {
  if (!windowed) return;
  RegisterClassOnce(kPaintedClass, CS_HREDRAW | CS_VREDRAW);
  DeclareWindow(kPaintedClass, 0, 0, true);
}

LRESULT TPaintedControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;  // Paint covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(FHandle, &ps);
      RECT rc;
      ::GetClientRect(FHandle, &rc);
      Paint(dc, rc);
      ::EndPaint(FHandle, &ps);
      return 0;
    }
  }
  return TWinControl::WndProc(msg, wParam, lParam);
}

void TPaintedControl::PaintBackground(HDC dc, const RECT& rc) const {
  auto* container = dynamic_cast<TContainer*>(FParent);
  ::FillRect(dc, &rc, container ? container->Brush() : ::GetSysColorBrush(COLOR_BTNFACE));
}

// ---- TLabel ----

TLabel::TLabel(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name), false) {}

RECT TLabel::DeviceBounds() const {
  if (!AutoSize || WordWrap || FText.empty()) return TWinControl::DeviceBounds();
  // Grown to the text at the current DPI; the design bounds stay as they are, so no DPI change drifts.
  TMemoryDC dc(::CreateCompatibleDC(nullptr));
  HFONT font = Font();
  TSelectObject select(dc.Get(), font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  RECT measure{0, 0, 0, 0};
  ::DrawTextW(dc.Get(), FText.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  const int dpi = static_cast<int>(Dpi());
  const int width = ::MulDiv(measure.right, 96, dpi) + 1;
  const int height = std::max(FHeight, ::MulDiv(measure.bottom, 96, dpi));
  const int left = Alignment == TAlignment::Right ? FLeft + FWidth - width : FLeft;
  return {Scale(left), Scale(FTop), Scale(left) + Scale(width), Scale(FTop) + Scale(height)};
}

void TLabel::FontChanged() {
  FFitted.reset();
  ApplyBounds();
  TPaintedControl::FontChanged();
}

void TLabel::TextChanged() {
  FFitted.reset();
  ApplyBounds();
  NotifyReaders(EVENT_OBJECT_NAMECHANGE);  // a reader announces the new step text
}

void TLabel::DpiChanged() {
  FFitted.reset();
  TPaintedControl::DpiChanged();
}

bool TLabel::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_STATICTEXT;
  info.Name = FText;
  info.State = STATE_SYSTEM_READONLY;
  return true;
}

void TLabel::Paint(HDC dc, const RECT& rc) {
  PaintBackground(dc, rc);
  UINT flags = DT_NOPREFIX | (WordWrap ? DT_WORDBREAK : DT_SINGLELINE) |
               (Alignment == TAlignment::Right ? DT_RIGHT : Alignment == TAlignment::Center ? DT_CENTER : DT_LEFT);
  HFONT font = PaintFont(dc, rc, flags);
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, Themed(FontColor, COLOR_BTNTEXT));
  RECT textRect = rc;
  if (CenterVertically) {
    RECT measure = rc;
    ::DrawTextW(dc, FText.c_str(), -1, &measure, flags | DT_CALCRECT);
    int offset = ((rc.bottom - rc.top) - (measure.bottom - measure.top)) / 2;
    if (offset > 0) textRect.top += offset;
  }
  ::DrawTextW(dc, FText.c_str(), -1, &textRect, flags);
  if (old) ::SelectObject(dc, old);
}

HFONT TLabel::PaintFont(HDC dc, const RECT& box, UINT flags) {
  HFONT font = Font();
  if (!ShrinkToFit || !WordWrap || !font) return font;
  // Fitted once per text, font and size, not on every paint.
  if (!FFitted) FFitted = FittingFont(dc, font, FText, box, flags);
  return *FFitted ? static_cast<HFONT>(FFitted->Get()) : font;
}

TGdiObject TLabel::FittingFont(HDC dc, HFONT font, const std::wstring& text, RECT box, UINT flags) const {
  constexpr LONG kSmallest = 8;
  LOGFONTW lf{};
  ::GetObjectW(font, sizeof(lf), &lf);
  const LONG own = std::abs(lf.lfHeight), sign = lf.lfHeight < 0 ? -1 : 1;
  auto heightWith = [&](HFONT candidate) {
    TSelectObject select(dc, candidate);
    RECT measure = box;
    ::DrawTextW(dc, text.c_str(), -1, &measure, flags | DT_CALCRECT);
    return measure.bottom - measure.top;
  };
  const LONG needed = heightWith(font), room = box.bottom - box.top;
  if (needed <= room || own <= kSmallest) return {};
  auto fitsAt = [&](LONG size, TGdiObject& candidate) {
    lf.lfHeight = sign * size;
    candidate.Reset(::CreateFontIndirectW(&lf));
    return heightWith(static_cast<HFONT>(candidate.Get())) <= room;
  };
  // The text's height goes about with the square of the font's: start near the size that fits, then step
  // to the largest that does (each size tried is a font made and measured).
  LONG size = std::clamp<LONG>(std::lround(own * std::sqrt(double(room) / needed)), kSmallest, own - 1);
  TGdiObject best, candidate;
  if (fitsAt(size, best)) {
    while (size + 1 < own && fitsAt(size + 1, candidate)) {
      ++size;
      best = std::move(candidate);
    }
    return best;
  }
  while (size > kSmallest)
    if (fitsAt(--size, candidate)) return candidate;
  return candidate;  // the smallest size, where even that does not fit
}

// ---- TEdit ----

TEdit::TEdit(TWinControl* parent, std::wstring name) : TWinControl(parent, std::move(name)) {
  DeclareWindow(WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER);
}

void TEdit::WindowCreated() {
  if (HFONT font = Font()) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void TEdit::FontChanged() {
  if (FHandle) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
  TWinControl::FontChanged();
}

bool TEdit::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_TEXT;
  // Named by the label that names it, as a reader expects of a form field.
  if (FParent)
    for (TWinControl* control : FParent->Controls())
      if (auto* label = dynamic_cast<TLabel*>(control); label && label->FocusControl == this) info.Name = label->Text();
  info.Value = Text();
  info.State = STATE_SYSTEM_FOCUSABLE | (FEnabled ? 0 : STATE_SYSTEM_UNAVAILABLE);
  return true;
}

LRESULT TEdit::HandleParentNotify(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
  if (msg != WM_CTLCOLOREDIT) return 0;
  handled = true;
  HDC dc = reinterpret_cast<HDC>(wParam);
  const COLORREF background = Themed(Color, COLOR_WINDOW);
  ::SetTextColor(dc, Themed(RGB(0, 0, 0), COLOR_WINDOWTEXT));
  ::SetBkColor(dc, background);
  if (!FBrush || FBrushColor != background) {
    FBrush.Reset(::CreateSolidBrush(background));
    FBrushColor = background;
  }
  return reinterpret_cast<LRESULT>(FBrush.Get());
}

LRESULT TEdit::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CHAR:
      // A single-line edit has nothing to do with Enter; the key-press handler decides, and no beep.
      if (wParam == L'\r') {
        wchar_t key = L'\r';
        if (OnKeyPress) OnKeyPress(this, key);
        return 0;
      }
      break;
    case WM_NCPAINT: {
      HDC dc = ::GetWindowDC(FHandle);
      RECT rc;
      ::GetWindowRect(FHandle, &rc);
      ::OffsetRect(&rc, -rc.left, -rc.top);
      PaintBorder(dc, rc, ::GetFocus() == FHandle);
      ::ReleaseDC(FHandle, dc);
      return 0;
    }
    case WM_PAINT: {
      LRESULT result = TWinControl::WndProc(msg, wParam, lParam);
      // An edit takes WS_BORDER off its window and draws that border inside its client area itself;
      // the frame with the focus goes over it, or the focus would show only by the blinking caret.
      if (!(::GetWindowLongPtrW(FHandle, GWL_STYLE) & WS_BORDER)) {
        TWindowDC dc(FHandle);
        RECT rc;
        ::GetClientRect(FHandle, &rc);
        PaintBorder(dc.Get(), rc, ::GetFocus() == FHandle);
      }
      return result;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT result = TWinControl::WndProc(msg, wParam, lParam);
      ::RedrawWindow(FHandle, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
      return result;
    }
  }
  return TWinControl::WndProc(msg, wParam, lParam);
}

void TEdit::PaintBorder(HDC dc, const RECT& rc, bool) {
  ::FrameRect(dc, &rc, ::GetSysColorBrush(HighContrast() ? COLOR_WINDOWFRAME : COLOR_WINDOWTEXT));
}

// ---- TButton ----

TButton::TButton(TWinControl* parent, std::wstring name, bool tabStop) : TWinControl(parent, std::move(name)) {
  DeclareWindow(WC_BUTTONW, BS_OWNERDRAW | (tabStop ? WS_TABSTOP : 0));
}

void TButton::DrawButton(HDC dc, const RECT& rc, const TState& state) {
  RECT face = rc;
  ::DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (state.Pressed ? DFCS_PUSHED : 0));
  HFONT font = Font();
  TSelectObject select(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(state.Enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  std::wstring caption = Text();
  ::DrawTextW(dc, caption.c_str(), -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (state.Focused) {
    RECT focus = rc;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(dc, &focus);
  }
}

void TButton::Click() {
  if (OnClick) OnClick(this);
}

void TButton::PressByKeyboard() {
  SetFocus();
  ::SendMessageW(FHandle, WM_KEYDOWN, VK_SPACE, 0x00390001);
  ::SendMessageW(FHandle, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001));
}

bool TButton::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_PUSHBUTTON;
  info.Name = Text();
  info.State = STATE_SYSTEM_FOCUSABLE | (IsDefault() ? STATE_SYSTEM_DEFAULT : 0) | (FEnabled ? 0 : STATE_SYSTEM_UNAVAILABLE);
  info.DefaultAction = L"Press";
  return true;
}

// Posted, as the system's own button object does: the reader's call returns before the click runs.
void TButton::DoDefaultAction() { ::PostMessageW(FHandle, BM_CLICK, 0, 0); }

LRESULT TButton::HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (msg == WM_COMMAND && (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == BN_DOUBLECLICKED)) {
    handled = true;
    Click();
  } else if (msg == WM_DRAWITEM) {
    handled = true;
    auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    // The keyboard focus is always drawn, whatever the system's keyboard-cue setting says.
    TState state{(item->itemState & ODS_SELECTED) != 0, (item->itemState & ODS_FOCUS) != 0, FHot,
                 (item->itemState & ODS_DISABLED) == 0};
    DrawButton(item->hDC, item->rcItem, state);
    return TRUE;
  }
  return 0;
}

LRESULT TButton::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CHAR) {
    // A button presses on Space by itself; a key-press handler that turns another key into a
    // space (Enter on the download button) presses it here, and so does Enter on a focused button, as
    // in a dialog (the transfer watching a Cancel button sees the key too).
    wchar_t key = static_cast<wchar_t>(wParam);
    if (OnKeyPress) OnKeyPress(this, key);
    if ((key == L' ' && wParam != L' ') || key == L'\r') Click();
    return 0;
  }
  if (msg == WM_MOUSEMOVE && !FHot) {
    FHot = true;
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, FHandle, 0};
    ::TrackMouseEvent(&track);
    Invalidate();
  } else if (msg == WM_MOUSELEAVE) {
    FHot = false;
    Invalidate();
  }
  return TWinControl::WndProc(msg, wParam, lParam);
}

// ---- TImage ----

TImage::TImage(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name), false) {}

void TImage::SetBitmap(TGdiObject bitmap) {
  FBitmap = std::move(bitmap);
  FScaled.Reset();
  Invalidate();
}

void TImage::DpiChanged() {
  FScaled.Reset();  // made again from the decoded picture, never from the last scaled copy
  TPaintedControl::DpiChanged();
}

bool TImage::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_GRAPHIC;
  info.State = STATE_SYSTEM_READONLY;
  return true;
}

void TImage::Paint(HDC dc, const RECT& rc) {
  PaintBackground(dc, rc);
  BITMAP bm{};
  if (FBitmap && ::GetObjectW(FBitmap.Get(), sizeof(bm), &bm)) {
    int w = Scale(bm.bmWidth), h = Scale(bm.bmHeight);
    // Above 96 DPI the picture is resampled smoothly once, then drawn 1:1.
    if ((w != bm.bmWidth || h != bm.bmHeight) && !FScaled)
      FScaled = ScaleBitmap(static_cast<HBITMAP>(FBitmap.Get()), w, h);
    HGDIOBJ picture = FScaled ? FScaled.Get() : FBitmap.Get();
    BITMAP drawn{};
    ::GetObjectW(picture, sizeof(drawn), &drawn);
    int x = (rc.right - w) / 2, y = (rc.bottom - h) / 2;
    TMemoryDC mem(::CreateCompatibleDC(dc));
    TSelectObject select(mem.Get(), picture);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, x, y, w, h, mem.Get(), 0, 0, drawn.bmWidth, drawn.bmHeight, blend);
  }
}

// ---- TGauge ----

TGauge::TGauge(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) { SetText(L"0%"); }

void TGauge::SetMax(int max) {
  if (FMax == max) return;
  FMax = max;
  SetText(std::to_wstring(Percent()) + L"%");
}

void TGauge::SetPosition(int position) {
  if (FPosition == position) return;
  FPosition = position;
  SetText(std::to_wstring(Percent()) + L"%");
}

int TGauge::Percent() const {
  if (FMax <= 0 || FPosition <= 0) return 0;
  long long percent = static_cast<long long>(FPosition) * 100 / FMax;
  return static_cast<int>(std::min<long long>(percent, 100));
}

void TGauge::TextChanged() { NotifyReaders(EVENT_OBJECT_VALUECHANGE); }

bool TGauge::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_PROGRESSBAR;
  info.Value = FText;
  info.State = STATE_SYSTEM_READONLY;
  return true;
}

void TGauge::Paint(HDC dc, const RECT& rc) {
  ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
  RECT filled = rc;
  filled.right = rc.left + (rc.right - rc.left) * Percent() / 100;
  ::FillRect(dc, &filled, ::GetSysColorBrush(COLOR_HIGHLIGHT));
  HFONT font = Font();
  TSelectObject select(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  RECT textRect = rc;
  ::DrawTextW(dc, FText.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// ---- TMarqueeBar ----

TMarqueeBar::TMarqueeBar(TWinControl* parent, std::wstring name) : TWinControl(parent, std::move(name)) {
  DeclareWindow(PROGRESS_CLASSW, PBS_MARQUEE);
}

void TMarqueeBar::WindowCreated() { ::SendMessageW(FHandle, PBM_SETMARQUEE, TRUE, 30); }

// ---- TTimer ----

TTimer::TTimer(std::wstring name, UINT interval) : FName(std::move(name)), FInterval(interval) {}

TTimer::~TTimer() {
  FEnabled = false;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  FEnabled = enabled;
  Update();
}

void TTimer::SetInterval(UINT interval) {
  FInterval = interval;
  Update();
}

void TTimer::Update() {
  HWND owner = Application ? Application->UtilityWindow() : nullptr;
  if (FId) {
    ::KillTimer(owner, FId);
    FId = 0;
  }
  // The timer's id is the object itself, so the callback needs no lookup table.
  if (FEnabled && FInterval > 0 && owner)
    FId = ::SetTimer(owner, reinterpret_cast<UINT_PTR>(this), FInterval, &TTimer::TimerProc);
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept {
  auto* timer = reinterpret_cast<TTimer*>(id);
  if (timer->FEnabled && timer->OnTimer) GuardedCall([timer] { timer->OnTimer(nullptr); });
}

// ---- TForm ----

TForm::TForm(std::wstring name, std::wstring caption) : TContainer(nullptr, std::move(name), false) {
  RegisterClassOnce(kFormClass, 0);
  FVisible = false;
  FText = std::move(caption);
  DeclareWindow(kFormClass, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                WS_EX_CONTROLPARENT | WS_EX_APPWINDOW, true);
  MakeWindow();  // the form's own window at once; its controls' when it is shown
  FDpi = WindowDpi(FHandle);
  FHighContrast = SystemHighContrast();
}

TForm::~TForm() = default;

const wchar_t* TForm::WindowClassName() { return kFormClass; }

void TForm::SetClientSize(int width, int height) {
  FClientWidth = width;
  FClientHeight = height;
  // Until the form's windows are made (it shows), its window takes the size with its place, in one move.
  if (FTreeMade) FitWindowToClient(nullptr);
  Realign();
}

SIZE TForm::WindowSize() const {
  RECT rc{0, 0, Scale(FClientWidth), Scale(FClientHeight)};
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE));
  using TAdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  if (auto adjustForDpi = User32Function<TAdjustForDpi>("AdjustWindowRectExForDpi")) adjustForDpi(&rc, style, FALSE, exStyle, FDpi);
  else ::AdjustWindowRectEx(&rc, style, FALSE, exStyle);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

void TForm::FitWindowToClient(const POINT* place) {
  const int clientWidth = Scale(FClientWidth), clientHeight = Scale(FClientHeight);
  const SIZE size = WindowSize();
  FWidth = size.cx;
  FHeight = size.cy;
  const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
  ::SetWindowPos(FHandle, nullptr, place ? place->x : 0, place ? place->y : 0, FWidth, FHeight,
                 place ? flags & ~SWP_NOMOVE : flags);
  // The frame drawn can differ from the one computed (a DPI the system draws no frame for): what counts
  // is the client area, so the difference is made up.
  RECT client;
  ::GetClientRect(FHandle, &client);
  if (client.right != clientWidth || client.bottom != clientHeight) {
    FWidth += clientWidth - client.right;
    FHeight += clientHeight - client.bottom;
    ::SetWindowPos(FHandle, nullptr, 0, 0, FWidth, FHeight, flags);
  }
}

void TForm::Realign() {
  for (TWinControl* control : Controls()) {
    if (control->Align == TAlign::Top) control->SetBounds(0, 0, FClientWidth, control->Height());
    if (control->Align == TAlign::Bottom)
      control->SetBounds(0, FClientHeight - control->Height(), FClientWidth, control->Height());
  }
}

void TForm::Show() {
  CreateWindowTree();
  if (!FShown) {
    // Centred on the screen that holds the work area; the size comes with the place.
    RECT work;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const SIZE size = WindowSize();
    const POINT place{work.left + (work.right - work.left - size.cx) / 2, work.top + (work.bottom - work.top - size.cy) / 2};
    FitWindowToClient(&place);
  }
  FVisible = true;
  ::ShowWindow(FHandle, SW_SHOW);
  ::UpdateWindow(FHandle);
  if (!FShown) {
    FShown = true;
    if (OnShow) OnShow();
  }
}

TComponent* TForm::FindComponent(const std::wstring& name) const {
  for (TComponent* component : FComponents)
    if (component->ComponentName() == name) return component;
  return nullptr;
}

// At once, like the title-bar button: the close handler runs before Close returns.
void TForm::Close() { ::SendMessageW(FHandle, WM_CLOSE, 0, 0); }

TGdiObject TForm::MakeFont(int pixelHeight, bool bold) const {
  return TGdiObject(::CreateFontW(-::MulDiv(pixelHeight, static_cast<int>(FDpi), 96), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                                  FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, FontName.c_str()));
}

HFONT TForm::FormFont(int pixelHeight, bool bold) {
  for (const TFormFont& font : FFonts)
    if (font.PixelHeight == pixelHeight && font.Bold == bold) return static_cast<HFONT>(font.Handle.Get());
  FFonts.push_back({pixelHeight, bold, MakeFont(pixelHeight, bold)});
  return static_cast<HFONT>(FFonts.back().Handle.Get());
}

void TForm::ChangeDpi(UINT dpi, const RECT* suggested) {
  if (dpi == 0) return;
  FDpi = dpi;
  for (TFormFont& font : FFonts) {
    TGdiObject fresh = MakeFont(font.PixelHeight, font.Bold);
    ReplaceFont(static_cast<HFONT>(font.Handle.Get()), static_cast<HFONT>(fresh.Get()));
    font.Handle = std::move(fresh);
  }
  DpiChanged();
  // At the suggested place, in the exact size of the layout at the new DPI.
  const POINT place = suggested ? POINT{suggested->left, suggested->top} : POINT{};
  FitWindowToClient(suggested ? &place : nullptr);
  Realign();
  ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  if (OnDpiChanged) OnDpiChanged();
}

void TForm::SetHighContrast(bool on) {
  FHighContrast = on;
  ::RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

namespace {
TButton* ShownCancelButton(const TWinControl& control) {
  for (TWinControl* child : control.Controls()) {
    if (auto* button = dynamic_cast<TButton*>(child); button && button->Cancel && button->CanFocus()) return button;
    if (TButton* found = ShownCancelButton(*child)) return found;
  }
  return nullptr;
}
}  // namespace

bool TForm::PressCancelButton() {
  TButton* button = ShownCancelButton(*this);
  if (button) button->PressByKeyboard();
  return button != nullptr;
}

void TForm::RestoreFocus(TWinControl& area) {
  HWND focus = ::GetFocus();
  if (!focus || (focus != FHandle && !::IsChild(FHandle, focus))) return;
  TWinControl* focused = FromHandle(focus);
  if (focus == FHandle || !focused || !focused->TakesFocus() || !focused->CanFocus()) area.FocusLastControl();
}

LRESULT TForm::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CLOSE:
      if (OnClose) OnClose();
      else {
        ::ShowWindow(FHandle, SW_HIDE);
        if (Application) Application->Terminate();
      }
      return 0;
    case WM_ACTIVATE:
      // Without a dialog manager the focus is not restored on activation: do it here.
      if (LOWORD(wParam) != WA_INACTIVE && FLastFocus && ::IsWindowVisible(FLastFocus)) {
        ::SetFocus(FLastFocus);
        return 0;
      }
      break;
    case WM_DPICHANGED:
      ChangeDpi(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_GETMINMAXINFO:
      // The layout's size at every scale, even where it is larger than the screen.
      if (FWidth > 0) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMaxTrackSize.x = std::max<LONG>(info->ptMaxTrackSize.x, FWidth);
        info->ptMaxTrackSize.y = std::max<LONG>(info->ptMaxTrackSize.y, FHeight);
        return 0;
      }
      break;
    case WM_SETTINGCHANGE:
      if (wParam != SPI_SETHIGHCONTRAST) break;
      [[fallthrough]];
    case WM_SYSCOLORCHANGE:
      SetHighContrast(SystemHighContrast());
      break;
  }
  return TContainer::WndProc(msg, wParam, lParam);
}
