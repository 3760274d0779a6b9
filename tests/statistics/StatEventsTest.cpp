#include <gtest/gtest.h>
#include <set>
#include <thread>
#include "framework/Strings.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

std::vector<std::wstring> ParamNames(const TSoftwareStatisticsEvent& event) {
  std::vector<std::wstring> names;
  for (int i = 0; i < event.ParamCount(); ++i) names.push_back(event.GetParam(i).Name());
  return names;
}

}  // namespace

TEST(StatEvents, OrdinalsAreSharedByTrackersAndThreadsWithoutGapsOrRepeats) {
  TTestTracker first, second;
  constexpr int kThreads = 4, kPerThread = 500;
  const std::int32_t before = NextEventOrdinal();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) (t % 2 ? first : second).TrackEvent(TSSEvent(L"Threaded", L"i", i));
    });
  for (auto& thread : threads) thread.join();
  const std::int32_t after = NextEventOrdinal();

  std::set<std::int32_t> ordinals;
  for (TTestTracker* tracker : {&first, &second})
    for (const std::wstring& text : tracker->QueuedTexts())
      for (const TXmlElement& event : ParsePackageEvents(text)) ordinals.insert(std::stoi(event.Attribute(L"ord")));
  EXPECT_EQ(ordinals.size(), static_cast<size_t>(kThreads * kPerThread));
  EXPECT_EQ(*ordinals.begin(), before + 1);
  EXPECT_EQ(*ordinals.rbegin(), after - 1);
}

TEST(StatEvents, FailureEventsCarryTheLargestNumberAndDrawNone) {
  const std::int32_t before = NextEventOrdinal();
  TStatEventAppFailure failure(NowLocal(), NowLocal() - 75 / kSecondsPerDay);
  EXPECT_EQ(failure.Ordinal(), 2147483647);
  EXPECT_EQ(failure.Name(), L"app-failure");
  EXPECT_EQ(failure.Value(), L"00:01:15");
  EXPECT_EQ(TSSEvent(L"Next").Ordinal(), before + 1);
}

TEST(StatEvents, FinishValueIsTheRunTime) {
  const TDateTime start = NowWholeSeconds();
  EXPECT_EQ(TStatEventAppFinish(start + 1.0, start).Value(), L"1 00:00:00");
  EXPECT_EQ(TStatEventAppFinish(start - 26 / 24.0, start).Value(), L"1 02:00:00");
  EXPECT_EQ(TStatEventAppFinish(start, start).Name(), L"app-finish");
}

TEST(StatEvents, ParameterValuesAreCutAt255Characters) {
  TSSEvent event(L"Long", L"Result", std::wstring(300, L'r'));
  ASSERT_EQ(event.ParamCount(), 1);
  EXPECT_EQ(event.GetParam(0).Value(), std::wstring(255, L'r'));
  EXPECT_EQ(event.GetParam(0).ParamType(), ptText);
  TTestTracker tracker;
  const std::vector<TXmlElement> parsed = ParsePackageEvents(tracker.EventToXml(event));
  ASSERT_EQ(parsed.size(), 1u);
  EXPECT_EQ(parsed[0].Children.at(0).Attribute(L"value").size(), 255u);
}

TEST(StatEvents, NumericParametersKeepTheirSign) {
  TSSEvent event(L"Downloading", L"CancelTime", -5);
  EXPECT_EQ(event.GetParam(0).Value(), L"-5");
  EXPECT_EQ(event.GetParam(0).ParamType(), ptNumeric);
  EXPECT_EQ(ParamTypeName(ptNumeric), L"numeric");
  EXPECT_EQ(ParamTypeName(ptLog), L"log");
}

TEST(StatEvents, StartEventDescribesTheApplicationAndTheMachineInOrder) {
  TProductVersion version;
  version.v1 = 2; version.v2 = 1; version.v3 = 0; version.v4 = 15;
  TStatEventAppStart start(version, L"", NowWholeSeconds());
  const std::vector<std::wstring> names = ParamNames(start);
  ASSERT_GE(names.size(), 22u);
  EXPECT_EQ(names[0], L"app-version");
  EXPECT_EQ(start.GetParam(0).Value(), L"2.1.0.15");
  EXPECT_EQ(names[1], L"app-package");
  const std::vector<std::wstring> head = {L"os-name", L"os-edition", L"os-version", L"os-bits", L"sp-name",
                                          L"sp-version", L"processor-architect", L"processor-count",
                                          L"processor-name", L"processor-MHz", L"memory-physical-Mb",
                                          L"memory-virtual-Mb", L"pagefile-Mb", L"total-pagefile-Mb",
                                          L"monitors-count"};
  for (size_t i = 0; i < head.size(); ++i) EXPECT_EQ(names[2 + i], head[i]) << i;
  const int monitors = std::stoi(start.GetParam(16).Value());
  ASSERT_GE(monitors, 1);
  for (int m = 0; m < monitors; ++m) {
    EXPECT_EQ(names[17 + 2 * m], L"monitor-" + IntToStr(m) + L"-width");
    EXPECT_EQ(names[18 + 2 * m], L"monitor-" + IntToStr(m) + L"-height");
  }
  const std::vector<std::wstring> tail = {L"language-for-non-unicode", L"location-ISO3", L"location",
                                          L"formats-country", L"language-UI"};
  ASSERT_EQ(names.size(), 17u + 2 * monitors + tail.size());
  for (size_t i = 0; i < tail.size(); ++i) EXPECT_EQ(names[17 + 2 * monitors + i], tail[i]);
  for (int i = 0; i < start.ParamCount(); ++i) EXPECT_EQ(start.GetParam(i).ParamType(), ptNone);

  // The empty package text is a parameter of the event but not of its XML.
  TTestTracker tracker;
  const std::vector<TXmlElement> parsed = ParsePackageEvents(tracker.EventToXml(start));
  ASSERT_EQ(parsed.size(), 1u);
  for (const TXmlElement& param : parsed[0].Children) EXPECT_NE(param.Attribute(L"name"), L"app-package");
}

TEST(StatEvents, VersionTexts) {
  TProductVersion version = TProductVersion::OfExecutable();
  EXPECT_EQ(version.ToString(), L"2.1.0.15");
  EXPECT_EQ(version.ToFolderName(), L"2_1_0_15");
  TProductVersion copy;
  copy.Assign(version);
  EXPECT_EQ(copy.ToString(), L"2.1.0.15");
}
