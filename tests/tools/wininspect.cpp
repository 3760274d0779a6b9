// Lists the windows of a top-level window (found by its title) as the user would see them, one per line:
//   name|class|visible|enabled|focused|x,y,w,h|text
// Coordinates are relative to the top-level window's client area; the first line describes the
// top-level window itself (its client size). Runs inside the same Wine session as the wizard.
// With "--close" after the title it only posts a close to the window (hidden or not), as a close that
// was queued behind another would arrive.
#include <windows.h>
#include <cstdio>
#include <string>

namespace {
HWND gTop = nullptr;
HWND gFocus = nullptr;

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  for (auto& ch : out) if (ch == '\n' || ch == '\r' || ch == '|') ch = ' ';
  return out;
}

std::wstring WindowText(HWND wnd) {
  wchar_t buffer[4096] = {};
  SendMessageTimeoutW(wnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 2000, nullptr);
  return buffer;
}

std::wstring NameOf(HWND wnd) {
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(wnd, L"TradeloomName")));
  wchar_t name[256] = {};
  if (atom) GlobalGetAtomNameW(atom, name, 256);
  return name;
}

void Print(HWND wnd) {
  wchar_t cls[128] = {};
  GetClassNameW(wnd, cls, 128);
  RECT rc;
  GetWindowRect(wnd, &rc);
  POINT origin{0, 0};
  ClientToScreen(gTop, &origin);
  std::printf("%s|%s|%d|%d|%d|%ld,%ld,%ld,%ld|%s\n", Utf8(NameOf(wnd)).c_str(), Utf8(cls).c_str(),
              IsWindowVisible(wnd) ? 1 : 0, IsWindowEnabled(wnd) ? 1 : 0, wnd == gFocus ? 1 : 0,
              rc.left - origin.x, rc.top - origin.y, rc.right - rc.left, rc.bottom - rc.top,
              Utf8(WindowText(wnd)).c_str());
}

BOOL CALLBACK EachChild(HWND wnd, LPARAM) {
  Print(wnd);
  return TRUE;
}

BOOL CALLBACK FindPopup(HWND wnd, LPARAM pid) {
  DWORD owner = 0;
  GetWindowThreadProcessId(wnd, &owner);
  if (owner == static_cast<DWORD>(pid) && wnd != gTop && IsWindowVisible(wnd)) {
    std::printf("popup|");
    wchar_t cls[128] = {};
    GetClassNameW(wnd, cls, 128);
    std::printf("%s|%s\n", Utf8(cls).c_str(), Utf8(WindowText(wnd)).c_str());
    EnumChildWindows(wnd, [](HWND child, LPARAM) -> BOOL {
      wchar_t c[128] = {};
      GetClassNameW(child, c, 128);
      std::printf("popup-child|%s|%s\n", Utf8(c).c_str(), Utf8(WindowText(child)).c_str());
      return TRUE;
    }, 0);
  }
  return TRUE;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wininspect <window title> [--close]\n");
    return 2;
  }
  gTop = FindWindowW(L"TradeloomForm", argv[1]);  // a message box carries the same title
  if (!gTop) {
    std::fprintf(stderr, "wininspect: no window titled that\n");
    return 1;
  }
  if (argc > 2 && std::wstring(argv[2]) == L"--close") return PostMessageW(gTop, WM_CLOSE, 0, 0) ? 0 : 1;
  DWORD pid = 0;
  DWORD thread = GetWindowThreadProcessId(gTop, &pid);
  GUITHREADINFO info{sizeof(info)};
  if (GetGUIThreadInfo(thread, &info)) gFocus = info.hwndFocus;
  RECT client;
  GetClientRect(gTop, &client);
  std::printf("form|%ld,%ld|%d\n", client.right, client.bottom, IsWindowVisible(gTop) ? 1 : 0);
  EnumChildWindows(gTop, EachChild, 0);
  // Message boxes and other top-level windows of the same process.
  EnumWindows(FindPopup, static_cast<LPARAM>(pid));
  return 0;
}
