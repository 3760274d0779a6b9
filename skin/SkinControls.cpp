#include "skin/SkinControls.h"
#include "skin/SkinPaint.h"
#include <algorithm>

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

namespace {
constexpr UINT_PTR kMarqueeTimer = 1;
constexpr UINT kMarqueeStepMs = 30;
}  // namespace

TSkinMarquee::TSkinMarquee(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) {
  ::SetTimer(Handle(), kMarqueeTimer, kMarqueeStepMs, nullptr);
}

TSkinMarquee::~TSkinMarquee() { ::KillTimer(Handle(), kMarqueeTimer); }

LRESULT TSkinMarquee::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      if (wParam == kMarqueeTimer) {
        if (!::IsWindowVisible(Handle())) return 0;  // nothing to move while hidden
        FPhase = (FPhase + 12) % 1000;
        ::InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
      }
      break;
  }
  return TPaintedControl::WndProc(msg, wParam, lParam);
}

void TSkinMarquee::Paint(HDC dc, const RECT& rc) {
  const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
  const double scale = Scale(100) / 100.0;
  // Track and segment are drawn into one buffer, so the moving bar does not flicker.
  std::vector<uint32_t> pixels = RenderRoundedBox(size, 4 * scale, scale, kEdit, kInk, kWindow);
  const LONG inset = Scale(3);
  const LONG track = size.cx - 2 * inset;
  const LONG segment = track / 4;
  // The segment enters at the left and leaves at the right; only the part over the track is drawn.
  const LONG start = inset - segment + (track + segment) * FPhase / 1000;
  const LONG left = std::max(start, inset), right = std::min(start + segment, size.cx - inset);
  if (right - left >= 2) {
    std::vector<uint32_t> bar =
        RenderRoundedBox({right - left, size.cy - 2 * inset}, 2 * scale, 0, kBar, kBar, kEdit);
    for (LONG y = 0; y < size.cy - 2 * inset; ++y)
      std::copy_n(bar.begin() + size_t(y) * (right - left), right - left,
                  pixels.begin() + size_t(y + inset) * size.cx + left);
  }
  DrawPixels(dc, rc, pixels);
}
