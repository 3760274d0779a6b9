// Download benchmark, one way per run:
//   bench_download wizard <url> <file>   HttpDownloadFileModal from a window that pumps messages and
//                                        moves a gauge, as the wizard does
//   bench_download bare <url> <file>     a bare WinINet loop: 16384-byte reads straight into the file,
//                                        no thread, no window
// Prints one line: "<way> bytes=<n> ms=<elapsed> peak_ws=<peak working set in bytes>".
#include <windows.h>
#include <cstdio>
#include <string>
#include "bench/support/BenchSupport.h"
#include "framework/Application.h"
#include "framework/ComCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "http/uWinInetRequest.h"

namespace {
// The wizard's way: a window with a gauge and a Cancel button, the gauge moved by the progress
// reports, messages handled in the report as the wizard's handler does.
// Only the transfer is timed, not the making of the window.
bool DownloadLikeTheWizard(const std::wstring& url, const std::wstring& fileName, std::wstring& errorText,
                           double& elapsedMs) {
  TForm form(L"fmBench", L"Download benchmark");
  form.SetClientSize(300, 100);
  TGauge gauge(&form, L"prMain");
  gauge.SetBounds(10, 10, 280, 24);
  TButton cancel(&form, L"btCancelDownload");
  cancel.SetBounds(110, 50, 80, 28);
  form.Show();
  Application->ProcessMessages();
  const double start = NowMs();
  HttpDownloadFileModal(url, fileName, &cancel, errorText, [&](THttpRequest*, int32_t max, int32_t position) {
    gauge.SetMax(max);
    gauge.SetPosition(position);
    Application->ProcessMessages();
  });
  elapsedMs = NowMs() - start;
  return errorText.empty();
}

bool DownloadBareTimed(const std::wstring& url, const std::wstring& fileName, std::wstring& errorText,
                       double& elapsedMs) {
  const double start = NowMs();
  const bool ok = DownloadBare(url, fileName, errorText);
  elapsedMs = NowMs() - start;
  return ok;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_download wizard|bare <url> <file>\n");
    return 2;
  }
  TApplication app;
  app.Initialize();
  const std::wstring way = argv[1], url = argv[2], fileName = argv[3];
  std::wstring errorText;
  double elapsed = 0;
  bool ok = way == L"wizard" ? DownloadLikeTheWizard(url, fileName, errorText, elapsed)
                             : DownloadBareTimed(url, fileName, errorText, elapsed);
  if (!ok) {
    std::fprintf(stderr, "%ls failed: %ls\n", way.c_str(), errorText.c_str());
    return 1;
  }
  std::printf("%ls bytes=%lld ms=%.1f peak_ws=%llu\n", way.c_str(), FileSize(fileName), elapsed,
              static_cast<unsigned long long>(PeakWorkingSet()));
  return 0;
}
