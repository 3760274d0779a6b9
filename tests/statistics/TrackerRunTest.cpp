// The tracker's runs in-process: Start and Finish, identifiers, markers, the queue, destruction.
#include <gtest/gtest.h>
#include <algorithm>
#include <regex>
#include "framework/Strings.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

class TrackerRun : public ::testing::Test {
protected:
  void SetUp() override { WriteCollectingSettings(DataFolder()); }

  std::wstring DataFolder() const { return TrackerDataFolder(FRoot.Path()); }

  std::unique_ptr<TTestTracker> NewTracker() {
    auto tracker = std::make_unique<TTestTracker>();
    tracker->SetAutoStart(false);
    tracker->SetProductKey(kTestProductKey);
    tracker->SetEnvironment(TestEnvironment(FRoot.Path()));
    return tracker;
  }

  // In the order they were made: file names sort runs of the same second in no particular order.
  std::vector<TXmlElement> StoredEvents() const {
    std::vector<TXmlElement> events = EventsInPackageFiles(DataFolder());
    std::stable_sort(events.begin(), events.end(), [](const TXmlElement& a, const TXmlElement& b) {
      return std::stoll(a.Attribute(L"ord")) < std::stoll(b.Attribute(L"ord"));
    });
    return events;
  }

  std::vector<TXmlElement> StoredEventsNamed(const std::wstring& name) const {
    std::vector<TXmlElement> found;
    for (const TXmlElement& event : StoredEvents())
      if (event.Attribute(L"name") == name) found.push_back(event);
    return found;
  }

  std::vector<std::wstring> Markers() const { return ListFiles(DataFolder(), L"proc-*"); }

  std::wstring OwnMarker() const { return JoinPath(DataFolder(), L"proc-" + IntToStr(::GetCurrentProcessId())); }

  TTestFolder FRoot{L"tracker-run"};
};

std::wstring ParamValue(const TXmlElement& event, const std::wstring& name) {
  for (const TXmlElement& param : event.Children)
    if (param.Attribute(L"name") == name) return param.Attribute(L"value");
  return {};
}

// The helper process that holds a marker like a running tracker, until it is told to end.
class TMarkerHolder {
public:
  explicit TMarkerHolder(const std::wstring& folder) {
    static int counter = 0;
    const std::wstring eventName = L"tl-marker-holder-" + IntToStr(::GetCurrentProcessId()) + L"-" + IntToStr(++counter);
    FRelease.Reset(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program = self;
    program = program.substr(0, program.find_last_of(L'\\')) + L"\\stat_marker_holder.exe";
    std::wstring commandLine = L"\"" + program + L"\" \"" + folder + L"\" " + eventName;
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info))
      return;
    FProcess.Reset(info.hProcess);
    THandle thread(info.hThread);
    FMarker = JoinPath(folder, L"proc-" + IntToStr(info.dwProcessId));
    WaitUntil([this] { return !ReadUtf8(FMarker).empty(); }, 10000);
  }
  ~TMarkerHolder() { End(); }
  const std::wstring& Marker() const { return FMarker; }
  bool Holding() const { return FProcess && !ReadUtf8(FMarker).empty(); }
  void End() {
    if (!FProcess) return;
    ::SetEvent(FRelease.Get());
    ::WaitForSingleObject(FProcess.Get(), 10000);
    FProcess.Reset();
  }

private:
  THandle FRelease;
  THandle FProcess;
  std::wstring FMarker;
};

}  // namespace

TEST_F(TrackerRun, StartDoesNothingWithoutKeyOrWhileInactive) {
  auto keyless = NewTracker();
  keyless->SetProductKey(L"");
  auto inactive = NewTracker();
  inactive->SetActive(false);
  for (TTestTracker* tracker : {keyless.get(), inactive.get()}) {
    tracker->Start();
    EXPECT_FALSE(tracker->Running());
    EXPECT_TRUE(tracker->DataFolder().empty());
    EXPECT_EQ(tracker->QueuedCount(), 0u);
    tracker->Finish(100);
    EXPECT_EQ(tracker->QueuedCount(), 0u);  // no finish event either
  }
  EXPECT_TRUE(Markers().empty());
  EXPECT_TRUE(PackageFiles(DataFolder()).empty());
}

