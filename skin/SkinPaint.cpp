#include "skin/SkinPaint.h"
#include <algorithm>
#include <cmath>

double RoundedRectDistance(double px, double py, const RECT& r, double radius) {
  double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
  double hx = (r.right - r.left) / 2.0 - radius, hy = (r.bottom - r.top) / 2.0 - radius;
  double qx = std::abs(px - cx) - hx, qy = std::abs(py - cy) - hy;
  double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
  return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

std::vector<uint32_t> RenderRoundedBox(SIZE size, double radius, double borderWidth, COLORREF fill, COLORREF border,
                                       COLORREF background) {
  std::vector<uint32_t> pixels(static_cast<size_t>(std::max<LONG>(size.cx, 0)) * std::max<LONG>(size.cy, 0));
  const RECT box{0, 0, size.cx, size.cy};
  auto mix = [](int a, int b, double t) { return static_cast<uint32_t>(std::lround(a + (b - a) * t)); };
  for (LONG y = 0; y < size.cy; ++y) {
    for (LONG x = 0; x < size.cx; ++x) {
      double d = RoundedRectDistance(x + 0.5, y + 0.5, box, radius);
      double cover = std::clamp(0.5 - d, 0.0, 1.0);
      double edge = std::clamp(d + borderWidth + 0.5, 0.0, 1.0);
      // Border over fill, then the shape over the background by its coverage.
      auto channel = [&](int (*part)(COLORREF)) {
        double inner = part(fill) + (part(border) - part(fill)) * edge;
        return mix(part(background), static_cast<int>(std::lround(inner)), cover);
      };
      uint32_t r = channel([](COLORREF c) { return int(GetRValue(c)); });
      uint32_t g = channel([](COLORREF c) { return int(GetGValue(c)); });
      uint32_t b = channel([](COLORREF c) { return int(GetBValue(c)); });
      pixels[static_cast<size_t>(y) * size.cx + x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  }
  return pixels;
}

void DrawPixels(HDC dc, const RECT& rc, const std::vector<uint32_t>& pixels) {
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right - rc.left, -(rc.bottom - rc.top), 1, 32, BI_RGB};
  ::SetDIBitsToDevice(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, 0, 0, 0, rc.bottom - rc.top,
                      pixels.data(), &bi, DIB_RGB_COLORS);
}
