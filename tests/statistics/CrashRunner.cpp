// A process that tracks events with the real tracker, for the crash and sharing tests:
//   stat_crash_runner <root> <service host> track <events>  -- one run that records events in a loop
//   stat_crash_runner <root> <service host> drain           -- runs until every package is delivered
// The root is the local application data folder the tracker is given. Each run's execution identifier is
// appended to <root>\runs-<process id>.txt right after its start, so that the test can check that each run
// it killed left its failure record (a kill before the note leaves a record the note does not name).
// The drain runs on a clock twenty times as fast as the real one, so that the pause between two
// deliveries of a run (15 s) takes under a second.
#include <windows.h>
#include <string>
#include "framework/Strings.h"
#include "statistics/StatMgr.h"
#include "statistics/uStatisticsTrackerUtils.h"

namespace {

constexpr int kMaxDrainRuns = 200;
constexpr DWORD kDrainRunMs = 60000;
constexpr DWORD kPollMs = 50;
constexpr DWORD kFinishTimeoutMs = 10000;
constexpr DWORD kTrackPauseMs = 10;
constexpr DWORD kLingerMs = 30000;
constexpr double kDrainClockSpeed = 20;

TDateTime FastNow() {
  static const TDateTime start = NowLocal();
  static const ULONGLONG startTicks = ::GetTickCount64();
  return start + static_cast<double>(::GetTickCount64() - startTicks) * kDrainClockSpeed / 86400000.0;
}

std::unique_ptr<TSoftwareStatisticsTracker> NewTracker(const std::wstring& root, const std::wstring& host,
                                                       bool fastClock) {
  auto tracker = std::make_unique<TSoftwareStatisticsTracker>();
  tracker->SetAutoStart(false);
  tracker->SetProductKey(L"tracker-test-key");
  TStatEnvironment environment;
  if (fastClock) environment.Now = FastNow;
  environment.LocalAppDataFolder = [root] { return root; };
  environment.MachineInstallationId = [](std::wstring_view) { return std::wstring(L"AAAA-BBBB-CCCC"); };
  environment.ServiceHost = host;
  tracker->SetEnvironment(environment);
  return tracker;
}

void NoteRun(const std::wstring& root, const std::wstring& executionId) {
  const std::wstring fileName = JoinPath(root, L"runs-" + std::to_wstring(::GetCurrentProcessId()) + L".txt");
  TFileHandle file(::CreateFileW(fileName.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  AppendTextToHandle(file.Get(), executionId + L"\n");
}

int Track(const std::wstring& root, const std::wstring& host, int events) {
  auto tracker = NewTracker(root, host, false);
  tracker->Start();
  NoteRun(root, tracker->ExecutionId());
  for (int i = 0; i < events; ++i) {
    tracker->TrackEvent(TSSEvent(L"Step", L"i", i));
    ::Sleep(kTrackPauseMs);
  }
  ::Sleep(kLingerMs);  // still running when the test ends it
  tracker->Finish(kFinishTimeoutMs);
  return 0;
}

// Every package file is empty: stored files have all been delivered, and the current packages of the
// running trackers (this one's and, when two drain, the other one's) hold no events.
bool Drained(const std::wstring& folder) {
  for (const std::wstring& name : ListFiles(folder, L"event-*.xml")) {
    TFileHandle file(::CreateFileW(JoinPath(folder, name).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (file && ::GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0) return false;
  }
  return true;
}

// Each run stays until the folder is drained, then finishes, which delivers its own last events at once.
int Drain(const std::wstring& root, const std::wstring& host) {
  for (int run = 0; run < kMaxDrainRuns; ++run) {
    auto tracker = NewTracker(root, host, true);
    tracker->Start();
    NoteRun(root, tracker->ExecutionId());
    const std::wstring folder = tracker->DataFolder();
    for (DWORD waited = 0; waited < kDrainRunMs && !Drained(folder); waited += kPollMs) ::Sleep(kPollMs);
    tracker->Finish(kFinishTimeoutMs);
    if (Drained(folder)) return 0;
  }
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const std::wstring mode = argv[3];
  if (mode == L"track" && argc >= 5) return Track(argv[1], argv[2], std::stoi(argv[4]));
  if (mode == L"drain") return Drain(argv[1], argv[2]);
  return 2;
}