TEST_F(TrackerRun, ARunEndsUpInPackageFilesWithItsIdentifiers) {
  auto tracker = NewTracker();
  tracker->Start();
  ASSERT_TRUE(tracker->Running());
  EXPECT_EQ(tracker->DataFolder(), DataFolder());
  EXPECT_EQ(tracker->SettingsUrl(), std::wstring(L"http://") + kClosedServiceHost + L"/get_settings.php?key=" +
                                        kTestProductKey + L"&version=2.1.0.15&tracker=1.0.0.1");
  EXPECT_EQ(tracker->SendUrl(), std::wstring(L"http://") + kClosedServiceHost + L"/index.php?version=2&key=" +
                                    kTestProductKey);
  const std::wstring execution = tracker->ExecutionId();
  EXPECT_TRUE(std::regex_match(execution, std::wregex(L"\\d{6}-\\d{6}-\\d{1,6}")));
  tracker->TrackEvent(TSSEvent(L"RequestLicense", L"FullTime", 3));
  tracker->TrackEvent(TSSEvent(L"RequestLicense", L"Result", L"OK"));
  tracker->Finish(0);
  EXPECT_FALSE(tracker->Running());

  const std::vector<TXmlElement> events = StoredEvents();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].Attribute(L"name"), L"app-start");
  EXPECT_EQ(ParamValue(events[0], L"app-version"), L"2.1.0.15");
  EXPECT_EQ(events[1].Attribute(L"name"), L"RequestLicense");
  EXPECT_EQ(ParamValue(events[2], L"Result"), L"OK");
  EXPECT_EQ(events[3].Attribute(L"name"), L"app-finish");
  for (const TXmlElement& event : events) {
    EXPECT_EQ(event.Attribute(L"installation"), kTestMachineId);
    EXPECT_EQ(event.Attribute(L"execution"), execution);
  }
  for (const std::wstring& file : PackageFiles(DataFolder()))
    EXPECT_NE(file.find(L"event-" + execution + L"-"), std::wstring::npos);
  EXPECT_TRUE(Markers().empty());
}

TEST_F(TrackerRun, StartingTwiceFinishesTheFirstRunBeforeTheSecondBegins) {
  auto tracker = NewTracker();
  tracker->Start();
  const std::wstring first = tracker->ExecutionId();
  tracker->Start();
  const std::wstring second = tracker->ExecutionId();
  EXPECT_NE(first, second);
  EXPECT_TRUE(FileExists(OwnMarker()));
  tracker->Finish(0);

  std::vector<std::pair<std::wstring, std::wstring>> seen;
  for (const TXmlElement& event : StoredEvents()) seen.emplace_back(event.Attribute(L"name"), event.Attribute(L"execution"));
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"app-start", first}, {L"app-finish", first}, {L"app-start", second}, {L"app-finish", second}};
  // The first run's marker was gone before the second looked for markers: no failure is reported.
  EXPECT_EQ(seen, expected);
}

TEST_F(TrackerRun, FinishWithoutWaitStillWritesTheFinishEvent) {
  auto tracker = NewTracker();
  tracker->Start();
  tracker->Finish(0);
  EXPECT_EQ(StoredEventsNamed(L"app-finish").size(), 1u);
  tracker->Finish(0);  // no run: nothing more
  EXPECT_EQ(StoredEventsNamed(L"app-finish").size(), 1u);
}

TEST_F(TrackerRun, TheQueueKeepsTheNewest20000Events) {
  TTestTracker tracker;
  for (int i = 0; i < 20001; ++i) tracker.TrackEvent(TSSEvent(L"Many", L"i", i));
  const std::vector<std::wstring> texts = tracker.QueuedTexts();
  ASSERT_EQ(texts.size(), 20000u);
  EXPECT_EQ(ParamValue(ParsePackageEvents(texts.front()).at(0), L"i"), L"1");
  EXPECT_EQ(ParamValue(ParsePackageEvents(texts.back()).at(0), L"i"), L"20000");
}

