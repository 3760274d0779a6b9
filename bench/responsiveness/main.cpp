// Responsiveness of the wizard's window while it downloads: the wizard's own window on its download
// page (gauge, Cancel button, slideshow), its progress handler, and HttpDownloadFileModal pumping the
// messages. Two probes run on the GUI thread meanwhile:
//   posted  a worker posts a message every 10 ms carrying the time it was posted; the latency is the
//           time until the window procedure sees it;
//   timer   a 15 ms window timer; the latency is how much later than 15 ms after the previous one each
//           tick arrives.
// The same probes first run for a while on the same window without a download: the reference.
// Usage: bench_responsiveness <url> <file> <reference seconds>
// Prints one line per phase and probe: "<phase> <probe> n=<count> median_ms=<> p99_ms=<> max_ms=<>",
// then "download bytes=<n> ms=<elapsed>".
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "bench/support/BenchSupport.h"
#include "framework/Application.h"
#include "framework/Handles.h"
#include "framework/Thread.h"
#include "http/uWinInetRequest.h"
#include "wizard/uMain.h"

namespace {
constexpr UINT kProbeMessage = WM_APP + 20;
constexpr UINT_PTR kProbeTimer = 1;
constexpr UINT kTimerIntervalMs = 15;
constexpr DWORD kPostIntervalMs = 10;

// The latencies seen so far, taken out phase by phase.
struct TSamples {
  std::vector<double> Posted, Timer;
  double LastTickMs = 0;
};

// Posts a time-stamped message to the probe window until asked to end.
class TPoster : public TThread {
public:
  explicit TPoster(HWND target) : FTarget(target) {}
  ~TPoster() override { EndBeforeDestruction(); }
protected:
  void Execute() override {
    while (!Terminated()) {
      double stamp = NowMs();
      LPARAM bits;
      static_assert(sizeof(bits) == sizeof(stamp));
      std::memcpy(&bits, &stamp, sizeof(bits));
      ::PostMessageW(FTarget, kProbeMessage, 0, bits);
      ::Sleep(kPostIntervalMs);
    }
  }
private:
  HWND FTarget;
};

LRESULT CALLBACK ProbeWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* samples = reinterpret_cast<TSamples*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
  if (samples && msg == kProbeMessage) {
    double stamp;
    std::memcpy(&stamp, &lParam, sizeof(stamp));
    samples->Posted.push_back(NowMs() - stamp);
    return 0;
  }
  if (samples && msg == WM_TIMER && wParam == kProbeTimer) {
    const double now = NowMs();
    if (samples->LastTickMs > 0) samples->Timer.push_back(std::max(0.0, now - samples->LastTickMs - kTimerIntervalMs));
    samples->LastTickMs = now;
    return 0;
  }
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}

HWND CreateProbeWindow(TSamples& samples) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"BenchLatencyProbe";
  ::RegisterClassW(&wc);
  HWND wnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ::SetWindowLongPtrW(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&samples));
  return wnd;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  // Nearest rank: the smallest value with at least this fraction of the values at or below it.
  const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
  const size_t index = std::min(values.size() - 1, rank == 0 ? 0 : rank - 1);
  return values[index];
}

void Report(const char* phase, const char* probe, const std::vector<double>& values) {
  std::printf("%s %s n=%zu median_ms=%.2f p99_ms=%.2f max_ms=%.2f\n", phase, probe, values.size(),
              Percentile(values, 0.5), Percentile(values, 0.99),
              values.empty() ? -1.0 : *std::max_element(values.begin(), values.end()));
}

void ReportPhase(const char* phase, TSamples& samples) {
  Report(phase, "posted", samples.Posted);
  Report(phase, "timer", samples.Timer);
  samples.Posted.clear();
  samples.Timer.clear();
  samples.LastTickMs = 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_responsiveness <url> <file> <reference seconds>\n");
    return 2;
  }
  const std::wstring url = argv[1], fileName = argv[2];
  const DWORD referenceMs = static_cast<DWORD>(_wtoi(argv[3])) * 1000;
  TApplication app;
  app.Initialize();
  auto form = std::make_unique<TfmMain>();
  app.SetMainWindow(form->Handle());
  app.SetMainForm(form.get());
  form->Show();
  // The download page as the main sequence shows it: slideshow on, gauge at 0.
  form->StartPromo();
  form->prMain->SetPosition(0);
  form->ShowBottomPage(form->tsProgress);
  app.ProcessMessages();

  TSamples samples;
  HWND probe = CreateProbeWindow(samples);
  TPoster poster(probe);
  poster.Start();
  ::SetTimer(probe, kProbeTimer, kTimerIntervalMs, nullptr);

  THandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  app.WaitPumping(never.Get(), referenceMs);
  ReportPhase("reference", samples);

  std::wstring errorText;
  const double start = NowMs();
  auto progress = [&form](THttpRequest* request, int32_t max, int32_t position) {
    form->DownloadProgress(request, max, position);
  };
  HttpDownloadFileModal(url, fileName, form->btCancel.get(), errorText, progress);
  const double elapsed = NowMs() - start;
  ReportPhase("download", samples);

  ::KillTimer(probe, kProbeTimer);
  poster.Terminate();
  poster.WaitFor();
  if (!errorText.empty()) {
    std::fprintf(stderr, "download failed: %ls\n", errorText.c_str());
    return 1;
  }
  std::printf("download bytes=%lld ms=%.0f\n", FileSize(fileName), elapsed);
  std::fflush(stdout);
  // As the wizard does: the process ends at once, without tearing the window down.
  ::TerminateProcess(::GetCurrentProcess(), 0);
  return 0;
}
