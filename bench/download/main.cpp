// Download benchmark, one way per run:
//   bench_download wizard <url> <file>   HttpDownloadFileModal from a window that pumps messages and
//                                        moves a gauge, as the wizard does
//   bench_download bare <url> <file>     a bare WinINet loop: 16384-byte reads straight into the file,
//                                        no thread, no window
// Prints one line: "<way> bytes=<n> ms=<elapsed> peak_ws=<peak working set in bytes>".
#include <windows.h>
#include <psapi.h>
#include <cstdio>
#include <string>
#include <vector>
#include "framework/Application.h"
#include "framework/Controls.h"
#include "framework/Handles.h"
#include "http/uWinInetRequest.h"

namespace {
SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
}

long long FileSize(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The wizard's way: a window with a gauge and a Cancel button, the gauge moved by the progress
// reports, messages handled in the report as the wizard's handler does.
// Only the transfer is timed (elapsedMs), not the making of the window.
bool DownloadLikeTheWizard(const std::wstring& url, const std::wstring& fileName, std::wstring& errorText,
                           DWORD& elapsedMs) {
  TForm form(L"fmBench", L"Download benchmark");
  form.SetClientSize(300, 100);
  TGauge gauge(&form, L"prMain");
  gauge.SetBounds(10, 10, 280, 24);
  TButton cancel(&form, L"btCancelDownload");
  cancel.SetBounds(110, 50, 80, 28);
  form.Show();
  Application->ProcessMessages();
  const DWORD start = ::GetTickCount();
  HttpDownloadFileModal(url, fileName, &cancel, errorText, [&](THttpRequest*, int32_t max, int32_t position) {
    gauge.SetMax(max);
    gauge.SetPosition(position);
    Application->ProcessMessages();
  });
  elapsedMs = ::GetTickCount() - start;
  return errorText.empty();
}

// The reference: the platform's own loop, nothing around it.
bool DownloadBare(const std::wstring& url, const std::wstring& fileName, std::wstring& errorText, DWORD& elapsedMs) {
  const DWORD start = ::GetTickCount();
  TUrlParts parts = SplitUrl(url);
  TInternetHandle session(::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  TInternetHandle connection(::InternetConnectW(session.Get(), parts.Host.c_str(), PortNumber(parts.Port), nullptr,
                                                nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  TInternetHandle request(::HttpOpenRequestW(connection.Get(), L"POST", parts.Path.c_str(), nullptr, nullptr, nullptr,
                                             RequestFlags(false), 0));
  if (!request || !::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) {
    errorText = WinInetCodeMessage(::GetLastError());
    return false;
  }
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::vector<char> buffer(16384);
  DWORD read = 0, written = 0;
  while (::InternetReadFile(request.Get(), buffer.data(), 16384, &read) && read > 0)
    ::WriteFile(file.Get(), buffer.data(), read, &written, nullptr);
  elapsedMs = ::GetTickCount() - start;
  return true;
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
  DWORD elapsed = 0;
  bool ok = way == L"wizard" ? DownloadLikeTheWizard(url, fileName, errorText, elapsed)
                             : DownloadBare(url, fileName, errorText, elapsed);
  if (!ok) {
    std::fprintf(stderr, "%ls failed: %ls\n", way.c_str(), errorText.c_str());
    return 1;
  }
  std::printf("%ls bytes=%lld ms=%lu peak_ws=%llu\n", way.c_str(), FileSize(fileName), elapsed,
              static_cast<unsigned long long>(PeakWorkingSet()));
  return 0;
}
