#include <gtest/gtest.h>
#include "framework/Strings.h"
#include <windows.h>
#include <climits>
#include <cstdio>

TEST(Strings, TrimRemovesEveryControlAndBlankFromBothEnds) {
  EXPECT_EQ(Trim(L"\t\r\n  a b \x01\x1f "), L"a b");
  EXPECT_EQ(Trim(L" \t "), L"");
  EXPECT_EQ(Trim(L"\x00a0x\x00a0"), L"\x00a0x\x00a0");  // only codes up to 32 count
}

TEST(Strings, LowerAsciiTouchesOnlyAToZ) {
  EXPECT_EQ(LowerAscii(L"SuCCess \x00C4\x0141"), L"success \x00C4\x0141");
  EXPECT_TRUE(SameTextAscii(L"ERROR", L"error"));
  EXPECT_FALSE(SameTextAscii(L"error ", L"error"));
}

TEST(Strings, Utf8RoundTripKeepsSurrogatePairs) {
  std::wstring text = L"A\x00E9\x20AC\xD83D\xDE00";
  std::string bytes = WideToUtf8(text);
  EXPECT_EQ(bytes, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToWide(bytes), text);
  EXPECT_EQ(Utf8ToWide(""), L"");
}

TEST(Strings, FormatTextReplacesInOrder) {
  EXPECT_EQ(FormatText(L"Cannot create file \"%s\". %s", {L"C:\\a b.exe", L"Access is denied"}),
            L"Cannot create file \"C:\\a b.exe\". Access is denied");
  EXPECT_EQ(FormatText(L"code %d, 100%%, %s", {L"5"}), L"code 5, 100%, %s");
}

// The program writes its numbers without printf; they must read as printf writes them.
TEST(Strings, IntegersReadAsPrintfWritesThem) {
  wchar_t expected[64];
  for (long long value : {0LL, 5LL, -5LL, 42LL, -42LL, 999LL, 10000LL, 2147483647LL, LLONG_MAX, LLONG_MIN}) {
    for (int digits : {1, 2, 4}) {
      std::swprintf(expected, 64, L"%.*lld", digits, value);
      EXPECT_EQ(IntToStr(value, digits), expected) << value << ", " << digits << " digits";
    }
  }
  EXPECT_EQ(IntToStr(7), L"7");
  for (unsigned long long value : {0ULL, 10ULL, 0xFFFULL, 0x1000ULL, ULLONG_MAX}) {
    std::swprintf(expected, 64, L"%03llX", value);
    EXPECT_EQ(IntToHex(value, 3), expected) << value;
  }
}

TEST(Strings, SysErrorMessageHasNoTrailingFullStopOrBreak) {
  std::wstring text = SysErrorMessage(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'.');
  EXPECT_GT(text.back(), 32);
}