TEST_F(TrackerRun, EventsOutsideARunCarryTheIdentifiersOfTheLastRun) {
  auto tracker = NewTracker();
  tracker->TrackEvent(TSSEvent(L"Early"));
  tracker->Start();
  const std::wstring execution = tracker->ExecutionId();
  tracker->Finish(0);
  tracker->TrackEvent(TSSEvent(L"Between"));
  tracker->Start();
  tracker->Finish(0);

  const std::vector<TXmlElement> early = StoredEventsNamed(L"Early");
  ASSERT_EQ(early.size(), 1u);
  EXPECT_TRUE(early[0].HasAttribute(L"installation"));
  EXPECT_EQ(early[0].Attribute(L"installation"), L"");
  EXPECT_EQ(early[0].Attribute(L"execution"), L"");
  const std::vector<TXmlElement> between = StoredEventsNamed(L"Between");
  ASSERT_EQ(between.size(), 1u);
  EXPECT_EQ(between[0].Attribute(L"execution"), execution);
  EXPECT_EQ(between[0].Attribute(L"installation"), kTestMachineId);
}

TEST_F(TrackerRun, TheMarkerHoldsTheFailureRecordOfTheRunningRun) {
  auto tracker = NewTracker();
  tracker->Start();
  const std::vector<TXmlElement> record = ParsePackageEvents(ReadUtf8(OwnMarker()));
  ASSERT_EQ(record.size(), 1u);
  EXPECT_EQ(record[0].Attribute(L"name"), L"app-failure");
  EXPECT_EQ(record[0].Attribute(L"ord"), L"2147483647");
  EXPECT_EQ(record[0].Attribute(L"value"), L"00:00:00");
  EXPECT_EQ(record[0].Attribute(L"execution"), tracker->ExecutionId());
  tracker->Finish(0);
  EXPECT_FALSE(FileExists(OwnMarker()));
  EXPECT_TRUE(StoredEventsNamed(L"app-failure").empty());
}

TEST_F(TrackerRun, TheMarkerIsRewrittenOnceAMinuteWithTheRunTime) {
  auto clock = std::make_shared<TFakeClock>(NowWholeSeconds());
  auto tracker = NewTracker();
  TStatEnvironment environment = TestEnvironment(FRoot.Path());
  environment.Now = [clock] { return clock->Now(); };
  tracker->SetEnvironment(environment);
  tracker->Start();
  clock->Advance(59);
  ::Sleep(1500);  // a cycle or two within the minute: no rewrite
  EXPECT_EQ(ParsePackageEvents(ReadUtf8(OwnMarker())).at(0).Attribute(L"value"), L"00:00:00");
  clock->Advance(2);
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::vector<TXmlElement> record = ParsePackageEvents(ReadUtf8(OwnMarker()));
        return !record.empty() && record[0].Attribute(L"value") == L"00:01:01";
      },
      5000));
  tracker->Finish(0);
  EXPECT_EQ(StoredEventsNamed(L"app-finish").at(0).Attribute(L"value"), L"00:01:01");
}

TEST_F(TrackerRun, MarkersOfLiveProcessesStayAndThoseOfEndedRunsAreReportedOnce) {
  TMarkerHolder holder(DataFolder());
  ASSERT_TRUE(holder.Holding()) << "the helper process did not start";
  auto tracker = NewTracker();
  tracker->Start();
  tracker->Finish(0);
  EXPECT_TRUE(FileExists(holder.Marker()));
  EXPECT_TRUE(StoredEventsNamed(L"app-failure").empty());

  holder.End();  // the other run ends without finishing: its marker stays behind
  ASSERT_TRUE(FileExists(holder.Marker()));
  tracker->Start();
  tracker->Finish(0);
  EXPECT_FALSE(FileExists(holder.Marker()));
  tracker->Start();
  tracker->Finish(0);
  const std::vector<TXmlElement> failures = StoredEventsNamed(L"app-failure");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].Attribute(L"execution"), L"held-run");
  EXPECT_EQ(failures[0].Attribute(L"value"), L"00:00:05");
}

