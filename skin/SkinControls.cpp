#include "skin/SkinControls.h"
#include "skin/SkinPaint.h"
#include <oleacc.h>
#include <algorithm>

using namespace skin;

skin::TColors skin::Colors(bool highContrast) {
  if (!highContrast)
    return {kWindow, kInk, kFocus, kFaceHot, kFace, kFaceHot, kFacePressed, kPrimary, kPrimaryHot, kPrimaryPressed,
            kDisabledFace, RGB(40, 80, 96), kEdit, RGB(0, 0, 0), kBar, RGB(0, 0, 0)};
  auto sys = [](int index) { return ::GetSysColor(index); };
  const COLORREF face = sys(COLOR_BTNFACE), ink = sys(COLOR_BTNTEXT), highlight = sys(COLOR_HIGHLIGHT);
  return {face, ink, highlight, highlight, face, face, face, face, face, face,
          face, sys(COLOR_GRAYTEXT), sys(COLOR_WINDOW), sys(COLOR_WINDOWTEXT), highlight, sys(COLOR_HIGHLIGHTTEXT)};
}

namespace {
COLORREF FaceOf(const TColors& c, bool primary, const TButton::TState& s) {
  if (!s.Enabled) return c.DisabledFace;
  if (primary) return s.Pressed ? c.PrimaryPressed : s.Hot ? c.PrimaryHot : c.Primary;
  return s.Pressed ? c.FacePressed : s.Hot ? c.FaceHot : c.Face;
}

HGDIOBJ FontOrDefault(HFONT font) { return font ? font : ::GetStockObject(DEFAULT_GUI_FONT); }

// The track of the gauge and the marquee: a light rounded box with its bar, in one buffer.
std::vector<uint32_t> RenderTrack(SIZE size, double scale, LONG inset, LONG barLeft, LONG barRight, const TColors& c) {
  std::vector<uint32_t> pixels = RenderRoundedBox(size, 4 * scale, scale, c.Track, c.TrackInk, c.Window);
  if (barRight - barLeft >= 2) {
    std::vector<uint32_t> bar = RenderRoundedBox({barRight - barLeft, size.cy - 2 * inset}, 2 * scale, 0, c.Bar, c.Bar, c.Track);
    for (LONG y = 0; y < size.cy - 2 * inset; ++y)
      std::copy_n(bar.begin() + size_t(y) * (barRight - barLeft), barRight - barLeft,
                  pixels.begin() + size_t(y + inset) * size.cx + barLeft);
  }
  return pixels;
}
}  // namespace

void TSkinButton::DrawButton(HDC dc, const RECT& rc, const TState& state) {
  const TColors c = Colors(HighContrast());
  const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
  const double scale = Scale(100) / 100.0;
  // The focus shows as a thicker border in the focus colour (another one on the amber button).
  const COLORREF border = state.Focused ? (Primary ? c.FocusOnPrimary : c.Focus) : c.Ink;
  const double borderWidth = (state.Focused ? 2.0 : 1.0) * scale;
  DrawPixels(dc, rc, RenderRoundedBox(size, 5 * scale, borderWidth, FaceOf(c, Primary, state), border, c.Window));
  TSelectObject select(dc, FontOrDefault(Font()));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, state.Enabled ? c.Ink : c.DisabledInk);
  RECT text = rc;
  if (state.Pressed) ::OffsetRect(&text, 0, 1);
  std::wstring caption = Text();
  ::DrawTextW(dc, caption.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void TSkinEdit::PaintBorder(HDC dc, const RECT& rc, bool focused) {
  const TColors c = Colors(HighContrast());
  TGdiObject brush(::CreateSolidBrush(focused ? c.Focus : c.Ink));
  ::FrameRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
  if (!focused) return;
  RECT inner = rc;  // the focus twice as thick, as on the buttons
  ::InflateRect(&inner, -1, -1);
  ::FrameRect(dc, &inner, static_cast<HBRUSH>(brush.Get()));
}

void TSkinGauge::Paint(HDC dc, const RECT& rc) {
  const TColors c = Colors(HighContrast());
  const SIZE size{rc.right - rc.left, rc.bottom - rc.top};
  const LONG inset = Scale(3);
  const LONG barRight = inset + (size.cx - 2 * inset) * Percent() / 100;
  DrawPixels(dc, rc, RenderTrack(size, Scale(100) / 100.0, inset, inset, barRight >= 3 * inset ? barRight : inset, c));
  TSelectObject select(dc, FontOrDefault(Font()));
  ::SetBkMode(dc, TRANSPARENT);
  std::wstring percent = Text();
  // The text in the track's ink, and in the bar's where the bar lies under it.
  RECT text = rc;
  ::SetTextColor(dc, c.TrackInk);
  ::DrawTextW(dc, percent.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (c.BarInk != c.TrackInk && barRight > inset) {
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, rc.left + inset, rc.top, rc.left + barRight, rc.bottom);
    ::SetTextColor(dc, c.BarInk);
    ::DrawTextW(dc, percent.c_str(), -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::RestoreDC(dc, saved);
  }
}

namespace {
constexpr UINT_PTR kMarqueeTimer = 1;
constexpr UINT kMarqueeStepMs = 30;
}  // namespace

TSkinMarquee::TSkinMarquee(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) {}

TSkinMarquee::~TSkinMarquee() {
  if (HandleAllocated()) ::KillTimer(Handle(), kMarqueeTimer);
}

void TSkinMarquee::WindowCreated() { ::SetTimer(Handle(), kMarqueeTimer, kMarqueeStepMs, nullptr); }

bool TSkinMarquee::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_PROGRESSBAR;  // no value: the size of the step is not known
  info.State = STATE_SYSTEM_READONLY | STATE_SYSTEM_BUSY;
  return true;
}

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
  const LONG inset = Scale(3);
  const LONG track = size.cx - 2 * inset;
  const LONG segment = track / 4;
  // The segment enters at the left and leaves at the right; only the part over the track is drawn.
  const LONG start = inset - segment + (track + segment) * FPhase / 1000;
  const LONG left = std::max(start, inset), right = std::min(start + segment, size.cx - inset);
  DrawPixels(dc, rc, RenderTrack(size, Scale(100) / 100.0, inset, left, right, Colors(HighContrast())));
}
