// Crashes and sharing: runs of a tracking process (stat_crash_runner) are ended with TerminateProcess at
// random moments; later runs then deliver what the killed runs left. Every event that had reached a
// package file is delivered exactly once, each killed run is reported as "app-failure" exactly once, and
// the data folder never grows past its limit by more than one package. Two processes draining one folder
// at once deliver no package twice and lose none.
//
// CI kills 20 runs (about a minute). For a longer campaign set TL_STAT_CRASH_KILLS, for instance
// TL_STAT_CRASH_KILLS=300 (about eight minutes). The killed runs collect but do not send (their
// stored settings say so): a kill between the service's receipt of a package and its deletion would make
// a second delivery that no client can rule out.
#include <gtest/gtest.h>
#include <cstdio>
#include <algorithm>
#include <map>
#include <random>
#include <set>
#include "framework/Strings.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/StatPeerSupport.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

constexpr int kCiKills = 20;
constexpr int kEventsPerRun = 150;
constexpr DWORD kDrainTimeoutMs = 600000;
// A package of 51200 characters, each up to three bytes of UTF-8, and the event that passes the length.
constexpr std::uint64_t kOnePackageBytes = 3 * kPackageTargetLength + 4096;

int KillCount() {
  wchar_t text[32] = {};
  if (::GetEnvironmentVariableW(L"TL_STAT_CRASH_KILLS", text, 32) == 0) return kCiKills;
  const int count = _wtoi(text);
  return count > 0 ? count : kCiKills;
}

std::wstring RunnerPath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\')) + L"\\stat_crash_runner.exe";
}

// One runner process; ended by the test or waited for.
class TRunner {
  static constexpr int kStartAttempts = 3;
  static constexpr DWORD kStartRetryMs = 500;
public:
  TRunner(const std::wstring& root, const std::wstring& host, const std::wstring& mode) {
    std::wstring commandLine = L"\"" + RunnerPath() + L"\" \"" + root + L"\" " + host + L" " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    // Wine's CreateProcessW fails now and then while the machine is busy with emulated 32-bit programs
    // (seen in whole runs, never alone); the start is not what this test is about, so it is tried again.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
      if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        break;
      FStartError = ::GetLastError();
      std::fprintf(stderr, "the runner did not start (error %lu): trying again\n", FStartError);
      ::Sleep(kStartRetryMs);
    }
    if (!info.hProcess) return;
    FProcess.Reset(info.hProcess);
    THandle thread(info.hThread);
    FId = info.dwProcessId;
  }
  bool Started() const { return static_cast<bool>(FProcess); }
  DWORD StartError() const { return FStartError; }
  DWORD Id() const { return FId; }
  void Kill() {
    ::TerminateProcess(FProcess.Get(), 9);
    ::WaitForSingleObject(FProcess.Get(), INFINITE);
  }
  // The exit code, or STILL_ACTIVE when the time ran out.
  DWORD Wait(DWORD timeoutMs) {
    ::WaitForSingleObject(FProcess.Get(), timeoutMs);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(FProcess.Get(), &code);
    return code;
  }

private:
  THandle FProcess;
  DWORD FId = 0;
  DWORD FStartError = 0;
};

struct TDelivered {
  std::string Execution;
  std::string Ordinal;
  std::string Name;
};

std::vector<TDelivered> Delivered(const TStatService& service) {
  std::vector<TDelivered> events;
  for (const std::string& line : service.DeliveredEvents()) {
    const size_t first = line.find('\t'), second = line.find('\t', first + 1);
    events.push_back({line.substr(0, first), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
  }
  return events;
}

class TrackerCrashes : public ::testing::Test {
protected:
  void SetUp() override {
    // Up for a long campaign too: stand-ins otherwise stop by themselves after four minutes.
    FService = std::make_unique<TStatService>(std::vector<std::string>{"--time-limit", "3600"});
    ASSERT_TRUE(FService->Started());
  }

  std::wstring DataFolder() const { return TrackerDataFolder(FRoot.Path()); }

  // The execution identifiers the runner noted, and its note removed.
  std::vector<std::string> RunsOf(DWORD processId) const {
    const std::wstring fileName = FRoot / (L"runs-" + std::to_wstring(processId) + L".txt");
    std::vector<std::string> runs;
    const std::string text = WideToUtf8(ReadUtf8(fileName));
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) runs.push_back(text.substr(start, end - start));
    }
    ::DeleteFileW(fileName.c_str());
    return runs;
  }

  // The run whose failure record the killed process left in its marker, if it had written one. A kill
  // between the marker and the runner's note leaves a record of a run the note does not name.
  std::vector<std::string> RunsInMarkerOf(DWORD processId) const {
    std::vector<std::string> runs;
    const std::wstring marker = JoinPath(DataFolder(), L"proc-" + std::to_wstring(processId));
    for (const TXmlElement& event : ParsePackageEvents(ReadUtf8(marker)))
      if (event.Attribute(L"name") == L"app-failure") runs.push_back(WideToUtf8(event.Attribute(L"execution")));
    return runs;
  }

  // execution#ordinal of every event in the package files now.
  std::multiset<std::string> StoredEventKeys() const {
    std::multiset<std::string> keys;
    for (const TXmlElement& event : EventsInPackageFiles(DataFolder()))
      keys.insert(WideToUtf8(event.Attribute(L"execution") + L"#" + event.Attribute(L"ord")));
    return keys;
  }

  void Drain(int processes) {
    std::vector<std::unique_ptr<TRunner>> runners;
    for (int i = 0; i < processes; ++i) {
      runners.push_back(std::make_unique<TRunner>(FRoot.Path(), FService->Host(), L"drain"));
      ASSERT_TRUE(runners.back()->Started());
    }
    for (auto& runner : runners) {
      EXPECT_EQ(runner->Wait(kDrainTimeoutMs), 0u) << "the folder was not drained";
      RunsOf(runner->Id());
    }
  }

  TTestFolder FRoot{L"tracker-crashes"};
  std::unique_ptr<TStatService> FService;
};

}  // namespace

