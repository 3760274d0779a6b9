#include <gtest/gtest.h>
#include "framework/Controls.h"

TEST(Gauge, PrintsItsPercentage) {
  TForm form(L"form", L"gauge test");
  TGauge gauge(&form, L"gauge");
  EXPECT_EQ(gauge.Text(), L"0%");
  gauge.SetMax(1000);
  gauge.SetPosition(370);
  EXPECT_EQ(gauge.Text(), L"37%");
  gauge.SetPosition(1000);
  EXPECT_EQ(gauge.Text(), L"100%");
  gauge.SetMax(-1);  // a download without a known size
  gauge.SetPosition(-1);
  EXPECT_EQ(gauge.Text(), L"0%");
  gauge.SetMax(2000000000);  // no overflow on large sizes
  gauge.SetPosition(1999999999);
  EXPECT_EQ(gauge.Text(), L"99%");
}

TEST(Pictures, BadPngDataGivesNothing) {
  const unsigned char junk[] = {0x89, 'P', 'N', 'G', 1, 2, 3};
  EXPECT_FALSE(DecodePng(junk, sizeof(junk)));
  EXPECT_FALSE(DecodePng(junk, 0));
  EXPECT_FALSE(LoadPngResource(L"NO_SUCH_PICTURE"));
}

TEST(Pictures, ResamplingKeepsFlatColoursAndOrientation) {
  // Top row red, bottom row blue (premultiplied, opaque), 2 x 2.
  const uint32_t source[] = {0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu};
  auto scaled = ResamplePixels(source, 2, 2, 3, 3);
  ASSERT_EQ(scaled.size(), 9u);
  EXPECT_EQ(scaled[0], 0xFFFF0000u);  // top-left stays red
  EXPECT_EQ(scaled[8], 0xFF0000FFu);  // bottom-right stays blue
  EXPECT_EQ(scaled[4] >> 24, 0xFFu);  // opaque in between
  EXPECT_TRUE(ResamplePixels(source, 2, 2, 0, 5).empty());
}
