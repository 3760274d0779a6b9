#include "skin/SkinControls.h"
#include "skin/SkinPaint.h"

using namespace skin;

namespace {
COLORREF FaceOf(bool primary, const TButton::TState& s) {
  if (!s.Enabled) return kDisabledFace;
  if (primary) return s.Pressed ? kPrimaryPressed : s.Hot ? kPrimaryHot : kPrimary;
  return s.Pressed ? kFacePressed : s.Hot ? kFaceHot : kFace;
}

HFONT FontOf(HWND wnd) {
  HFONT font = reinterpret_cast<HFONT>(::SendMessageW(wnd, WM_GETFONT, 0, 0));
  return font ? font : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}
}  // namespace

void TSkinButton::DrawButton(HDC dc, const RECT& rc, const TState& state) {
  const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
  const double scale = Scale(100) / 100.0;
  // The focus shows as a thicker amber border (a white one on the amber button).
  const COLORREF border = state.Focused ? (Primary ? kFaceHot : kFocus) : kInk;
  const double borderWidth = (state.Focused ? 2.0 : 1.0) * scale;
  DrawPixels(dc, rc, RenderRoundedBox(size, 5 * scale, borderWidth, FaceOf(Primary, state), border, kWindow));
  TSelectObject select(dc, FontOf(Handle()));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, state.Enabled ? kInk : RGB(40, 80, 96));
  RECT text = rc;
  if (state.Pressed) ::OffsetRect(&text, 0, 1);
  std::wstring caption = Text();
  ::DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TSkinEdit::PaintBorder(HDC dc, const RECT& rc, bool focused) {
  TGdiObject brush(::CreateSolidBrush(focused ? kFocus : kInk));
  ::FrameRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
}

void TSkinGauge::Paint(HDC dc, const RECT& rc) {
  const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
  const double scale = Scale(100) / 100.0;
  DrawPixels(dc, rc, RenderRoundedBox(size, 4 * scale, scale, kEdit, kInk, kWindow));
  const LONG inset = Scale(3);
  RECT bar{rc.left + inset, rc.top + inset, rc.right - inset, rc.bottom - inset};
  bar.right = bar.left + (bar.right - bar.left) * Percent() / 100;
  if (bar.right - bar.left >= 2 * inset)
    DrawPixels(dc, bar, RenderRoundedBox({bar.right - bar.left, bar.bottom - bar.top}, 2 * scale, 0, kBar, kBar, kEdit));
  TSelectObject select(dc, FontOf(::GetParent(Handle())));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(0, 0, 0));
  RECT text = rc;
  std::wstring percent = Text();
  ::DrawTextW(dc, percent.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}