TEST_F(TrackerCrashes, EventsOfKilledRunsAreDeliveredOnceAndEachKilledRunIsReportedOnce) {
  WriteCollectingSettings(DataFolder());  // collecting, not sending, and no settings request for a week
  std::mt19937 random(4711);
  std::uniform_int_distribution<DWORD> lifetime(50, 3000);
  std::set<std::string> killedRuns;
  const int kills = KillCount();
  for (int kill = 0; kill < kills; ++kill) {
    TRunner runner(FRoot.Path(), FService->Host(), L"track " + std::to_wstring(kEventsPerRun));
    ASSERT_TRUE(runner.Started()) << "error " << runner.StartError() << " at kill " << kill;
    ::Sleep(lifetime(random));
    runner.Kill();
    const std::vector<std::string> recorded = RunsInMarkerOf(runner.Id());
    for (const std::string& run : RunsOf(runner.Id()))
      EXPECT_EQ(std::count(recorded.begin(), recorded.end(), run), 1) << "a started run left no failure record";
    killedRuns.insert(recorded.begin(), recorded.end());
    EXPECT_LE(GetFilesSize(DataFolder(), L"event-*.xml"), kMaxPackageFolderBytes + kOnePackageBytes)
        << "after kill " << kill;
  }
  ASSERT_FALSE(killedRuns.empty());
  const std::multiset<std::string> stored = StoredEventKeys();
  ASSERT_FALSE(stored.empty()) << "the killed runs wrote no package";

  ::DeleteFileW(JoinPath(DataFolder(), L"settings.txt").c_str());  // the drain asks the service, which sends
  Drain(1);
  std::map<std::string, int> deliveries;
  std::map<std::string, int> failureReports;
  for (const TDelivered& event : Delivered(*FService)) {
    ++deliveries[event.Execution + "#" + event.Ordinal];
    if (event.Name == "app-failure") ++failureReports[event.Execution];
  }
  for (const auto& [key, count] : deliveries) EXPECT_EQ(count, 1) << "delivered more than once: " << key;
  for (const std::string& key : stored) EXPECT_EQ(deliveries.count(key), 1u) << "stored, never delivered: " << key;
  for (const std::string& run : killedRuns) EXPECT_EQ(failureReports[run], 1) << "killed run " << run;
  EXPECT_EQ(failureReports.size(), killedRuns.size()) << "a run that ended was reported as a failure";
}

TEST_F(TrackerCrashes, TwoProcessesDrainingOneFolderDeliverEveryPackageOnce) {
  const std::wstring folder = DataFolder();
  WriteCollectingSettings(folder);
  ::DeleteFileW(JoinPath(folder, L"settings.txt").c_str());
  TTestTracker writer;
  std::set<std::string> stored;
  // 60 packages of 50 events, as earlier runs would have left them.
  for (int file = 0; file < 60; ++file) {
    std::wstring text;
    for (int i = 0; i < 50; ++i) text += writer.EventToXml(TSSEvent(L"Stored", L"file", file));
    WriteUtf8(JoinPath(folder, L"event-19990101000000" + std::to_wstring(100 + file) + L"-001.xml"), text);
  }
  for (const TXmlElement& event : EventsInPackageFiles(folder))
    stored.insert(WideToUtf8(event.Attribute(L"execution") + L"#" + event.Attribute(L"ord")));
  ASSERT_EQ(stored.size(), 3000u);

  Drain(2);
  std::map<std::string, int> deliveries;
  for (const TDelivered& event : Delivered(*FService)) ++deliveries[event.Execution + "#" + event.Ordinal];
  for (const auto& [key, count] : deliveries) EXPECT_EQ(count, 1) << "delivered more than once: " << key;
  for (const std::string& key : stored) EXPECT_EQ(deliveries.count(key), 1u) << "never delivered: " << key;
  for (const std::wstring& file : PackageFiles(folder))
    ADD_FAILURE() << "left behind: " << WideToUtf8(file) << " (" << ReadUtf8(file).size() << " characters)";
}
