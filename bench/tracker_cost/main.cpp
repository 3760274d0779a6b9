// What the statistics tracker costs the wizard, in a fresh process each time:
//   bench_tracker_cost start <host:port>            how long Start takes on the GUI thread (WMI included),
//                                                   the first time in the process, as in FormCreate
//   bench_tracker_cost idle <host:port> <seconds>   CPU time of the threads the tracker starts, over
//                                                   that many seconds with nothing to send
//   bench_tracker_cost machineid                    the WMI machine identifier alone, the first time
// The tracker talks to the statistics service at host:port (the benchmark's stand-in, or nothing).
// Prints one line: "start_ms=<>", "cpu_ms=<> wall_ms=<> threads=<n>" or "machineid_ms=<>".
#include <windows.h>
#include <tlhelp32.h>
#include <cstdio>
#include <set>
#include <string>
#include "bench/support/BenchSupport.h"
#include "framework/Application.h"
#include "framework/Handles.h"
#include "statistics/StatMgr.h"
#include "wizard/uMain.h"

namespace {
constexpr DWORD kSettleMs = 3000;  // the settings exchange and the first cycles are not idle time

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> ids;
  TFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot) return ids;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more; more = ::Thread32Next(snapshot.Get(), &entry))
    if (entry.th32OwnerProcessID == ::GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  return ids;
}

double CpuMs(const std::set<DWORD>& threads) {
  double total = 0;
  for (DWORD id : threads) {
    THandle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, id));
    FILETIME created, ended, kernel, user;
    if (!thread || !::GetThreadTimes(thread.Get(), &created, &ended, &kernel, &user)) continue;
    auto ticks = [](const FILETIME& t) {
      return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    total += static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns units
  }
  return total;
}

// The tracker as the wizard's form holds it: no automatic start, the product's key.
void Prepare(TSoftwareStatisticsTracker& tracker, const wchar_t* host) {
  tracker.SetAutoStart(false);
  tracker.SetProductKey(kStatisticsProjectKey);
  TStatEnvironment environment;
  environment.ServiceHost = host;
  tracker.SetEnvironment(environment);
}

// A data folder of its own under the temporary folder: the idle run overlaps other measurements, and
// the wizard's folder must show only what the wizard made.
std::wstring IdleDataRoot() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring root = std::wstring(temp) + L"bench-tracker-idle";
  ::CreateDirectoryW(root.c_str(), nullptr);
  return root;
}

void Pump(DWORD ms) {
  THandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Application->WaitPumping(never.Get(), ms);
}

int MeasureStart(const wchar_t* host) {
  TSoftwareStatisticsTracker tracker;
  Prepare(tracker, host);
  const double start = NowMs();
  tracker.Start();
  std::printf("start_ms=%.1f\n", NowMs() - start);
  return 0;
}

int MeasureIdle(const wchar_t* host, DWORD seconds) {
  TSoftwareStatisticsTracker tracker;
  Prepare(tracker, host);
  TStatEnvironment environment = tracker.Environment();
  environment.LocalAppDataFolder = [root = IdleDataRoot()] { return root; };
  tracker.SetEnvironment(environment);
  const std::set<DWORD> before = ThreadsOfThisProcess();
  tracker.Start();
  Pump(kSettleMs);
  std::set<DWORD> started;
  for (DWORD id : ThreadsOfThisProcess())
    if (!before.count(id)) started.insert(id);
  const double cpuBefore = CpuMs(started), wallBefore = NowMs();
  Pump(seconds * 1000);
  std::printf("cpu_ms=%.1f wall_ms=%.0f threads=%zu\n", CpuMs(started) - cpuBefore, NowMs() - wallBefore,
              started.size());
  return 0;
}

int MeasureMachineId() {
  const double start = NowMs();
  const std::wstring id = ComputeMachineInstallationId(kStatisticsProjectKey);
  std::printf("machineid_ms=%.1f%s\n", NowMs() - start, id.empty() ? " (no identifier)" : "");
  return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  TApplication app;
  app.Initialize();  // COM on the GUI thread, as in the wizard
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if (mode == L"start" && argc == 3) return MeasureStart(argv[2]);
  if (mode == L"idle" && argc == 4) return MeasureIdle(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
  if (mode == L"machineid" && argc == 2) return MeasureMachineId();
  std::fprintf(stderr, "usage: bench_tracker_cost start <host:port> | idle <host:port> <seconds> | machineid\n");
  return 2;
}
