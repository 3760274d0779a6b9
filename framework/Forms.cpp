#include "framework/Forms.h"
#include "framework/Application.h"
#include "framework/ControlsInternal.h"
#include "framework/StdCtrls.h"
#include "framework/SystemLibraries.h"
#include <algorithm>

namespace {
// The window's DPI where Windows knows one per window (10, version 1607 on), else the system's.
UINT WindowDpi(HWND wnd) {
  if (auto getDpiForWindow = SystemFunction<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow"))
    if (UINT dpi = getDpiForWindow(wnd)) return dpi;
  return TWinControl::ScreenDpi();
}

bool SystemHighContrast() {
  HIGHCONTRASTW contrast{sizeof(contrast)};
  return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}
}  // namespace

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
  if (auto adjustForDpi = SystemFunction<TAdjustForDpi>(L"user32.dll", "AdjustWindowRectExForDpi")) adjustForDpi(&rc, style, FALSE, exStyle, FDpi);
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
