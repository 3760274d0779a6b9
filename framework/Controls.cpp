#include "framework/Controls.h"
#include "framework/Application.h"
#include "framework/ControlsInternal.h"
#include "framework/Exceptions.h"
#include "framework/Forms.h"
#include "framework/Strings.h"
#include <oleacc.h>
#include <algorithm>

namespace {
constexpr wchar_t kContainerClass[] = L"TradeloomContainer";
constexpr wchar_t kPaintedClass[] = L"TradeloomPainted";
constexpr wchar_t kNameProperty[] = L"TradeloomName";

// Test tools in other processes ask a control for its name with this message; the control then
// publishes it as a window property holding a global atom. Nothing of it is made unless asked.
UINT NameRequestMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"TradeloomPublishName");
  return message;
}

HWND RootOf(HWND wnd) { return ::GetAncestor(wnd, GA_ROOT); }
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
std::wstring ChildNameProperty(size_t index) { return kNameProperty + IntToStr(static_cast<long long>(index + 1)); }
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

HBRUSH TSolidBrush::Of(COLORREF color) {
  if (!FBrush || FColor != color) {
    FBrush.Reset(::CreateSolidBrush(color));
    FColor = color;
  }
  return static_cast<HBRUSH>(FBrush.Get());
}

HBRUSH TContainer::Brush() {
  return FBrush.Of(Themed(Color, COLOR_BTNFACE));
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
      const TPaintDC paint(FHandle);
      PaintWindowlessControls(paint.Get(), paint.Area());
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
      const TPaintDC paint(FHandle);
      RECT rc;
      ::GetClientRect(FHandle, &rc);
      Paint(paint.Get(), rc);
      return 0;
    }
  }
  return TWinControl::WndProc(msg, wParam, lParam);
}

void TPaintedControl::PaintBackground(HDC dc, const RECT& rc) const {
  auto* container = dynamic_cast<TContainer*>(FParent);
  ::FillRect(dc, &rc, container ? container->Brush() : ::GetSysColorBrush(COLOR_BTNFACE));
}
