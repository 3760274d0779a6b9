// The tracker where its data folder fails it: a folder that cannot be created, package files that another
// process holds without sharing. The run goes on and the events in memory still reach the service.
#include <gtest/gtest.h>
#include <map>
#include "framework/Strings.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/StatPeerSupport.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

constexpr DWORD kFinishTimeoutMs = 10000;

class TNumberedEvent : public TSoftwareStatisticsEvent {
public:
  TNumberedEvent(std::wstring name, std::int32_t ordinal) : TSoftwareStatisticsEvent(std::move(name), NowLocal(), ordinal) {}
};

class TrackerFaults : public ::testing::Test {
protected:
  void SetUp() override {
    FService = std::make_unique<TStatService>();
    ASSERT_TRUE(FService->Started());
  }

  std::unique_ptr<TTestTracker> NewTracker(const std::wstring& root) {
    auto tracker = std::make_unique<TTestTracker>();
    tracker->SetAutoStart(false);
    tracker->SetProductKey(kTestProductKey);
    TStatEnvironment environment = TestEnvironment(root);
    environment.ServiceHost = FService->Host();
    tracker->SetEnvironment(environment);
    return tracker;
  }

  // Deliveries per event name and ordinal, "name#ord".
  std::map<std::string, int> DeliveredCounts() const {
    std::map<std::string, int> counts;
    for (const std::string& line : FService->DeliveredEvents()) {
      const size_t first = line.find('\t'), second = line.find('\t', first + 1);
      ++counts[line.substr(second + 1) + "#" + line.substr(first + 1, second - first - 1)];
    }
    return counts;
  }

  TTestFolder FRoot{L"tracker-faults"};
  std::unique_ptr<TStatService> FService;
};

}  // namespace

TEST_F(TrackerFaults, ADataFolderThatCannotBeCreatedKeepsTheEventsInMemoryForDelivery) {
  WriteUtf8(FRoot / L"blocker", L"a file where the folder would go");
  auto tracker = NewTracker(FRoot / L"blocker");
  tracker->Start();
  EXPECT_TRUE(tracker->Running());
  EXPECT_EQ(tracker->DataFolder(), L"");
  ASSERT_TRUE(WaitUntil([&] { return tracker->SettingsKnown(); }, 10000));
  for (int i = 0; i < 100; ++i) tracker->TrackEvent(TSSEvent(L"Step", L"i", i));
  tracker->Finish(0);  // too soon for a delivery: the next run's settings step must not drop the package
  tracker->Start();
  tracker->Finish(kFinishTimeoutMs);
  const std::map<std::string, int> counts = DeliveredCounts();
  EXPECT_EQ(counts.size(), 104u);  // each run's app-start and app-finish, the steps
  for (const auto& [event, count] : counts) EXPECT_EQ(count, 1) << event;
}

TEST_F(TrackerFaults, APackageFileHeldWithoutSharingStaysForALaterRunAndTheRunGoesOn) {
  const std::wstring folder = TrackerDataFolder(FRoot.Path());
  WriteCollectingSettings(folder);
  ::DeleteFileW(JoinPath(folder, L"settings.txt").c_str());  // the service's settings are fetched
  TTestTracker writer;
  const std::wstring stored = JoinPath(folder, L"event-19990101000000000-001.xml");
  WriteUtf8(stored, writer.EventToXml(TNumberedEvent(L"Stored", 777777)));
  {
    TFileHandle held(::CreateFileW(stored.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    auto tracker = NewTracker(FRoot.Path());
    tracker->Start();
    for (int i = 0; i < 10; ++i) tracker->TrackEvent(TSSEvent(L"Step", L"i", i));
    tracker->Finish(kFinishTimeoutMs);
  }
  std::map<std::string, int> counts = DeliveredCounts();
  EXPECT_EQ(counts.count("Stored#777777"), 0u);
  EXPECT_EQ(counts.size(), 12u);
  EXPECT_TRUE(FileExists(stored));

  auto later = NewTracker(FRoot.Path());
  later->Start();
  later->Finish(kFinishTimeoutMs);
  counts = DeliveredCounts();
  EXPECT_EQ(counts["Stored#777777"], 1);
  for (const auto& [event, count] : counts) EXPECT_EQ(count, 1) << event;
  EXPECT_FALSE(FileExists(stored));
}
