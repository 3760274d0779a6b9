#include "framework/StdCtrls.h"
#include <commctrl.h>
#include <oleacc.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>

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
  return reinterpret_cast<LRESULT>(FBrush.Of(background));
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
