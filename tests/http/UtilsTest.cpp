#include <gtest/gtest.h>
#include "framework/Strings.h"
#include "http/uDownloadRetry.h"
#include "http/uWinInetUtils.h"
#include <thread>

TEST(SplitUrl, FullAddressGivesAllSixParts) {
  TUrlParts parts = SplitUrl(L"HTTPS://joe:se:cr@t@example.com:8443/store/a.php?x=1&y=/z");
  EXPECT_EQ(parts.Scheme, L"https");
  EXPECT_EQ(parts.User, L"joe");
  EXPECT_EQ(parts.Password, L"se:cr");  // the first colon ends the user; the rest is the password
  EXPECT_EQ(parts.Host, L"t@example.com");
  EXPECT_EQ(parts.Port, L"8443");
  EXPECT_EQ(parts.Path, L"/store/a.php?x=1&y=/z");
  EXPECT_EQ(PortNumber(parts.Port), 8443);
}

TEST(SplitUrl, MissingPartsStayEmpty) {
  TUrlParts hostOnly = SplitUrl(L"example.com");
  EXPECT_EQ(hostOnly.Scheme, L"");
  EXPECT_EQ(hostOnly.Host, L"example.com");
  EXPECT_EQ(hostOnly.Port, L"");
  EXPECT_EQ(hostOnly.Path, L"");
  EXPECT_EQ(hostOnly.User, L"");

  TUrlParts noPort = SplitUrl(L"http://example.com/");
  EXPECT_EQ(noPort.Host, L"example.com");
  EXPECT_EQ(noPort.Path, L"/");
  EXPECT_EQ(PortNumber(noPort.Port), 0);  // the library's default HTTP port

  // "@" or ":" after the first "/" belong to the path.
  TUrlParts inPath = SplitUrl(L"ftp://host/a:b@c");
  EXPECT_EQ(inPath.Scheme, L"ftp");
  EXPECT_EQ(inPath.Host, L"host");
  EXPECT_EQ(inPath.User, L"");
  EXPECT_EQ(inPath.Path, L"/a:b@c");
}

TEST(SplitUrl, ColonSplitAndPortNumbers) {
  EXPECT_EQ(SplitAtColon(L"a:b:c"), std::make_pair(std::wstring(L"a"), std::wstring(L"b:c")));
  EXPECT_EQ(SplitAtColon(L"abc"), std::make_pair(std::wstring(L"abc"), std::wstring()));
  EXPECT_EQ(PortNumber(L"abc"), 0);
  EXPECT_EQ(PortNumber(L"70000"), 0);
  EXPECT_EQ(PortNumber(L"443"), 443);
}

TEST(EncodeFormFields, FormRules) {
  EXPECT_EQ(EncodeFormFields({L"tlfFirstName=A B", L"tlfComments=x+y&z"}), L"tlfFirstName=A+B&tlfComments=x%2By%26z");
  EXPECT_EQ(EncodeFormFields({L"mail=a@b.c"}), L"mail=a%40b.c");
  EXPECT_EQ(EncodeFormFields({L"a=1"}), L"a=1");
  EXPECT_EQ(EncodeFormFields({}), L"");
  EXPECT_EQ(EncodeFormFields({L"k=*-._~!/"}), L"k=*-._%7E%21%2F");
  // Only the first "=" splits; the value's own "=" is escaped.
  EXPECT_EQ(EncodeFormFields({L"a=b=c"}), L"a=b%3Dc");
  EXPECT_EQ(EncodeFormFields({L"tlfComments=Mercantix mini-installer"}), L"tlfComments=Mercantix+mini-installer");
}

TEST(EncodeFormFields, NonAsciiAsUpperCaseUtf8Escapes) {
  EXPECT_EQ(EncodeFormFields({L"name=J\u00FCrgen \u00C9"}), L"name=J%C3%BCrgen+%C3%89");
  EXPECT_EQ(EncodeFormFields({L"x=\u20AC\U0001F600"}), L"x=%E2%82%AC%F0%9F%98%80");
  EXPECT_EQ(EncodeFormFields({L"a b=c\r\n"}), L"a+b=c%0D%0A");
}

TEST(TextHelpers, ConversionsAndNumbers) {
  EXPECT_EQ(StringToUtf8(L"\u00E9"), std::string("\xC3\xA9"));
  EXPECT_EQ(StringToUtf8(L""), std::string());
  EXPECT_EQ(AnsiToString(std::string("\xE9")), L"\u00E9");  // the test prefix's ANSI page is 1252
  EXPECT_EQ(AnsiToString(std::string()), L"");
  EXPECT_EQ(ParseDecimal(L" 1234 "), 1234);
  EXPECT_EQ(ParseDecimal(L"12a"), -1);
  EXPECT_EQ(ParseDecimal(L""), -1);
  EXPECT_EQ(ParseDecimal(L"99999999999999999999999"), -1);
  EXPECT_EQ(ParseDecimal(L"5000000000"), 5000000000LL);
}

TEST(WinInetErrors, MessagesAreTheSystemsTextsTrimmed) {
  std::wstring message = WinInetCodeMessage(ERROR_INTERNET_CANNOT_CONNECT);
  ASSERT_FALSE(message.empty());
  EXPECT_NE(message.back(), L'.');
  EXPECT_GT(message.back(), L' ');
  EXPECT_EQ(TrimMessageEnd(L"Text.\r\n. "), L"Text");
  // A code the system has no text for still gives a text: callers tell failure by a non-empty text.
  EXPECT_EQ(WinInetCodeMessage(12999), L"Internet error 12999");
  EXPECT_EQ(TrimMessageEnd(L"...\r\n"), L"");
}

