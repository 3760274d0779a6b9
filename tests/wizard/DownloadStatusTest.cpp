// The line under the download page's gauge.
#include <gtest/gtest.h>
#include "wizard/uDownloadStatus.h"

constexpr long long kMB = 1024 * 1024;

TEST(DownloadStatus, SizesAndTimes) {
  EXPECT_EQ(SizeText(0) + SizeText(1) + SizeText(850 * 1024), L"0 KB1 KB850 KB");
  EXPECT_EQ(SizeText(kMB - 1) + SizeText(13002342), L"1.0 MB12.4 MB");
  EXPECT_EQ(TimeLeftText(1) + TimeLeftText(45), L"1 second45 seconds");
  EXPECT_EQ(TimeLeftText(60) + TimeLeftText(150), L"1 minute3 minutes");
  EXPECT_EQ(TimeLeftText(3599) + TimeLeftText(7300), L"1 hour2 hours");
}

TEST(DownloadStatus, AmountAndTimeLeftFromTheSmoothedRate) {
  TDownloadStatus status;
  status.Start(5000);
  status.Report(5010, 16384, 50 * kMB, false);
  EXPECT_EQ(status.Text(), L"");  // nothing before the first second
  status.Report(6000, 2 * kMB, 50 * kMB, false);
  EXPECT_EQ(status.Text(), L"2.0 MB of 50.0 MB, about 24 seconds left");
  // A wait before a retry shows the amount only and does not count as a slow transfer.
  status.Report(7000, 4 * kMB, 50 * kMB, true);
  EXPECT_EQ(status.Text(), L"4.0 MB of 50.0 MB");
  status.Report(20000, 4 * kMB, 50 * kMB, false);
  status.Report(21000, 6 * kMB, 50 * kMB, false);
  EXPECT_EQ(status.Text(), L"6.0 MB of 50.0 MB, about 22 seconds left");
  status.Report(22000, 7 * kMB, 50 * kMB, false);  // half the pace: the estimate follows, smoothed
  EXPECT_EQ(status.Text(), L"7.0 MB of 50.0 MB, about 26 seconds left");
  status.Report(23000, 8 * kMB, -1, false);
  EXPECT_EQ(status.Text(), L"8.0 MB");  // only the amount when the length is unknown
}
