#include <gtest/gtest.h>
#include "skin/HintBubble.h"

namespace {
uint32_t Alpha(uint32_t px) { return px >> 24; }
uint32_t At(const std::vector<uint32_t>& pixels, const TBubbleLayout& l, LONG x, LONG y) {
  return pixels[static_cast<size_t>(y) * l.Window.cx + x];
}
const RECT kScreen{0, 0, 1024, 768};
}  // namespace

TEST(HintBubble, PointsAtTheSpotFromAboveWhenThereIsRoom) {
  TBubbleStyle style;
  TBubbleLayout l = LayoutBubble({200, 28}, {400, 300}, kScreen, style, 1.0);
  EXPECT_TRUE(l.ArrowDown);
  EXPECT_EQ(l.WindowPos.x + l.Tip.x, 400);
  EXPECT_EQ(l.WindowPos.y + l.Tip.y, 300);
  EXPECT_EQ(l.Tip.y - l.Body.bottom, style.ArrowLength);
  EXPECT_LE(l.Body.right - l.Body.left, style.MaxWidth);
}

TEST(HintBubble, TurnsBelowTheSpotAtTheTopOfTheScreen) {
  TBubbleLayout l = LayoutBubble({200, 28}, {400, 20}, kScreen, TBubbleStyle{}, 1.0);
  EXPECT_FALSE(l.ArrowDown);
  EXPECT_EQ(l.WindowPos.y + l.Tip.y, 20);
  EXPECT_GT(l.Body.top, l.Tip.y);
}

TEST(HintBubble, StaysOnTheScreenAtItsRightEdge) {
  TBubbleLayout l = LayoutBubble({200, 28}, {1020, 300}, kScreen, TBubbleStyle{}, 1.0);
  EXPECT_LE(l.WindowPos.x + l.Body.right, 1024);
  EXPECT_EQ(l.WindowPos.x + l.Tip.x, 1020);
}

TEST(HintBubble, FillBorderShadowAndTransparency) {
  TBubbleStyle style;
  TBubbleLayout l = LayoutBubble({200, 28}, {400, 300}, kScreen, style, 1.0);
  auto pixels = RenderBubble(l, style, 1.0);
  ASSERT_EQ(pixels.size(), size_t(l.Window.cx) * l.Window.cy);
  // Inside: the fill colour at 90 % opacity, premultiplied, over the 30 % black shadow that shows through.
  uint32_t inside = At(pixels, l, (l.Body.left + l.Body.right) / 2, (l.Body.top + l.Body.bottom) / 2);
  EXPECT_NEAR(Alpha(inside), 255 * (0.9 + 0.3 * 0.1), 1);
  EXPECT_NEAR((inside >> 16) & 0xFF, 252 * 0.9, 1);
  EXPECT_NEAR(inside & 0xFF, 194 * 0.9, 1);
  // The arrow reaches the spot.
  EXPECT_GT(Alpha(At(pixels, l, l.Tip.x, l.Tip.y - 2)), 100u);
  // The shadow lies below and to the right, at most 30 % dark, and is missing in the opposite corner.
  uint32_t shadow = At(pixels, l, l.Body.right + 4, (l.Body.top + l.Body.bottom) / 2 + 8);
  EXPECT_GT(Alpha(shadow), 20u);
  EXPECT_LE(Alpha(shadow), 77u);
  EXPECT_EQ(shadow & 0xFFFFFF, 0u);
  EXPECT_EQ(Alpha(At(pixels, l, 0, 0)), 0u);
}

TEST(HintBubble, ScalesWithTheDpi) {
  TBubbleStyle style;
  TBubbleLayout normal = LayoutBubble({200, 28}, {400, 300}, kScreen, style, 1.0);
  TBubbleLayout large = LayoutBubble({300, 42}, {400, 300}, kScreen, style, 1.5);
  EXPECT_NEAR(large.Tip.y - large.Body.bottom, 1.5 * (normal.Tip.y - normal.Body.bottom), 1);
  EXPECT_NEAR(large.Body.right - large.Body.left, 1.5 * (normal.Body.right - normal.Body.left), 2);
}
