#include <gtest/gtest.h>
#include "framework/ComCtrls.h"
#include "framework/Forms.h"
#include "framework/Graphics.h"

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

TEST(Pictures, ScalingKeepsTheTopAtTheTopWhateverTheRowOrder) {
  for (LONG height : {-2L, 2L}) {  // a top-down and a bottom-up section
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, height, 1, 32, BI_RGB};
    void* bits = nullptr;
    TGdiObject source(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto* rows = static_cast<uint32_t*>(bits);
    rows[0] = height < 0 ? 0xFFFF0000u : 0xFF0000FFu;  // the first row in memory is the top when top-down
    rows[1] = height < 0 ? 0xFF0000FFu : 0xFFFF0000u;
    TGdiObject scaled = ScaleBitmap(static_cast<HBITMAP>(source.Get()), 1, 4);
    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectW(scaled.Get(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    auto* out = static_cast<const uint32_t*>(dib.dsBm.bmBits);  // made top-down
    EXPECT_EQ(out[0], 0xFFFF0000u) << height;  // red stays on top
    EXPECT_EQ(out[3], 0xFF0000FFu) << height;
  }
}
