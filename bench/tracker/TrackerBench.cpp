// Speed of the statistics tracker, each figure beside a reference measured in the same run:
// - events per second through TrackEventValue on the GUI thread, against building the same XML text
//   with plain string appends (target: at least 100000 events per second);
// - the final flush of 20000 queued events into package files, against writing the same bytes with
//   one WriteFile (target: within 3 times the plain write).
// Run: bash bench/tracker/run.sh
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include "framework/Application.h"
#include "framework/Strings.h"
#include "statistics/StatMgr.h"
#include "statistics/uStatisticsTrackerUtils.h"

namespace {

constexpr int kEvents = 200000;
constexpr int kFlushEvents = 20000;
constexpr int kRounds = 9;

class TBenchTracker : public TSoftwareStatisticsTracker {
public:
  using TSoftwareStatisticsTracker::FlushQueue;
  using TSoftwareStatisticsTracker::NewExecutionId;
  using TSoftwareStatisticsTracker::PrepareDataFolder;
  using TSoftwareStatisticsTracker::QueuedTexts;
};

double Seconds(const std::function<void()>& work) {
  LARGE_INTEGER frequency, start, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  work();
  ::QueryPerformanceCounter(&end);
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The best of several rounds: the figure least disturbed by the rest of the machine.
double BestOf(const std::function<void()>& prepare, const std::function<void()>& work) {
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    prepare();
    best = std::min(best, Seconds(work));
  }
  return best;
}

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  return JoinPath(temp, std::wstring(name) + L"-" + IntToStr(::GetCurrentProcessId()));
}

void RemoveFiles(const std::wstring& folder, const wchar_t* mask) {
  for (const std::wstring& name : ListFiles(folder, mask)) ::DeleteFileW(JoinPath(folder, name).c_str());
}

// The same text as the tracker writes for TrackEventValue, made with plain appends.
std::wstring ReferenceEventText(int i, const std::wstring& installation, const std::wstring& execution) {
  std::wstring text;
  text += L"<event name=\"";
  text += L"Downloading";
  text += L"\" dt=\"";
  text += FormatStatDateTime(NowLocal());
  text += L"\" ord=\"";
  text += IntToStr(i);
  text += L"\" installation=\"";
  text += installation;
  text += L"\" execution=\"";
  text += execution;
  text += L"\">\r\n<param name=\"";
  text += L"FullTime";
  text += L"\" type=\"numeric\" value=\"";
  text += IntToStr(i);
  text += L"\"/>\r\n</event>\r\n";
  return text;
}

void BenchTrackEventValue(TBenchTracker& tracker) {
  FindTracker(&tracker);
  const std::wstring installation = tracker.InstallationId(), execution = tracker.ExecutionId();
  const double ours = BestOf([] {}, [] {
    for (int i = 0; i < kEvents; ++i) TrackEventValue(L"Downloading", L"FullTime", i);
  });
  size_t sink = 0;
  const double reference = BestOf([] {}, [&] {
    for (int i = 0; i < kEvents; ++i) sink += ReferenceEventText(i, installation, execution).size();
  });
  std::printf("TrackEventValue:  %10.0f events/s   reference (plain appends): %10.0f events/s   ratio %.2f  (target >= 100000 events/s)%s\n",
              kEvents / ours, kEvents / reference, ours / reference, sink == 0 ? " " : "");
}

void BenchFlush(TBenchTracker& tracker) {
  const std::wstring folder = tracker.DataFolder();
  std::wstring all;
  auto fill = [&] {
    RemoveFiles(folder, L"event-*.xml");
    for (int i = 0; i < kFlushEvents; ++i) TrackEventValue(L"Downloading", L"FullTime", i);
  };
  fill();
  for (const std::wstring& text : tracker.QueuedTexts()) all += text;
  const double ours = BestOf(fill, [&] { tracker.FlushQueue(true); });
  const size_t files = ListFiles(folder, L"event-*.xml").size();

  const std::wstring plainFile = JoinPath(folder, L"plain.bin");
  const double reference = BestOf([] {}, [&] {
    const TStatBytes bytes = TextToUtf8Bytes(all);
    TFileHandle file(::CreateFileW(plainFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  });
  ::DeleteFileW(plainFile.c_str());
  // Not a target, a floor: the same bytes in as many files, each written with one WriteFile. Shows how
  // much of the flush is the platform's cost of making a file.
  const double floor = BestOf([&] { RemoveFiles(folder, L"floor-*.bin"); }, [&] {
    const TStatBytes bytes = TextToUtf8Bytes(all);
    const size_t piece = bytes.size() / files + 1;
    for (size_t i = 0, offset = 0; offset < bytes.size(); ++i, offset += piece) {
      const std::wstring name = JoinPath(folder, L"floor-" + IntToStr(static_cast<long long>(i)) + L".bin");
      TFileHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      ::WriteFile(file.Get(), bytes.data() + offset, static_cast<DWORD>(std::min(piece, bytes.size() - offset)),
                  &written, nullptr);
    }
  });
  RemoveFiles(folder, L"floor-*.bin");
  RemoveFiles(folder, L"event-*.xml");
  std::printf("Final flush of %d events (%zu characters, %zu files): %.1f ms   reference (one WriteFile): %.1f ms   ratio %.2f  (target <= 3)\n",
              kFlushEvents, all.size(), files, ours * 1000, reference * 1000, ours / reference);
  std::printf("  the same bytes in %zu files, one WriteFile each: %.1f ms   flush / that: %.2f\n", files, floor * 1000,
              ours / floor);
}

}  // namespace

int wmain() {
  TApplication application;
  application.Initialize();
  const std::wstring root = TempFolder(L"bench-tracker");
  ::CreateDirectoryW(root.c_str(), nullptr);
  {
    TBenchTracker tracker;
    TStatEnvironment environment;
    environment.LocalAppDataFolder = [root] { return root; };
    environment.MachineInstallationId = [](std::wstring_view) { return std::wstring(L"BENCH-MACHINE-ID"); };
    tracker.SetEnvironment(environment);
    tracker.SetProductKey(L"bench-key");
    tracker.PrepareDataFolder();
    tracker.NewExecutionId();
    BenchTrackEventValue(tracker);
    BenchFlush(tracker);
  }
  return 0;
}
