// Start-up of a GUI program, seen from outside as the user sees it: from CreateProcess to the moment
// its first top-level window is visible, and to the moment that window and every visible window inside
// it have been painted (no update region left anywhere in it). The program is ended afterwards.
// Usage: startup_probe <program> [arguments]
// Prints one line: "visible_ms=<ms> painted_ms=<ms> windows=<the window and the windows inside it>".
#include <windows.h>
#include <cstdio>
#include <string>
#include "bench/support/BenchSupport.h"
#include "framework/Handles.h"

namespace {
constexpr double kGiveUpMs = 30000;

struct TWindowSearch {
  DWORD ProcessId;
  HWND Found;
};

BOOL CALLBACK FindVisibleTopLevel(HWND wnd, LPARAM data) {
  auto* search = reinterpret_cast<TWindowSearch*>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(wnd, &owner);
  if (owner != search->ProcessId || !::IsWindowVisible(wnd)) return TRUE;
  search->Found = wnd;
  return FALSE;
}

HWND VisibleWindowOf(DWORD processId) {
  TWindowSearch search{processId, nullptr};
  ::EnumWindows(FindVisibleTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

bool PaintPending(HWND wnd) {
  RECT rc;
  return ::IsWindowVisible(wnd) && ::GetUpdateRect(wnd, &rc, FALSE);
}

BOOL CALLBACK FindPendingChild(HWND child, LPARAM data) {
  if (!PaintPending(child)) return TRUE;
  *reinterpret_cast<bool*>(data) = true;
  return FALSE;
}

BOOL CALLBACK CountChild(HWND, LPARAM data) {
  ++*reinterpret_cast<int*>(data);
  return TRUE;
}

int WindowCount(HWND top) {
  int count = 1;
  ::EnumChildWindows(top, CountChild, reinterpret_cast<LPARAM>(&count));
  return count;
}

bool FullyPainted(HWND top) {
  if (PaintPending(top)) return false;
  bool pending = false;
  ::EnumChildWindows(top, FindPendingChild, reinterpret_cast<LPARAM>(&pending));
  return !pending;
}

std::wstring CommandLineOf(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += L' ';
    line += L'"' + std::wstring(argv[i]) + L'"';
  }
  return line;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_probe <program> [arguments]\n");
    return 2;
  }
  std::wstring commandLine = CommandLineOf(argc, argv);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  const double start = NowMs();
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "startup_probe: cannot start %ls (error %lu)\n", argv[1], ::GetLastError());
    return 1;
  }
  THandle process(pi.hProcess), thread(pi.hThread);
  double visibleMs = -1, paintedMs = -1;
  int windows = 0;
  while (paintedMs < 0 && NowMs() - start < kGiveUpMs) {
    if (::WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT) break;  // it ended without a window
    if (HWND wnd = VisibleWindowOf(pi.dwProcessId)) {
      if (visibleMs < 0) visibleMs = NowMs() - start;
      if (FullyPainted(wnd)) {
        paintedMs = NowMs() - start;
        windows = WindowCount(wnd);
      }
    }
    if (paintedMs < 0) ::Sleep(1);
  }
  ::TerminateProcess(process.Get(), 0);
  ::WaitForSingleObject(process.Get(), 10000);
  if (paintedMs < 0) {
    std::fprintf(stderr, "startup_probe: %ls showed no painted window\n", argv[1]);
    return 1;
  }
  std::printf("visible_ms=%.1f painted_ms=%.1f windows=%d\n", visibleMs, paintedMs, windows);
  return 0;
}
