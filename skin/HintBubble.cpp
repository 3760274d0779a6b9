#include "skin/HintBubble.h"
#include "skin/SkinPaint.h"
#include "framework/Application.h"
#include <oleacc.h>
#include <algorithm>
#include <cmath>

namespace {
constexpr wchar_t kBubbleClass[] = L"TradeloomHintBubble";

struct TVec {
  double x, y;
};
TVec operator-(TVec a, TVec b) { return {a.x - b.x, a.y - b.y}; }
TVec operator*(TVec a, double k) { return {a.x * k, a.y * k}; }
double Dot(TVec a, TVec b) { return a.x * b.x + a.y * b.y; }
double Cross(TVec a, TVec b) { return a.x * b.y - a.y * b.x; }

// Signed distance to a triangle (negative inside).
double TriangleDistance(TVec p, TVec a, TVec b, TVec c) {
  TVec e0 = b - a, e1 = c - b, e2 = a - c;
  TVec v0 = p - a, v1 = p - b, v2 = p - c;
  auto edge = [](TVec v, TVec e) { return v - e * std::clamp(Dot(v, e) / Dot(e, e), 0.0, 1.0); };
  TVec q0 = edge(v0, e0), q1 = edge(v1, e1), q2 = edge(v2, e2);
  double s = Cross(e0, e2) < 0 ? -1.0 : 1.0;
  double dist = std::min({Dot(q0, q0), Dot(q1, q1), Dot(q2, q2)});
  double side = std::min({s * Cross(v0, e0), s * Cross(v1, e1), s * Cross(v2, e2)});
  return -std::sqrt(dist) * (side > 0 ? 1.0 : -1.0);
}

double ShapeDistance(TVec p, const TBubbleLayout& l, double radius) {
  TVec tip{double(l.Tip.x), double(l.Tip.y)};
  TVec b1{double(l.BaseLeft.x), double(l.BaseLeft.y)}, b2{double(l.BaseRight.x), double(l.BaseRight.y)};
  return std::min(RoundedRectDistance(p.x, p.y, l.Body, radius), TriangleDistance(p, b1, b2, tip));
}

double Smooth(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// The system's colours for the bubble in high contrast: a tooltip's.
TBubbleStyle HighContrastStyle(TBubbleStyle style) {
  style.Fill = ::GetSysColor(COLOR_INFOBK);
  style.Border = ::GetSysColor(COLOR_INFOTEXT);
  style.Transparency = 0;
  return style;
}
}  // namespace

LRESULT CALLBACK THintBubble::BubbleProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_NCCREATE)
    ::SetWindowLongPtrW(wnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  if (msg == WM_NCHITTEST) return HTTRANSPARENT;
  if (msg == WM_GETOBJECT)
    if (auto* self = reinterpret_cast<THintBubble*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA))) {
      bool handled = false;
      LRESULT result = GuardedCall(LRESULT{0}, [&] { return self->FAccessibility.Answer(wnd, wParam, lParam, handled); });
      if (handled) return result;
    }
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

