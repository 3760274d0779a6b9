#pragma once
// The input hint: a comics-style speech bubble with a soft shadow, drawn with per-pixel alpha into a
// layered window that never takes the focus.
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>
#include "framework/Accessible.h"
#include "framework/Handles.h"

// The hint manager's settings of the form. Its bevel width (9) has no part here: a bevel is the skin
// engine's raised edge inside the border, and this bubble is drawn flat, with a one-pixel border and a
// soft shadow, in the system's colours in high contrast; a 9-pixel bevel would also take most of the
// text's margin inside the 23-pixel corners.
struct TBubbleStyle {
  int Radius = 23;
  int ArrowLength = 19;
  COLORREF Fill = RGB(252, 252, 194);
  COLORREF Border = RGB(128, 128, 64);
  int Transparency = 10;  // percent
  int ShadowBlur = 6;
  int ShadowOffset = 8;
  int ShadowTransparency = 70;  // percent
  int Margin = 7;
  int MaxWidth = 269;
  int FontHeight = 11;  // pixels, Tahoma, black
};

// Where the parts of a bubble go, in the window's own pixels. Pure geometry, so it is tested directly.
struct TBubbleLayout {
  SIZE Window{};      // whole layered window, shadow included
  RECT Body{};        // the rounded rectangle
  RECT Text{};        // where the text is drawn
  POINT Tip{};        // arrow tip, window coordinates (the spot pointed at)
  POINT BaseLeft{}, BaseRight{};  // where the arrow leaves the body
  POINT WindowPos{};  // window's top-left on the screen
  bool ArrowDown = true;  // bubble above the spot
};

// Lays a bubble out for a text of the given size that points at the spot (screen pixels), keeping it on
// the work area. scale is dpi / 96.
TBubbleLayout LayoutBubble(SIZE textSize, POINT spot, RECT workArea, const TBubbleStyle& style, double scale);

// Renders the bubble (shadow, fill, border; no text) into premultiplied BGRA pixels of the layout's size.
std::vector<uint32_t> RenderBubble(const TBubbleLayout& layout, const TBubbleStyle& style, double scale);

class THintBubble {
public:
  explicit THintBubble(TBubbleStyle style = {});
  ~THintBubble();
  THintBubble(const THintBubble&) = delete;
  THintBubble& operator=(const THintBubble&) = delete;

  // Shows the text pointing at the spot (screen pixels) at the DPI given, in the system's colours when
  // highContrast; replaces a bubble already shown. Screen readers announce it as an alert.
  void Show(POINT spot, const std::wstring& text, UINT dpi, bool highContrast = false);
  void Hide();
  bool Visible() const;
  HWND Handle() const { return FWindow.Get(); }
  const std::wstring& Text() const { return FText; }

private:
  static LRESULT CALLBACK BubbleProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  TBubbleStyle FStyle;
  std::wstring FText;
  TAccessibility FAccessibility;
  TWindowHandle FWindow;
};
