// The tracker where its data folder fails it: a folder that cannot be created, package files that another
// process holds without sharing, a folder or files that other programs of the user have made links to
// files elsewhere. The run goes on and the events in memory still reach the service; what is refused is
// neither read nor changed.
#include <gtest/gtest.h>
#include <map>
#include "framework/Strings.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/PlantLink.h"
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

  // What the folder holds, each file with its content.
  static std::map<std::wstring, std::wstring> Contents(const std::wstring& folder) {
    std::map<std::wstring, std::wstring> contents;
    for (const std::wstring& name : ListFiles(folder, L"*")) contents[name] = ReadUtf8(JoinPath(folder, name));
    return contents;
  }

  // One run that tracks a few steps and delivers them at its finish; the tracker afterwards.
  std::unique_ptr<TTestTracker> RunOnce(TStatEnvironment environment) {
    auto tracker = std::make_unique<TTestTracker>();
    tracker->SetAutoStart(false);
    tracker->SetProductKey(kTestProductKey);
    environment.ServiceHost = FService->Host();
    tracker->SetEnvironment(environment);
    tracker->Start();
    EXPECT_TRUE(tracker->Running());
    for (int i = 0; i < 3; ++i) tracker->TrackEvent(TSSEvent(L"Step", L"i", i));
    tracker->Finish(kFinishTimeoutMs);
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

TEST_F(TrackerFaults, ADataFolderBehindALinkIsRefusedLeftAloneAndTheEventsStillGoOut) {
  // Elsewhere, what a data folder holds; where the product's level of the data folder would be, a link to it.
  TTestTracker writer;
  const std::wstring elsewhere = FRoot / L"elsewhere", linkedFolder = JoinPath(elsewhere, L"2_1_0_15");
  WriteCollectingSettings(linkedFolder);
  WriteUtf8(JoinPath(linkedFolder, L"event-000101-000000-1-001.xml"), writer.EventToXml(TNumberedEvent(L"Secret", 1)));
  WriteUtf8(JoinPath(linkedFolder, L"proc-4000000000"), writer.EventToXml(TNumberedEvent(L"SecretFailure", 2)));
  const std::wstring serviceFolder = FRoot / L"Software Statistics Service";
  ASSERT_TRUE(::CreateDirectoryW(serviceFolder.c_str(), nullptr));
  ASSERT_TRUE(PlantSymbolicLink(elsewhere, JoinPath(serviceFolder, kTestProductKey)));
  ASSERT_TRUE(PathExists(JoinPath(TrackerDataFolder(FRoot.Path()), L"settings.txt"))) << "the link leads nowhere";
  const std::map<std::wstring, std::wstring> before = Contents(linkedFolder);

  EXPECT_EQ(RunOnce(TestEnvironment(FRoot.Path()))->DataFolder(), L"");
  EXPECT_EQ(Contents(linkedFolder), before);
  const std::map<std::string, int> counts = DeliveredCounts();
  EXPECT_EQ(counts.size(), 5u);  // app-start, the steps, app-finish
  for (const auto& [event, count] : counts) EXPECT_EQ(event.find("Secret"), std::string::npos) << event;
}

TEST_F(TrackerFaults, FilesPlantedAsLinksAreNeitherReadNorChangedAndTheRunGoesOn) {
  TTestTracker writer;
  // Every name the tracker opens, as a link to another file of the user's: symbolic links, then hard links.
  const std::map<std::wstring, std::wstring> planted = {
      {L"proc-" + IntToStr(::GetCurrentProcessId()), L"the own marker's name"},
      {L"proc-4000000000", writer.EventToXml(TNumberedEvent(L"SecretFailure", 1))},
      {L"settings.txt", L"collect_data=0"},
      {L"installation.key", L"{SECRET-KEY}"},
      {L"event-000101-000000-1-001.xml", writer.EventToXml(TNumberedEvent(L"Secret", 2))}};
  TStatEnvironment environment = TestEnvironment(FRoot.Path());
  environment.MachineInstallationId = [](std::wstring_view) { return std::wstring(); };  // installation.key is used
  for (const bool hard : {false, true}) {
    const TTestFolder root(L"tracker-links");
    const std::wstring folder = TrackerDataFolder(root.Path()), outside = root / L"outside";
    WriteCollectingSettings(folder);
    ASSERT_TRUE(::DeleteFileW(JoinPath(folder, L"settings.txt").c_str()));
    ASSERT_TRUE(::CreateDirectoryW(outside.c_str(), nullptr));
    for (const auto& [name, content] : planted) {
      WriteUtf8(JoinPath(outside, name), content);
      ASSERT_TRUE(hard ? PlantHardLink(JoinPath(outside, name), JoinPath(folder, name))
                       : PlantSymbolicLink(JoinPath(outside, name), JoinPath(folder, name)));
    }
    environment.LocalAppDataFolder = [path = root.Path()] { return path; };
    EXPECT_EQ(RunOnce(environment)->DataFolder(), folder);
    EXPECT_EQ(Contents(outside), planted) << (hard ? "hard links" : "symbolic links");
    for (const auto& [name, content] : planted) EXPECT_TRUE(PathExists(JoinPath(folder, name))) << WideToUtf8(name);
  }
  const std::map<std::string, int> counts = DeliveredCounts();
  EXPECT_EQ(counts.size(), 10u);  // each run's app-start, steps and app-finish
  for (const auto& [event, count] : counts) EXPECT_EQ(event.find("Secret"), std::string::npos) << event;
}
