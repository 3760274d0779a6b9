#include <gtest/gtest.h>
#include "statistics/StatUtils.h"

namespace {

SYSTEMTIME MakeTime(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms = 0) {
  SYSTEMTIME t{};
  t.wYear = y; t.wMonth = mo; t.wDay = d; t.wHour = h; t.wMinute = mi; t.wSecond = s; t.wMilliseconds = ms;
  return t;
}

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

TEST(StatTime, DateTimeCountsDaysFromTheEndOf1899) {
  EXPECT_DOUBLE_EQ(SystemTimeToDateTime(MakeTime(1899, 12, 30, 0, 0, 0)), 0.0);
  EXPECT_DOUBLE_EQ(SystemTimeToDateTime(MakeTime(1900, 1, 1, 18, 0, 0)), 2.75);
  EXPECT_DOUBLE_EQ(SystemTimeToDateTime(MakeTime(2011, 9, 9, 12, 0, 0)), 40795.5);
  // Before the epoch the time of day still counts forwards.
  EXPECT_DOUBLE_EQ(SystemTimeToDateTime(MakeTime(1899, 12, 29, 6, 0, 0)), -1.25);
}

TEST(StatTime, DateTimeRoundTripsToTheMillisecond) {
  const SYSTEMTIME times[] = {MakeTime(2011, 9, 9, 16, 23, 13, 999), MakeTime(2000, 2, 29, 23, 59, 59, 1),
                              MakeTime(2038, 1, 19, 3, 14, 8, 500), MakeTime(1899, 12, 29, 6, 0, 0, 0)};
  for (const SYSTEMTIME& t : times) {
    SYSTEMTIME back = DateTimeToSystemTime(SystemTimeToDateTime(t));
    EXPECT_EQ(back.wYear, t.wYear);
    EXPECT_EQ(back.wMonth, t.wMonth);
    EXPECT_EQ(back.wDay, t.wDay);
    EXPECT_EQ(back.wHour, t.wHour);
    EXPECT_EQ(back.wMinute, t.wMinute);
    EXPECT_EQ(back.wSecond, t.wSecond);
    EXPECT_EQ(back.wMilliseconds, t.wMilliseconds);
  }
}

TEST(StatTime, FormatStatDateTimeUsesFixedSeparators) {
  EXPECT_EQ(FormatStatDateTime(SystemTimeToDateTime(MakeTime(2011, 9, 9, 16, 23, 13))), L"2011-09-09T16:23:13");
  EXPECT_EQ(FormatStatDateTime(SystemTimeToDateTime(MakeTime(2024, 1, 2, 3, 4, 5, 400))), L"2024-01-02T03:04:05");
  // 999.6 ms rounds to the next second, as the millisecond value does.
  EXPECT_EQ(FormatStatDateTime(SystemTimeToDateTime(MakeTime(2011, 12, 31, 23, 59, 59)) + 0.9996 * kSecond),
            L"2012-01-01T00:00:00");
}

TEST(StatTime, NowWholeSecondsHasNoMilliseconds) {
  const TDateTime before = NowLocal();
  const TDateTime now = NowWholeSeconds();
  EXPECT_EQ(DateTimeToSystemTime(now).wMilliseconds, 0);
  EXPECT_LE(now, NowLocal());
  EXPECT_GT(now, before - 1.5 * kSecond);  // local time, truncated, not a different time zone
}

TEST(StatTime, FormatDuration) {
  EXPECT_EQ(FormatDuration(0), L"00:00:00");
  EXPECT_EQ(FormatDuration(75 * kSecond), L"00:01:15");
  EXPECT_EQ(FormatDuration(-75 * kSecond), L"00:01:15");
  EXPECT_EQ(FormatDuration(1.0), L"1 00:00:00");
  EXPECT_EQ(FormatDuration(26.0 / 24.0), L"1 02:00:00");
  EXPECT_EQ(FormatDuration(-26.0 / 24.0), L"1 02:00:00");
  EXPECT_EQ(FormatDuration(12.0 + 13.0 / 24 + 14.0 / 1440 + 15 * kSecond), L"12 13:14:15");
  EXPECT_EQ(FormatDuration(59.4 * kSecond), L"00:00:59");  // milliseconds are dropped
}

TEST(StatTime, FormatDurationOfSpansJustShortOfAFullDay) {
  // Differences of two date-times are rarely exact: a day computed as a difference must still read as a day.
  const TDateTime start = SystemTimeToDateTime(MakeTime(2011, 9, 9, 16, 23, 13, 7));
  const TDateTime end = SystemTimeToDateTime(MakeTime(2011, 9, 10, 16, 23, 13, 7));
  EXPECT_EQ(FormatDuration(end - start), L"1 00:00:00");
  EXPECT_EQ(FormatDuration(1.0 - 1e-11), L"1 00:00:00");
  EXPECT_EQ(FormatDuration(1.0 - 0.4 / 86400000.0), L"1 00:00:00");
  EXPECT_EQ(FormatDuration(1.0 - 1.0 / 86400.0), L"23:59:59");
}

TEST(StatText, Utf8RoundTrips) {
  const std::wstring text = L"A\x00E9\x20AC\x0141 \xD83D\xDE00\xD800\xDC00";
  const TStatBytes bytes = TextToUtf8Bytes(text);
  const TStatBytes expected = {'A', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xC5, 0x81, ' ',
                               0xF0, 0x9F, 0x98, 0x80, 0xF0, 0x90, 0x80, 0x80};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(Utf8BytesToText(bytes), text);
  EXPECT_TRUE(TextToUtf8Bytes(L"").empty());
  EXPECT_EQ(Utf8BytesToText({}), L"");
}

TEST(StatText, InvalidUtf8BecomesReplacementCharacters) {
  const std::wstring text = Utf8BytesToText({'a', 0xFF, 'b'});
  EXPECT_EQ(text, L"a\xFFFD" L"b");
}

TEST(StatPaths, JoinPath) {
  EXPECT_EQ(JoinPath(L"C:\\a\\", L"\\b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:\\a", L"b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:\\a\\", L"b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"C:\\a", L"\\b"), L"C:\\a\\b");
  EXPECT_EQ(JoinPath(L"", L"b"), L"b");
  EXPECT_EQ(JoinPath(L"C:\\a", L""), L"C:\\a");
  EXPECT_EQ(JoinPath(L"", L""), L"");
  EXPECT_EQ(JoinPath(L"C:\\a\\", L"\\\\b"), L"C:\\a\\\\b");
  EXPECT_EQ(JoinPath(L"C:\\a\\\\", L"b"), L"C:\\a\\\\b");
}

TEST(StatFlags, StrToBoolDefault) {
  EXPECT_TRUE(StrToBoolDefault(L"1", false));
  EXPECT_FALSE(StrToBoolDefault(L"0", true));
  EXPECT_TRUE(StrToBoolDefault(L"yes", true));
  EXPECT_FALSE(StrToBoolDefault(L"", false));
  EXPECT_TRUE(StrToBoolDefault(L"", true));
  EXPECT_FALSE(StrToBoolDefault(L" 1", false));
  EXPECT_TRUE(StrToBoolDefault(L"0 ", true));
  EXPECT_FALSE(StrToBoolDefault(L"true", false));
  EXPECT_FALSE(StrToBoolDefault(L"01", false));
}
