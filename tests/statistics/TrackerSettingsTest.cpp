// The rules of the sending thread that need no thread: the settings text and keys, when settings are
// due, the pacing of deliveries and the result codes.
#include <gtest/gtest.h>
#include "framework/Strings.h"
#include "statistics/StatMgr.h"

namespace {

TTrackerSettings Parsed(const std::wstring& text) {
  TTrackerSettings settings;
  settings.Delimiter = L'&';
  ParseSettings(settings, text);
  return settings;
}

TDateTime At(int day, int hour, int minute, int second) {
  SYSTEMTIME t{};
  t.wYear = 2024; t.wMonth = 3; t.wDay = static_cast<WORD>(day);
  t.wHour = static_cast<WORD>(hour); t.wMinute = static_cast<WORD>(minute); t.wSecond = static_cast<WORD>(second);
  return SystemTimeToDateTime(t);
}

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

TEST(SettingsText, ItemsAreSplitAtTheSeparatorAndAtBlanks) {
  TTrackerSettings settings;
  settings.Delimiter = L'&';
  settings.SetDelimitedText(L"  a=1&b=2 c=3\t&\"d=x & \"\"y\"\"\"&&e=5&");
  const std::vector<std::wstring> expected = {L"a=1", L"b=2", L"c=3", L"d=x & \"y\"", L"", L"e=5", L""};
  EXPECT_EQ(settings.Items(), expected);
  settings.SetDelimitedText(L"\"unclosed=a b");
  EXPECT_EQ(settings.Items(), std::vector<std::wstring>{L"unclosed=a b"});
  settings.SetDelimitedText(L"");
  EXPECT_TRUE(settings.Items().empty());
}

TEST(SettingsText, ItemsWithBlanksQuotesOrSeparatorsAreQuotedWhenWritten) {
  TTrackerSettings settings;
  settings.Delimiter = L'&';
  settings.SetValue(L"collect_data", L"1");
  settings.SetValue(L"prev_conn_time", L"3/9/2024 4:23:13 PM");
  settings.SetValue(L"note", L"say \"hi\"&bye");
  const std::wstring text = settings.DelimitedText();
  EXPECT_EQ(text, L"collect_data=1&\"prev_conn_time=3/9/2024 4:23:13 PM\"&\"note=say \"\"hi\"\"&bye\"");
  TTrackerSettings back;
  back.Delimiter = L'&';
  back.SetDelimitedText(text);
  EXPECT_EQ(back.Items(), settings.Items());
}

TEST(SettingsText, ValuesAreFoundIgnoringCaseAndEmptyValuesRemoveItems) {
  TTrackerSettings settings = Parsed(L"Collect_Data=1&wait_timeout=5&wait_timeout=9&x=a=b");
  EXPECT_EQ(settings.Values(L"collect_data"), L"1");
  EXPECT_EQ(settings.Values(L"WAIT_TIMEOUT"), L"5");
  EXPECT_EQ(settings.Values(L"x"), L"a=b");
  EXPECT_EQ(settings.Values(L"missing"), L"");
  settings.SetValue(L"wait_timeout", L"7");
  EXPECT_EQ(settings.Items()[1], L"wait_timeout=7");
  settings.SetValue(L"collect_data", L"");
  EXPECT_EQ(settings.Values(L"collect_data"), L"");
  EXPECT_EQ(settings.Items().size(), 3u);
}

TEST(SettingsKeys, ErrorCodeAndSendDataAreTakenOutAndNeverStored) {
  TTrackerSettings settings = Parsed(L"collect_data=1&send_data=1&error_code=35&wait_timeout=86400&extra=kept");
  EXPECT_EQ(settings.ErrorCode, 35);
  EXPECT_TRUE(settings.SendData);
  EXPECT_TRUE(SettingsCollectData(settings));
  EXPECT_EQ(settings.Values(L"send_data"), L"");
  EXPECT_EQ(settings.Values(L"error_code"), L"");
  const TDateTime now = At(9, 16, 23, 13);
  const std::wstring stored = SettingsToText(settings, now);
  TTrackerSettings reread = Parsed(stored);
  EXPECT_FALSE(reread.SendData);
  EXPECT_EQ(reread.ErrorCode, 0);
  EXPECT_EQ(reread.Values(L"extra"), L"kept");
  EXPECT_NEAR(SettingsPrevConnTime(reread, now + 1), now, 0.5 * kSecond);

  TTrackerSettings odd = Parsed(L"send_data=yes&error_code=x&collect_data=true");
  EXPECT_FALSE(odd.SendData);
  EXPECT_EQ(odd.ErrorCode, 0);
  EXPECT_FALSE(SettingsCollectData(odd));
  EXPECT_FALSE(SettingsCollectData(Parsed(L"")));
}

TEST(SettingsKeys, WaitTimeoutIsCappedAtAWeekAndNonNumbersCountAsZero) {
  EXPECT_EQ(SettingsWaitTimeout(Parsed(L"wait_timeout=86400")), 86400u);
  EXPECT_EQ(SettingsWaitTimeout(Parsed(L"wait_timeout=999999")), 604800u);
  EXPECT_EQ(SettingsWaitTimeout(Parsed(L"wait_timeout=-1")), 604800u);
  EXPECT_EQ(SettingsWaitTimeout(Parsed(L"wait_timeout=abc")), 0u);
  EXPECT_EQ(SettingsWaitTimeout(Parsed(L"wait_timeout=99999999999")), 0u);
  EXPECT_EQ(SettingsWaitTimeout(Parsed(L"")), 0u);
}

TEST(SettingsKeys, SettingsAreDueAfterTheWaitFromTheLastFetch) {
  const TDateTime now = At(9, 16, 0, 0);
  auto withPrevious = [](TDateTime previous, const wchar_t* wait) {
    TTrackerSettings settings = Parsed(std::wstring(L"wait_timeout=") + wait);
    settings.SetValue(L"prev_conn_time", FormatSettingsDateTime(previous));
    return settings;
  };
  // Fetched 10 hours ago with a day to wait: not due; fetched a day ago: due.
  EXPECT_GT(NextSettingsTime(withPrevious(now - 10 / 24.0, L"86400"), now), now);
  EXPECT_LE(NextSettingsTime(withPrevious(now - 1.0, L"86400"), now), now);
  // A time in the future counts as now, so the whole wait lies ahead.
  EXPECT_DOUBLE_EQ(NextSettingsTime(withPrevious(now + 5.0, L"3600"), now), now + 3600 * kSecond);
  // Unreadable or missing: now plus the wait; with no wait that is due at once.
  TTrackerSettings unreadable = Parsed(L"wait_timeout=60&prev_conn_time=yesterday");
  EXPECT_DOUBLE_EQ(NextSettingsTime(unreadable, now), now + 60 * kSecond);
  EXPECT_DOUBLE_EQ(NextSettingsTime(Parsed(L""), now), now);
  EXPECT_NEAR(NextSettingsTime(withPrevious(now - 30.0, L"999999"), now), now - 30.0 + 7.0, 0.5 * kSecond);
}

TEST(SettingsKeys, PreviousConnectionTimeRoundTripsInTheUsersFormat) {
  const TDateTime time = At(9, 16, 23, 13);
  TDateTime back = 0;
  ASSERT_TRUE(ParseSettingsDateTime(FormatSettingsDateTime(time), back)) << WideToUtf8(FormatSettingsDateTime(time));
  EXPECT_NEAR(back, time, 0.5 * kSecond);
  EXPECT_FALSE(ParseSettingsDateTime(L"not a date", back));
  EXPECT_FALSE(ParseSettingsDateTime(L"", back));
}

TEST(DeliveryPacing, TheFirstDeliveryWaitsMoreThanTwoSecondsAfterTheStart) {
  TDeliveryPacing pacing;
  pacing.SendData = true;
  pacing.StartTime = At(9, 16, 0, 0);
  EXPECT_FALSE(IsSendDue(pacing, false, pacing.StartTime + 2 * kSecond));
  EXPECT_TRUE(IsSendDue(pacing, false, pacing.StartTime + 2.1 * kSecond));
  EXPECT_TRUE(IsSendDue(pacing, true, pacing.StartTime));  // a finish does not wait
  pacing.SendData = false;
  EXPECT_FALSE(IsSendDue(pacing, true, pacing.StartTime + 1.0));
}

TEST(DeliveryPacing, LaterDeliveriesComeMoreThan15SecondsOrAnHourAfterAFailureApart) {
  TDeliveryPacing pacing;
  pacing.SendData = true;
  pacing.StartTime = At(9, 16, 0, 0);
  pacing.LastSendAttempt = pacing.StartTime + 3 * kSecond;
  EXPECT_FALSE(IsSendDue(pacing, false, pacing.LastSendAttempt + 15 * kSecond));
  EXPECT_TRUE(IsSendDue(pacing, false, pacing.LastSendAttempt + 15.1 * kSecond));
  pacing.LastSendFailed = true;
  EXPECT_FALSE(IsSendDue(pacing, false, pacing.LastSendAttempt + 3600 * kSecond));
  EXPECT_TRUE(IsSendDue(pacing, false, pacing.LastSendAttempt + 3601 * kSecond));
  EXPECT_FALSE(IsSendDue(pacing, true, pacing.LastSendAttempt + 20 * kSecond));  // a finish after a failure waits too
}

TEST(ResultCodes, TextsAndEffects) {
  const std::pair<int, const wchar_t*> texts[] = {
      {0, L"OK"}, {10, L"Invalid project"}, {20, L"IP is blocked"}, {30, L"Application version is blocked"},
      {31, L"Application is blocked"}, {35, L"Invalid tracker version"}, {40, L"Invalid data package"},
      {50, L"Internal server error"}, {252, L"Proxy authentication required"},
      {253, L"Proxy Name resolution failure"}, {254, L"No connection"}, {255, L"HTTP error"},
      {99, L"Unknown error"}, {-1, L"Unknown error"}};
  for (const auto& [code, text] : texts) EXPECT_EQ(ResultCodeText(code), text) << code;

  struct TRow {
    int Code;
    bool Failed, Drop, DeleteAll, Stop;
  };
  const TRow rows[] = {{0, false, true, false, false},   {10, false, true, true, true},   {20, false, false, false, true},
                       {30, false, true, false, false},  {31, false, true, false, false},  {35, false, false, false, true},
                       {40, false, true, false, false},  {50, true, false, false, false},  {252, true, false, false, false},
                       {255, true, false, false, false}, {99, false, false, false, false}, {256, false, false, false, false}};
  for (const TRow& row : rows) {
    const TResultCodeEffect effect = ResultCodeEffect(row.Code);
    EXPECT_EQ(effect.Failed, row.Failed) << row.Code;
    EXPECT_EQ(effect.DropPackage, row.Drop) << row.Code;
    EXPECT_EQ(effect.DeleteAllPackages, row.DeleteAll) << row.Code;
    EXPECT_EQ(effect.StopSending, row.Stop) << row.Code;
  }
}

TEST(ResultCodes, DeliveryRepliesAreNumbersAndFailuresHaveCodesOfTheirOwn) {
  EXPECT_EQ(DeliveryResultCode(hrOK, L"0"), 0);
  EXPECT_EQ(DeliveryResultCode(hrOK, L"20\r\n"), 20);
  EXPECT_EQ(DeliveryResultCode(hrOK, L"OK"), 50);
  EXPECT_EQ(DeliveryResultCode(hrOK, L""), 50);
  EXPECT_EQ(DeliveryResultCode(hrNoConnection, L"0"), 254);
  EXPECT_EQ(DeliveryResultCode(hrProxyAuthRequired, L""), 252);
  EXPECT_EQ(DeliveryResultCode(hrProxyNameResolutionFailure, L""), 253);
  EXPECT_EQ(DeliveryResultCode(hrHttpError, L""), 255);
}
