// The slideshow on a real window: order, wrap, the list built once, and the stop.
#include <gtest/gtest.h>
#include "wizard/uMain.h"
#include "wizard/uPromo.h"

TEST(PromoInfo, TenSlidesBuiltOnceAndBoundedLookups) {
  TPromoInfo& first = PromoInfo();
  EXPECT_EQ(&first, &PromoInfo());
  ASSERT_EQ(first.Items.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    ASSERT_NE(first.GetItem(i), nullptr);
    EXPECT_EQ(first.GetItem(i)->Number, i + 1);
    EXPECT_NE(first.GetItem(i)->Text.find(L"Tradeloom"), std::wstring::npos) << i;
    BITMAP bm{};
    ASSERT_TRUE(::GetObjectW(first.GetItem(i)->Image.Get(), sizeof(bm), &bm));
    EXPECT_GE(bm.bmWidth, 94);
    EXPECT_LE(bm.bmWidth, 123);
    EXPECT_GE(bm.bmHeight, 93);
    EXPECT_LE(bm.bmHeight, 115);
  }
  EXPECT_EQ(first.GetItem(-1), nullptr);
  EXPECT_EQ(first.GetItem(10), nullptr);
}

TEST(Slideshow, StartsAtOneWrapsAfterTenAndStopsOnTheWelcomePage) {
  TfmMain form;
  TPromoInfoItem* firstItem = PromoInfo().GetItem(0);
  form.StartPromo();
  EXPECT_EQ(form.PromoIndex(), 0);
  EXPECT_EQ(form.timerPromo->Interval(), 1u);
  form.timerPromoTimer();
  EXPECT_EQ(form.timerPromo->Interval(), 10000u);
  EXPECT_EQ(form.PromoIndex(), 1);
  EXPECT_EQ(form.pcTop->ActivePage(), form.tsPromo1);
  EXPECT_EQ(form.PromoLabel->Text(), firstItem->Text);
  for (int i = 0; i < 9; ++i) form.ShowNextSlide();
  EXPECT_EQ(form.PromoIndex(), 10);
  form.ShowNextSlide();
  EXPECT_EQ(form.PromoIndex(), 1);
  form.ShowNextSlide();
  form.StopPromo();
  EXPECT_FALSE(form.timerPromo->Enabled());
  EXPECT_EQ(form.pcTop->ActivePage(), form.tsMain);
  // A new start begins at slide 1 again, with the same list.
  form.StartPromo();
  form.timerPromoTimer();
  EXPECT_EQ(form.PromoIndex(), 1);
  EXPECT_EQ(PromoInfo().GetItem(0), firstItem);
}

TEST(Slideshow, AStopBeforeTheFirstTickShowsNoSlide) {
  TfmMain form;
  form.StartPromo();
  form.StopPromo();
  ::Sleep(20);
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  EXPECT_EQ(form.PromoIndex(), 0);
  EXPECT_EQ(form.pcTop->ActivePage(), form.tsMain);
}

TEST(SecondsSince, WholeSecondsNeverZeroAndRightAcrossTheWrap) {
  EXPECT_EQ(SecondsBetween(1000, 1000), 1);
  EXPECT_EQ(SecondsBetween(1000, 2999), 1);
  EXPECT_EQ(SecondsBetween(1000, 3000), 2);
  EXPECT_EQ(SecondsBetween(1000, 3999), 2);
  EXPECT_EQ(SecondsBetween(0xFFFFFC18u, 2000), 3);  // 1000 ms before the wrap to 2000 ms after it
  EXPECT_EQ(SecondsBetween(0, 125000), 125);
}
