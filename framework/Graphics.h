#pragma once
// Pictures: PNG decoding into DIB sections and their smooth resampling for other DPIs.
#include <windows.h>
#include <cstddef>
#include <cstdint>
#include <vector>
#include "framework/Handles.h"

// Decodes a PNG image held in an RCDATA resource of the program into a 32-bit DIB section.
TGdiObject LoadPngResource(const wchar_t* name);
// Decodes PNG bytes; empty result on bad data.
TGdiObject DecodePng(const void* data, size_t size);
// Bilinear resampling of premultiplied BGRA pixels (top-down rows), for pictures at other DPIs.
std::vector<uint32_t> ResamplePixels(const uint32_t* source, int width, int height, int newWidth, int newHeight);
// A 32-bit DIB section of the bitmap at the new size, drawn smoothly.
TGdiObject ScaleBitmap(HBITMAP bitmap, int newWidth, int newHeight);