TBubbleLayout LayoutBubble(SIZE textSize, POINT spot, RECT workArea, const TBubbleStyle& style, double scale) {
  auto px = [scale](double v) { return static_cast<LONG>(std::lround(v * scale)); };
  const LONG pad = px(style.Margin + 6);  // keeps the text clear of the big corners
  const LONG arrow = px(style.ArrowLength);
  const LONG spreadBefore = px(style.ShadowBlur);
  const LONG spreadAfter = px(style.ShadowOffset + style.ShadowBlur);
  const LONG bodyW = std::max<LONG>(textSize.cx + 2 * pad, px(2 * style.Radius + 24));
  const LONG bodyH = std::max<LONG>(textSize.cy + 2 * pad, px(2 * style.Radius) / 2 + textSize.cy);

  // Screen placement: above the spot, the tail near the body's left end; below when there is no room.
  LONG bodyLeft = spot.x - px(26);
  bodyLeft = std::clamp(bodyLeft, workArea.left + spreadBefore, std::max(workArea.left + spreadBefore, workArea.right - spreadAfter - bodyW));
  bool above = spot.y - arrow - bodyH - spreadBefore >= workArea.top;
  LONG bodyTop = above ? spot.y - arrow - bodyH : spot.y + arrow;

  TBubbleLayout l;
  l.ArrowDown = above;
  l.WindowPos = {bodyLeft - spreadBefore, std::min(bodyTop, spot.y) - spreadBefore};
  auto local = [&](LONG x, LONG y) { return POINT{x - l.WindowPos.x, y - l.WindowPos.y}; };
  POINT bodyTopLeft = local(bodyLeft, bodyTop);
  l.Body = {bodyTopLeft.x, bodyTopLeft.y, bodyTopLeft.x + bodyW, bodyTopLeft.y + bodyH};
  l.Text = {l.Body.left + pad, l.Body.top + pad, l.Body.right - pad, l.Body.bottom - pad};
  l.Tip = local(spot.x, spot.y);
  // The tail leaves the body a little inside its edge, so the two shapes join without a seam.
  LONG baseY = above ? l.Body.bottom - px(6) : l.Body.top + px(6);
  LONG baseX = std::clamp<LONG>(l.Tip.x + px(4), l.Body.left + px(style.Radius * 0.6), l.Body.right - px(style.Radius * 0.6 + 18));
  l.BaseLeft = {baseX, baseY};
  l.BaseRight = {baseX + px(18), baseY};
  LONG bottom = std::max(l.Body.bottom, l.Tip.y);
  l.Window = {l.Body.right + spreadAfter, bottom + spreadAfter};
  return l;
}

std::vector<uint32_t> RenderBubble(const TBubbleLayout& l, const TBubbleStyle& style, double scale) {
  const int w = l.Window.cx, h = l.Window.cy;
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  const double radius = style.Radius * scale;
  const double borderWidth = std::max(1.0, scale);
  const double blur = std::max(1.0, style.ShadowBlur * scale);
  const double offset = style.ShadowOffset * scale;
  const double opacity = (100 - style.Transparency) / 100.0;
  const double shadowOpacity = (100 - style.ShadowTransparency) / 100.0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TVec p{x + 0.5, y + 0.5};
      double d = ShapeDistance(p, l, radius);
      double shadow = shadowOpacity * Smooth((blur - ShapeDistance(p - TVec{offset, offset}, l, radius)) / (2 * blur));
      double cover = std::clamp(0.5 - d, 0.0, 1.0);
      double border = std::clamp(d + borderWidth + 0.5, 0.0, 1.0);
      double a = cover * opacity;
      auto channel = [&](int fillC, int borderC) { return (fillC * (1 - border) + borderC * border) * a; };
      double r = channel(GetRValue(style.Fill), GetRValue(style.Border));
      double g = channel(GetGValue(style.Fill), GetGValue(style.Border));
      double b = channel(GetBValue(style.Fill), GetBValue(style.Border));
      double alpha = a + shadow * (1 - a);  // black shadow below the bubble: no colour of its own
      auto byte = [](double v) { return static_cast<uint32_t>(std::clamp(std::lround(v), 0L, 255L)); };
      pixels[static_cast<size_t>(y) * w + x] = byte(alpha * 255) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
    }
  }
  return pixels;
}

THintBubble::THintBubble(TBubbleStyle style) : FStyle(style) {
  FAccessibility.Describe = [this](TAccessibleInfo& info) {
    info.Role = ROLE_SYSTEM_ALERT;
    info.Name = FText;
    info.State = STATE_SYSTEM_READONLY;
    return true;
  };
}

THintBubble::~THintBubble() { Hide(); }

bool THintBubble::Visible() const { return FWindow && ::IsWindowVisible(FWindow.Get()); }

void THintBubble::Hide() {
  FAccessibility.Disconnect();
  FWindow.Reset();
}

