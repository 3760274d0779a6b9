// The wizard's start, step by step from inside: the same steps as its entry (framework, window,
// show with its first paint), each timed, so that a slow start can be put down to one of them.
// The process's own start (from its creation to the entry) is taken from its creation time.
// Prints one line: "entry_ms=<> framework_ms=<> window_ms=<> show_ms=<> after_ms=<>"; after is what the
// window does once painted (the messages it posted to itself: the tracker's start).
#include <windows.h>
#include <cstdio>
#include "bench/support/BenchSupport.h"
#include "framework/Application.h"
#include "wizard/uMain.h"

namespace {
double MsSinceProcessCreation() {
  FILETIME created, exited, kernel, user, now;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
  ::GetSystemTimePreciseAsFileTime(&now);
  auto ticks = [](const FILETIME& t) { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(now) - ticks(created)) / 10000.0;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const double entry = MsSinceProcessCreation();
  const double t0 = NowMs();
  TApplication app;
  app.Initialize();
  const double t1 = NowMs();
  auto form = std::make_unique<TfmMain>();
  app.SetMainWindow(form->Handle());
  app.SetMainForm(form.get());
  const double t2 = NowMs();
  form->Show();  // makes, shows and paints the window and its controls
  const double t3 = NowMs();
  app.ProcessMessages();
  const double t4 = NowMs();
  std::printf("entry_ms=%.1f framework_ms=%.1f window_ms=%.1f show_ms=%.1f after_ms=%.1f\n", entry, t1 - t0,
              t2 - t1, t3 - t2, t4 - t3);
  std::fflush(stdout);
  ::TerminateProcess(::GetCurrentProcess(), 0);
  return 0;
}
