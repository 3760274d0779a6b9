#include "framework/Controls.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include <commctrl.h>
#include <algorithm>
#include <cstdlib>

namespace {
constexpr wchar_t kControlProp[] = L"TradeloomControl";
constexpr wchar_t kContainerClass[] = L"TradeloomContainer";
constexpr wchar_t kPaintedClass[] = L"TradeloomPainted";
constexpr wchar_t kFormClass[] = L"TradeloomForm";

void RegisterClassOnce(const wchar_t* name, UINT style, HBRUSH background) {
  WNDCLASSEXW wc{sizeof(wc)};
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc)) return;
  wc.style = style;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  wc.hIcon = ::LoadIconW(wc.hInstance, L"MAINICON");
  ::RegisterClassExW(&wc);
}

HWND RootOf(HWND wnd) { return ::GetAncestor(wnd, GA_ROOT); }
}  // namespace

// ---- TWinControl ----

TWinControl::TWinControl(TWinControl* parent, std::wstring name) : FParent(parent), FName(std::move(name)) {}

TWinControl::~TWinControl() {
  if (FHandle) {
    ::RemovePropW(FHandle, kControlProp);
    if (auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(::RemovePropW(FHandle, L"TradeloomName")))) ::GlobalDeleteAtom(atom);
    if (FOriginalProc) ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOriginalProc));
    ::DestroyWindow(FHandle);
  }
}

UINT TWinControl::ScreenDpi() {
  TWindowDC dc(nullptr);
  int dpi = ::GetDeviceCaps(dc.Get(), LOGPIXELSX);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int TWinControl::Scale(int value) const { return ::MulDiv(value, static_cast<int>(ScreenDpi()), 96); }

void TWinControl::CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle) {
  HWND parentWnd = FParent ? FParent->Handle() : nullptr;
  if (parentWnd) style |= WS_CHILD;
  if (FVisible) style |= WS_VISIBLE;
  FHandle = ::CreateWindowExW(exStyle, className, L"", style | WS_CLIPSIBLINGS, Scale(FLeft), Scale(FTop),
                              Scale(FWidth), Scale(FHeight), parentWnd, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!FHandle) RaiseLastOSError();
  ::SetPropW(FHandle, kControlProp, this);
  // The control's name as a global atom, so that test tools in other processes can find controls.
  if (!FName.empty()) ::SetPropW(FHandle, L"TradeloomName", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(::GlobalAddAtomW(FName.c_str()))));
  FOriginalProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::SubclassProc)));
  if (FParent) {
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(parentWnd, WM_GETFONT, 0, 0));
    if (font) SetFont(font);
  }
}

TWinControl* TWinControl::FromHandle(HWND wnd) {
  return wnd ? static_cast<TWinControl*>(::GetPropW(wnd, kControlProp)) : nullptr;
}

LRESULT CALLBACK TWinControl::SubclassProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* self = FromHandle(wnd);
  if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  LRESULT result = 0;
  GuardedCall([&] { result = self->WndProc(msg, wParam, lParam); });
  return result;
}

LRESULT TWinControl::CallOriginal(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(FOriginalProc, FHandle, msg, wParam, lParam);
}

LRESULT TWinControl::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_KEYDOWN:
      if (wParam == VK_TAB) {
        SelectNext(::GetKeyState(VK_SHIFT) >= 0);
        return 0;
      }
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

