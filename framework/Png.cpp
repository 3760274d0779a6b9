// PNG pictures from the program's resources, decoded with libpng into 32-bit premultiplied DIB sections
// (what AlphaBlend draws).
#include "framework/Controls.h"
#include <png.h>
#include <cstring>

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
