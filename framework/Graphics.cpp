// PNG pictures from the program's resources, decoded with libpng into 32-bit premultiplied DIB sections
// (what AlphaBlend draws).
#include "framework/Graphics.h"
#include <png.h>
#include <cstring>
#include <algorithm>
#include <cmath>

TGdiObject DecodePng(const void* data, size_t size) {
  png_image image;
  std::memset(&image, 0, sizeof(image));
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return {};
  image.format = PNG_FORMAT_BGRA;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(image.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(image.height);  // top-down, as libpng writes rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  TGdiObject bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) {
    png_image_free(&image);
    return {};
  }
  if (!png_image_finish_read(&image, nullptr, bits, 0, nullptr)) return {};
  auto* pixel = static_cast<unsigned char*>(bits);
  for (size_t i = 0, n = size_t(image.width) * image.height; i < n; ++i, pixel += 4) {
    unsigned alpha = pixel[3];
    for (int c = 0; c < 3; ++c) pixel[c] = static_cast<unsigned char>((pixel[c] * alpha + 127) / 255);
  }
  return bitmap;
}

TGdiObject LoadPngResource(const wchar_t* name) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC info = ::FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!info) return {};
  HGLOBAL data = ::LoadResource(module, info);
  const void* bytes = data ? ::LockResource(data) : nullptr;
  if (!bytes) return {};
  return DecodePng(bytes, ::SizeofResource(module, info));
}

std::vector<uint32_t> ResamplePixels(const uint32_t* source, int width, int height, int newWidth, int newHeight) {
  std::vector<uint32_t> result(static_cast<size_t>(std::max(newWidth, 0)) * std::max(newHeight, 0));
  if (width <= 0 || height <= 0 || result.empty()) return result;
  auto at = [&](int x, int y) { return source[static_cast<size_t>(y) * width + x]; };
  for (int y = 0; y < newHeight; ++y) {
    // Pixel centres map onto pixel centres, so the picture does not shift.
    double sy = std::clamp((y + 0.5) * height / newHeight - 0.5, 0.0, height - 1.0);
    int y0 = static_cast<int>(sy), y1 = std::min(y0 + 1, height - 1);
    double fy = sy - y0;
    for (int x = 0; x < newWidth; ++x) {
      double sx = std::clamp((x + 0.5) * width / newWidth - 0.5, 0.0, width - 1.0);
      int x0 = static_cast<int>(sx), x1 = std::min(x0 + 1, width - 1);
      double fx = sx - x0;
      uint32_t pixel = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        auto c = [&](uint32_t p) { return double((p >> shift) & 0xFF); };
        double top = c(at(x0, y0)) * (1 - fx) + c(at(x1, y0)) * fx;
        double bottom = c(at(x0, y1)) * (1 - fx) + c(at(x1, y1)) * fx;
        pixel |= static_cast<uint32_t>(std::lround(top * (1 - fy) + bottom * fy)) << shift;
      }
      result[static_cast<size_t>(y) * newWidth + x] = pixel;
    }
  }
  return result;
}

TGdiObject ScaleBitmap(HBITMAP bitmap, int newWidth, int newHeight) {
  BITMAP bm{};
  if (!::GetObjectW(bitmap, sizeof(bm), &bm) || bm.bmBitsPixel != 32 || bm.bmWidth <= 0 || bm.bmHeight <= 0) return {};
  // Read top-down whatever the section's own row order: Wine does not report a top-down section's
  // negative height through GetObject, so the order is not taken from there.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB};
  std::vector<uint32_t> topDown(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
  TMemoryDC dc(::CreateCompatibleDC(nullptr));
  if (::GetDIBits(dc.Get(), bitmap, 0, bm.bmHeight, topDown.data(), &info, DIB_RGB_COLORS) != bm.bmHeight) return {};
  std::vector<uint32_t> scaled = ResamplePixels(topDown.data(), bm.bmWidth, bm.bmHeight, newWidth, newHeight);
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), newWidth, -newHeight, 1, 32, BI_RGB};
  void* bits = nullptr;
  TGdiObject result(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (result) std::copy(scaled.begin(), scaled.end(), static_cast<uint32_t*>(bits));
  return result;
}