TEST(WinInetErrors, RaiseLastWinInetErrorRaisesOnlyForACode) {
  ::SetLastError(0);
  EXPECT_NO_THROW(RaiseLastWinInetError());
  EXPECT_EQ(LastWinInetError, 0u);
  ::SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
  try {
    RaiseLastWinInetError();
    FAIL() << "no exception";
  } catch (const EWinInetException& error) {
    EXPECT_EQ(error.Message(), WinInetCodeMessage(ERROR_INTERNET_NAME_NOT_RESOLVED));
  }
  EXPECT_EQ(LastWinInetError, static_cast<DWORD>(ERROR_INTERNET_NAME_NOT_RESOLVED));
}

TEST(WinInetErrors, LastErrorOfAnotherThreadDoesNotChangeThisThreadsMessage) {
  ::SetLastError(ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_THROW(RaiseLastWinInetError(), EWinInetException);
  std::thread other([] {
    ::SetLastError(ERROR_INTERNET_TIMEOUT);
    EXPECT_THROW(RaiseLastWinInetError(), EWinInetException);
    EXPECT_EQ(LastWinInetError, static_cast<DWORD>(ERROR_INTERNET_TIMEOUT));
  });
  other.join();
  EXPECT_EQ(LastWinInetError, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(WinInetErrorMessage(), WinInetCodeMessage(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST(RequestSetup, SecureAddressesAndPorts) {
  EXPECT_TRUE(IsSecureUrl(L"https://host/"));
  EXPECT_TRUE(IsSecureUrl(L"  HTTPS://host/"));
  EXPECT_FALSE(IsSecureUrl(L"http://host/"));
  EXPECT_FALSE(IsSecureUrl(L"ftp://host/"));
  EXPECT_EQ(ConnectPort(SplitUrl(L"https://host/a"), true), 443);
  EXPECT_EQ(ConnectPort(SplitUrl(L"https://host:abc/a"), true), 443);
  EXPECT_EQ(ConnectPort(SplitUrl(L"https://host:8443/a"), true), 8443);
  EXPECT_EQ(ConnectPort(SplitUrl(L"http://host/a"), false), 0);
  EXPECT_EQ(ConnectPort(SplitUrl(L"ftp://host:21/a"), IsSecureUrl(L"ftp://host:21/a")), 21);
}

TEST(RequestSetup, SecureRequestsKeepCertificateChecks) {
  EXPECT_EQ(RequestFlags(false), 0x04400000u);
  EXPECT_EQ(RequestFlags(true), 0x04C00180u);  // no-cache and 0x80 kept, the certificate-ignoring bits gone
  EXPECT_EQ(RequestFlags(true) & (INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID), 0u);
}

TEST(DownloadRetry, WaitsDoubleTheServersRetryAfterReplacesThemAndOnlyPassingFailuresAreRetried) {
  const TRetryPolicy policy;
  for (int tryInRow = 1; tryInRow <= 4; ++tryInRow)
    EXPECT_EQ(RetryDelayMs(policy, tryInRow, -1), 1000u << (tryInRow - 1));
  EXPECT_EQ(RetryDelayMs(policy, 3, 20), 20000u);
  EXPECT_EQ(RetryDelayMs(policy, 1, 3600), 60000u);  // followed up to a minute
  for (DWORD code : {12002u, 12030u, 12031u, 12152u, 10060u, 10054u}) EXPECT_TRUE(IsTransientWinInetError(code));
  for (DWORD code : {12029u, 12007u, 12045u, 12057u, 12017u}) EXPECT_FALSE(IsTransientWinInetError(code));
  for (DWORD status : {408u, 429u, 500u, 502u, 503u, 504u}) EXPECT_TRUE(IsTransientStatus(status));
  for (DWORD status : {200u, 206u, 404u, 416u, 501u}) EXPECT_FALSE(IsTransientStatus(status));
}

TEST(DownloadRetry, RetryAfterAndContentRangeAreReadStrictly) {
  SYSTEMTIME date{2015, 10, 3, 21, 7, 26, 30, 0};  // 90 s before the date below
  FILETIME now;
  ASSERT_TRUE(::SystemTimeToFileTime(&date, &now));
  EXPECT_EQ(RetryAfterSeconds(L" 120 ", now), 120);
  EXPECT_EQ(RetryAfterSeconds(L"Wed, 21 Oct 2015 07:28:00 GMT", now), 90);
  EXPECT_EQ(RetryAfterSeconds(L"Wed, 21 Oct 2015 07:00:00 GMT", now), 0);  // passed already
  for (const wchar_t* bad : {L"", L"soon", L"-5", L"1.5", L"99999999999999999999", L"Wed, 21 Foo 2015 07:28:00 GMT"})
    EXPECT_EQ(RetryAfterSeconds(bad, now), -1) << WideToUtf8(bad);

  TContentRange range;
  ASSERT_TRUE(ParseContentRange(L"bytes 120000-299999/300000", range));
  EXPECT_TRUE(ContinuesAt(range, 120000, 300000));
  EXPECT_TRUE(ContinuesAt(range, 120000, -1));  // the first answer gave no length
  EXPECT_FALSE(ContinuesAt(range, 0, 300000));
  EXPECT_FALSE(ContinuesAt(range, 120000, 305000));
  ASSERT_TRUE(ParseContentRange(L"bytes 5-9/*", range));
  EXPECT_EQ(range.Total, -1);
  for (const wchar_t* bad : {L"", L"bytes=5-9/10", L"bytes 9-5/10", L"bytes 5-9/9", L"bytes 5-9/10 x", L"bytes */10",
                             L"bytes 99999999999999999999-1/2"}) {
    TContentRange untouched;
    EXPECT_FALSE(ParseContentRange(bad, untouched) || untouched.First != -1) << WideToUtf8(bad);
  }
}