TEST_F(TrackerRun, AnEndedRunIsNotReportedWhileTheServiceSaysNotToCollect) {
  WriteCollectingSettings(DataFolder(), L"0");
  WriteUtf8(JoinPath(DataFolder(), L"proc-4000000000"), L"<event name=\"app-failure\"/>\r\n");
  auto tracker = NewTracker();
  tracker->Start();
  tracker->Finish(0);
  EXPECT_TRUE(Markers().empty());
  EXPECT_TRUE(PackageFiles(DataFolder()).empty());
}

TEST_F(TrackerRun, WithoutAMachineIdentifierTheFirstRunKeepsAGuidForTheLaterOnes) {
  TStatEnvironment environment = TestEnvironment(FRoot.Path());
  environment.MachineInstallationId = [](std::wstring_view) { return std::wstring(); };
  auto first = NewTracker();
  first->SetEnvironment(environment);
  first->Start();
  first->Finish(0);
  const std::wstring keyFile = JoinPath(DataFolder(), L"installation.key");
  const std::wstring key = ReadUtf8(keyFile);
  EXPECT_TRUE(std::regex_match(key, std::wregex(L"\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}"))) << WideToUtf8(key);
  EXPECT_EQ(first->InstallationId(), key);

  auto second = NewTracker();
  second->SetEnvironment(environment);
  second->Start();
  second->Finish(0);
  EXPECT_EQ(second->InstallationId(), key);
  EXPECT_EQ(ReadUtf8(keyFile), key);
  for (const TXmlElement& event : StoredEvents()) EXPECT_EQ(event.Attribute(L"installation"), key);

  auto machine = NewTracker();  // a machine identifier wins and leaves the file alone
  machine->Start();
  machine->Finish(0);
  EXPECT_EQ(machine->InstallationId(), kTestMachineId);
  EXPECT_EQ(ReadUtf8(keyFile), key);
}

TEST_F(TrackerRun, DestructionFinishesTheRunOnlyWithAutoFinishButAlwaysRemovesTheMarker) {
  {
    auto tracker = NewTracker();
    tracker->Start();
  }
  EXPECT_EQ(StoredEventsNamed(L"app-finish").size(), 1u);
  EXPECT_TRUE(Markers().empty());
  {
    auto tracker = NewTracker();
    tracker->SetAutoFinish(false);
    tracker->Start();
  }
  EXPECT_EQ(StoredEventsNamed(L"app-start").size(), 2u);
  EXPECT_EQ(StoredEventsNamed(L"app-finish").size(), 1u);
  EXPECT_TRUE(Markers().empty());
}

// Closing the wizard finishes the tracker with its AutoFinishTimeout before the process ends: every
// event of the run is in package files, and the next start reports nothing as a failure.
TEST_F(TrackerRun, AFinishAtCloseKeepsEveryEventAndLeavesNoFailureBehind) {
  auto tracker = NewTracker();
  tracker->Start();
  for (int i = 0; i < 500; ++i) tracker->TrackEvent(TSSEvent(L"Downloading", L"Step", i));
  tracker->TrackEvent(TSSEvent(L"Installation", L"OverallTime", 42));
  tracker->Finish(tracker->AutoFinishTimeout());
  EXPECT_TRUE(Markers().empty());
  tracker.reset();

  auto next = NewTracker();
  next->Start();
  next->Finish(0);
  EXPECT_EQ(StoredEventsNamed(L"Downloading").size(), 500u);
  EXPECT_EQ(StoredEventsNamed(L"Installation").size(), 1u);
  EXPECT_TRUE(StoredEventsNamed(L"app-failure").empty());
}