void THintBubble::Show(POINT spot, const std::wstring& text, UINT dpi, bool highContrast) {
  Hide();
  FText = text;
  const TBubbleStyle style = highContrast ? HighContrastStyle(FStyle) : FStyle;
  const COLORREF ink = highContrast ? ::GetSysColor(COLOR_INFOTEXT) : RGB(0, 0, 0);
  const double scale = dpi / 96.0;
  TMemoryDC dc(::CreateCompatibleDC(nullptr));
  TGdiObject font(::CreateFontW(-std::lround(style.FontHeight * scale), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
  TSelectObject selectFont(dc.Get(), font.Get());
  const UINT textFlags = DT_WORDBREAK | DT_NOPREFIX | DT_LEFT;
  RECT measure{0, 0, std::lround((style.MaxWidth - 2 * (style.Margin + 6)) * scale), 0};
  ::DrawTextW(dc.Get(), text.c_str(), -1, &measure, textFlags | DT_CALCRECT);

  HMONITOR monitor = ::MonitorFromPoint(spot, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{sizeof(info)};
  ::GetMonitorInfoW(monitor, &info);
  TBubbleLayout layout = LayoutBubble({measure.right, measure.bottom}, spot, info.rcWork, style, scale);
  std::vector<uint32_t> shape = RenderBubble(layout, style, scale);

  // The pixels go into a DIB section; the text is drawn black on white beside it and laid over the
  // bubble by its coverage, since GDI text does not write alpha.
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), layout.Window.cx, -layout.Window.cy, 1, 32, BI_RGB};
  void* bits = nullptr;
  TGdiObject bitmap(::CreateDIBSection(dc.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) return;
  auto* pixels = static_cast<uint32_t*>(bits);
  std::fill(pixels, pixels + shape.size(), 0x00FFFFFFu);
  {
    TSelectObject selectBitmap(dc.Get(), bitmap.Get());
    ::SetBkMode(dc.Get(), TRANSPARENT);
    ::SetTextColor(dc.Get(), RGB(0, 0, 0));
    RECT textRect = layout.Text;
    ::DrawTextW(dc.Get(), text.c_str(), -1, &textRect, textFlags);
    ::GdiFlush();
  }
  for (size_t i = 0; i < shape.size(); ++i) {
    uint32_t coverage = 255 - ((pixels[i] >> 8) & 0xFF);
    uint32_t px = shape[i];
    uint32_t a = px >> 24;
    auto inked = [&](int shift, uint32_t ink) {
      return ((((px >> shift) & 0xFF) * (255 - coverage) + ink * coverage * a / 255) / 255) << shift;
    };
    pixels[i] = (a << 24) | inked(16, GetRValue(ink)) | inked(8, GetGValue(ink)) | inked(0, GetBValue(ink));
  }

  WNDCLASSEXW wc{sizeof(wc)};
  if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), kBubbleClass, &wc)) {
    wc.lpfnWndProc = BubbleProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kBubbleClass;
    ::RegisterClassExW(&wc);
  }
  FWindow.Reset(::CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST | WS_EX_TRANSPARENT,
                                  kBubbleClass, text.c_str(), WS_POPUP, layout.WindowPos.x, layout.WindowPos.y,
                                  layout.Window.cx, layout.Window.cy, nullptr, nullptr, ::GetModuleHandleW(nullptr), this));
  if (!FWindow) return;
  TSelectObject selectBitmap(dc.Get(), bitmap.Get());
  POINT source{0, 0};
  SIZE size = layout.Window;
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::UpdateLayeredWindow(FWindow.Get(), nullptr, &layout.WindowPos, &size, dc.Get(), &source, 0, &blend, ULW_ALPHA);
  ::ShowWindow(FWindow.Get(), SW_SHOWNOACTIVATE);
  TAccessibility::Notify(FWindow.Get(), EVENT_SYSTEM_ALERT);
}