void TWinControl::SetBounds(int left, int top, int width, int height) {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
  if (FHandle)
    ::SetWindowPos(FHandle, nullptr, Scale(left), Scale(top), Scale(width), Scale(height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  Resized();
}

void TWinControl::SetVisible(bool visible) {
  FVisible = visible;
  if (FHandle) ::ShowWindow(FHandle, visible ? SW_SHOWNA : SW_HIDE);
}

bool TWinControl::Enabled() const { return FHandle && ::IsWindowEnabled(FHandle); }
void TWinControl::SetEnabled(bool enabled) { if (FHandle) ::EnableWindow(FHandle, enabled); }

bool TWinControl::CanFocus() const {
  for (const TWinControl* c = this; c; c = c->FParent)
    if (!c->FVisible || !c->Enabled()) return false;
  return true;
}

void TWinControl::SetFocus() { if (FHandle) ::SetFocus(FHandle); }
bool TWinControl::Focused() const { return FHandle && ::GetFocus() == FHandle; }

std::wstring TWinControl::Text() const {
  if (!FHandle) return {};
  int n = ::GetWindowTextLengthW(FHandle);
  std::wstring text(n + 1, L'\0');
  n = ::GetWindowTextW(FHandle, text.data(), n + 1);
  text.resize(n);
  return text;
}

void TWinControl::SetText(const std::wstring& text) {
  if (FHandle) ::SetWindowTextW(FHandle, text.c_str());
  Invalidate();
}

void TWinControl::SetFont(HFONT font) { if (FHandle) ::SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE); }
void TWinControl::Invalidate() { if (FHandle) ::InvalidateRect(FHandle, nullptr, TRUE); }

void TWinControl::SelectNext(bool forward) {
  HWND root = RootOf(FHandle);
  // From the form itself (the focus waits there while a step runs) Tab goes to its first control.
  HWND next = ::GetNextDlgTabItem(root, FHandle == root ? nullptr : FHandle, !forward);
  if (next && next != FHandle) ::SetFocus(next);
}

// ---- TContainer ----

TContainer::TContainer(TWinControl* parent, std::wstring name) : TContainer(parent, std::move(name), true) {}

TContainer::TContainer(TWinControl* parent, std::wstring name, bool createWindow) : TWinControl(parent, std::move(name)) {
  if (!createWindow) return;
  RegisterClassOnce(kContainerClass, 0, nullptr);
  if (parent) FWidth = parent->Width(), FHeight = parent->Height();
  CreateHandle(kContainerClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
}

HBRUSH TContainer::Brush() {
  if (!FBrush || FBrushColor != Color) {
    FBrush.Reset(::CreateSolidBrush(Color));
    FBrushColor = Color;
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
    case WM_SETFONT:
      ::SetPropW(FHandle, L"TradeloomFont", reinterpret_cast<HANDLE>(wParam));
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(::GetPropW(FHandle, L"TradeloomFont"));
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM: {
      HWND child = msg == WM_COMMAND ? reinterpret_cast<HWND>(lParam)
                   : msg == WM_DRAWITEM ? reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem
                                        : reinterpret_cast<HWND>(lParam);
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
  page->SetBounds(0, 0, FWidth, FHeight);
  page->SetVisible(false);
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
  for (auto& p : FPages) p->SetVisible(p.get() == page);
}

void TPageControl::Resized() {
  for (auto& page : FPages) page->SetBounds(0, 0, FWidth, FHeight);
}

// ---- TPaintedControl ----

TPaintedControl::TPaintedControl(TWinControl* parent, std::wstring name) : TWinControl(parent, std::move(name)) {
  RegisterClassOnce(kPaintedClass, CS_HREDRAW | CS_VREDRAW, nullptr);
  CreateHandle(kPaintedClass, 0);
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

TLabel::TLabel(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) {
  // The base made the window before this class could keep a font: take the parent's now.
  if (FParent) SetFont(reinterpret_cast<HFONT>(::SendMessageW(FParent->Handle(), WM_GETFONT, 0, 0)));
}

LRESULT TLabel::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_SETFONT:
      ::SetPropW(FHandle, L"TradeloomFont", reinterpret_cast<HANDLE>(wParam));
      AdjustSize();
      Invalidate();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(::GetPropW(FHandle, L"TradeloomFont"));
    case WM_SETTEXT: {
      LRESULT result = TWinControl::WndProc(msg, wParam, lParam);
      AdjustSize();
      return result;
    }
  }
  return TPaintedControl::WndProc(msg, wParam, lParam);
}

void TLabel::Paint(HDC dc, const RECT& rc) {
  PaintBackground(dc, rc);
  HFONT font = reinterpret_cast<HFONT>(::GetPropW(FHandle, L"TradeloomFont"));
  UINT flags = DT_NOPREFIX | (WordWrap ? DT_WORDBREAK : DT_SINGLELINE) |
               (Alignment == TAlignment::Right ? DT_RIGHT : Alignment == TAlignment::Center ? DT_CENTER : DT_LEFT);
  std::wstring text = Text();
  TGdiObject smaller = ShrinkToFit && WordWrap && font ? FittingFont(dc, font, text, rc, flags) : TGdiObject();
  if (smaller) font = static_cast<HFONT>(smaller.Get());
  HGDIOBJ old = font ? ::SelectObject(dc, font) : nullptr;
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, FontColor);
  RECT textRect = rc;
  if (CenterVertically) {
    RECT measure = rc;
    ::DrawTextW(dc, text.c_str(), -1, &measure, flags | DT_CALCRECT);
    int offset = ((rc.bottom - rc.top) - (measure.bottom - measure.top)) / 2;
    if (offset > 0) textRect.top += offset;
  }
  ::DrawTextW(dc, text.c_str(), -1, &textRect, flags);
  if (old) ::SelectObject(dc, old);
}

TGdiObject TLabel::FittingFont(HDC dc, HFONT font, const std::wstring& text, RECT box, UINT flags) const {
  LOGFONTW lf{};
  ::GetObjectW(font, sizeof(lf), &lf);
  for (LONG height = lf.lfHeight;; height += height < 0 ? 1 : -1) {
    if (height == lf.lfHeight) {
      TSelectObject select(dc, font);
      RECT measure = box;
      ::DrawTextW(dc, text.c_str(), -1, &measure, flags | DT_CALCRECT);
      if (measure.bottom <= box.bottom) return {};
      continue;
    }
    lf.lfHeight = height;
    TGdiObject candidate(::CreateFontIndirectW(&lf));
    TSelectObject select(dc, candidate.Get());
    RECT measure = box;
    ::DrawTextW(dc, text.c_str(), -1, &measure, flags | DT_CALCRECT);
    if (measure.bottom <= box.bottom || std::abs(height) <= 8) return candidate;
  }
}

void TLabel::AdjustSize() {
  if (!AutoSize || WordWrap || !FHandle) return;
  std::wstring text = Text();
  if (text.empty()) return;
  TWindowDC dc(FHandle);
  HFONT font = reinterpret_cast<HFONT>(::GetPropW(FHandle, L"TradeloomFont"));
  HGDIOBJ old = font ? ::SelectObject(dc.Get(), font) : nullptr;
  RECT measure{0, 0, 0, 0};
  ::DrawTextW(dc.Get(), text.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  if (old) ::SelectObject(dc.Get(), old);
  int width = ::MulDiv(measure.right, 96, static_cast<int>(ScreenDpi())) + 1;
  int height = std::max(FHeight, ::MulDiv(measure.bottom, 96, static_cast<int>(ScreenDpi())));
  if (width == FWidth && height == FHeight) return;
  int left = Alignment == TAlignment::Right ? FLeft + FWidth - width : FLeft;
  SetBounds(left, FTop, width, height);
}

// ---- TEdit ----

TEdit::TEdit(TWinControl* parent, std::wstring name) : TWinControl(parent, std::move(name)) {
  CreateHandle(WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER);
}

LRESULT TEdit::HandleParentNotify(UINT msg, WPARAM wParam, LPARAM, bool& handled) {
  if (msg != WM_CTLCOLOREDIT) return 0;
  handled = true;
  HDC dc = reinterpret_cast<HDC>(wParam);
  ::SetTextColor(dc, RGB(0, 0, 0));
  ::SetBkColor(dc, Color);
  if (!FBrush) FBrush.Reset(::CreateSolidBrush(Color));
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
  ::FrameRect(dc, &rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

// ---- TButton ----

TButton::TButton(TWinControl* parent, std::wstring name, bool tabStop) : TWinControl(parent, std::move(name)) {
  CreateHandle(WC_BUTTONW, BS_OWNERDRAW | (tabStop ? WS_TABSTOP : 0));
}

void TButton::DrawButton(HDC dc, const RECT& rc, const TState& state) {
  RECT face = rc;
  ::DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (state.Pressed ? DFCS_PUSHED : 0));
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(FHandle, WM_GETFONT, 0, 0));
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
    // space (Enter on the download button) presses it here.
    wchar_t key = static_cast<wchar_t>(wParam);
    if (OnKeyPress) OnKeyPress(this, key);
    if (key == L' ' && wParam != L' ') Click();
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

TImage::TImage(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) {}

void TImage::SetBitmap(TGdiObject bitmap) {
  FBitmap = std::move(bitmap);
  FScaled.Reset();
  Invalidate();
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

void TGauge::Paint(HDC dc, const RECT& rc) {
  ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
  RECT filled = rc;
  filled.right = rc.left + (rc.right - rc.left) * Percent() / 100;
  ::FillRect(dc, &filled, ::GetSysColorBrush(COLOR_HIGHLIGHT));
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetParent(FHandle), WM_GETFONT, 0, 0));
  TSelectObject select(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  std::wstring text = Text();
  RECT textRect = rc;
  ::DrawTextW(dc, text.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// ---- TMarqueeBar ----

TMarqueeBar::TMarqueeBar(TWinControl* parent, std::wstring name) : TWinControl(parent, std::move(name)) {
  CreateHandle(PROGRESS_CLASSW, PBS_MARQUEE);
  ::SendMessageW(FHandle, PBM_SETMARQUEE, TRUE, 30);
}

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

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  auto* timer = reinterpret_cast<TTimer*>(id);
  if (timer->FEnabled && timer->OnTimer) GuardedCall([timer] { timer->OnTimer(nullptr); });
}

// ---- TForm ----

TForm::TForm(std::wstring name, std::wstring caption) : TContainer(nullptr, std::move(name), false) {
  RegisterClassOnce(kFormClass, 0, nullptr);
  FVisible = false;
  CreateHandle(kFormClass, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
               WS_EX_CONTROLPARENT | WS_EX_APPWINDOW);
  SetText(caption);
}

TForm::~TForm() = default;

void TForm::SetClientSize(int width, int height) {
  FClientWidth = width;
  FClientHeight = height;
  RECT rc{0, 0, Scale(width), Scale(height)};
  DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_STYLE));
  DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(FHandle, GWL_EXSTYLE));
  ::AdjustWindowRectEx(&rc, style, FALSE, exStyle);
  FWidth = rc.right - rc.left;
  FHeight = rc.bottom - rc.top;
  ::SetWindowPos(FHandle, nullptr, 0, 0, FWidth, FHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Realign();
}

void TForm::Realign() {
  for (HWND child = ::GetWindow(FHandle, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    TWinControl* control = FromHandle(child);
    if (!control) continue;
    if (control->Align == TAlign::Top) control->SetBounds(0, 0, FClientWidth, control->Height());
    if (control->Align == TAlign::Bottom)
      control->SetBounds(0, FClientHeight - control->Height(), FClientWidth, control->Height());
  }
}

void TForm::Show() {
  // Centred on the screen that holds the work area.
  RECT work;
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT rc;
  ::GetWindowRect(FHandle, &rc);
  int w = rc.right - rc.left, h = rc.bottom - rc.top;
  ::SetWindowPos(FHandle, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
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
  }
  return TContainer::WndProc(msg, wParam, lParam);
}
