#pragma once
// Anti-aliased shapes for the skin, computed per pixel (GDI's own shapes have jagged edges).
#include <windows.h>
#include <cstdint>
#include <vector>

// Signed distance from p to a rounded rectangle (negative inside).
double RoundedRectDistance(double px, double py, const RECT& r, double radius);

// An opaque picture of a rounded box with a border, drawn over the background colour: BGRA pixels,
// top-down rows of `size.cx`.
std::vector<uint32_t> RenderRoundedBox(SIZE size, double radius, double borderWidth, COLORREF fill, COLORREF border,
                                       COLORREF background);

// Copies BGRA pixels (top-down) to the DC at rc's top-left.
void DrawPixels(HDC dc, const RECT& rc, const std::vector<uint32_t>& pixels);
