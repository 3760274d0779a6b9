// Lists the windows of a top-level window (found by its title) as the user would see them, one per line:
//   name|class|visible|enabled|focused|x,y,w,h|text
// Coordinates are relative to the top-level window's client area; the first line describes the
// top-level window itself (its client size). Runs inside the same Wine session as the wizard.
//   wininspect --msaa <title>       adds what a screen reader reads: |role|name|value|state (hex)
//   wininspect --dpi <dpi> <title>  sends the window WM_DPICHANGED as Windows does when it moves to a
//                                   monitor of that DPI (the suggested rectangle in the window's memory)
#include <windows.h>
#include <oleacc.h>
#include <cstdio>
#include <string>

namespace {
HWND gTop = nullptr;
HWND gFocus = nullptr;
bool gAccessible = false;
// mingw-w64's oleacc import library gives a code stub for this name instead of the GUID.
constexpr IID kIIDAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

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
  // The wizard's controls publish their names when asked.
  SendMessageTimeoutW(wnd, RegisterWindowMessageW(L"TradeloomPublishName"), 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(wnd, L"TradeloomName")));
  wchar_t name[256] = {};
  if (atom) GlobalGetAtomNameW(atom, name, 256);
  return name;
}

// "|role|name|value|state" as a screen reader gets them through the window's accessible object.
std::string AccessibleFields(HWND wnd) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(wnd, OBJID_CLIENT, kIIDAccessible, reinterpret_cast<void**>(&object))) || !object)
    return "|-|-|-|-";
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  VARIANT role, state;
  VariantInit(&role);
  VariantInit(&state);
  BSTR name = nullptr, value = nullptr;
  object->get_accRole(self, &role);
  object->get_accName(self, &name);
  object->get_accValue(self, &value);
  object->get_accState(self, &state);
  char line[64];
  std::snprintf(line, sizeof(line), "|%ld|", role.vt == VT_I4 ? role.lVal : -1L);
  std::string fields = line + Utf8(name ? name : L"") + "|" + Utf8(value ? value : L"");
  std::snprintf(line, sizeof(line), "|%lx", state.vt == VT_I4 ? static_cast<unsigned long>(state.lVal) : 0ul);
  SysFreeString(name);
  SysFreeString(value);
  object->Release();
  return fields + line;
}

// Sends WM_DPICHANGED with a rectangle as Windows suggests one: the window's size scaled from the DPI
// its client width shows (the design width is 519 pixels), centred on its monitor's work area.
int SendDpiChanged(UINT dpi) {
  RECT window, client;
  GetWindowRect(gTop, &window);
  GetClientRect(gTop, &client);
  const int oldDpi = MulDiv(client.right, 96, 519);
  const int width = MulDiv(window.right - window.left, dpi, oldDpi), height = MulDiv(window.bottom - window.top, dpi, oldDpi);
  MONITORINFO monitor{sizeof(monitor)};
  GetMonitorInfoW(MonitorFromWindow(gTop, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const int left = work.left + (work.right - work.left - width) / 2, top = work.top + (work.bottom - work.top - height) / 2;
  RECT suggested{left, top, left + width, top + height};
  DWORD pid = 0;
  GetWindowThreadProcessId(gTop, &pid);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
  void* remote = process ? VirtualAllocEx(process, nullptr, sizeof(suggested), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
  if (!remote || !WriteProcessMemory(process, remote, &suggested, sizeof(suggested), nullptr)) {
    std::fprintf(stderr, "wininspect: cannot write into the window's process\n");
    return 1;
  }
  DWORD_PTR result = 0;
  SendMessageTimeoutW(gTop, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG, 10000, &result);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  return 0;
}

void Print(HWND wnd) {
  wchar_t cls[128] = {};
  GetClassNameW(wnd, cls, 128);
  RECT rc;
  GetWindowRect(wnd, &rc);
  POINT origin{0, 0};
  ClientToScreen(gTop, &origin);
  std::printf("%s|%s|%d|%d|%d|%ld,%ld,%ld,%ld|%s%s\n", Utf8(NameOf(wnd)).c_str(), Utf8(cls).c_str(),
              IsWindowVisible(wnd) ? 1 : 0, IsWindowEnabled(wnd) ? 1 : 0, wnd == gFocus ? 1 : 0,
              rc.left - origin.x, rc.top - origin.y, rc.right - rc.left, rc.bottom - rc.top,
              Utf8(WindowText(wnd)).c_str(), gAccessible ? AccessibleFields(wnd).c_str() : "");
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
    std::printf("%s|%s%s\n", Utf8(cls).c_str(), Utf8(WindowText(wnd)).c_str(), gAccessible ? AccessibleFields(wnd).c_str() : "");
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
  UINT dpi = 0;
  int arg = 1;
  for (; arg < argc - 1; ++arg) {
    if (std::wstring(argv[arg]) == L"--msaa") gAccessible = true;
    else if (std::wstring(argv[arg]) == L"--dpi" && arg + 1 < argc - 1) dpi = static_cast<UINT>(_wtoi(argv[++arg]));
    else break;
  }
  if (arg != argc - 1) {
    std::fprintf(stderr, "usage: wininspect [--msaa] [--dpi <dpi>] <window title>\n");
    return 2;
  }
  CoInitialize(nullptr);
  gTop = FindWindowW(L"TradeloomForm", argv[arg]);  // a message box carries the same title
  if (!gTop) {
    std::fprintf(stderr, "wininspect: no window titled that\n");
    return 1;
  }
  if (dpi) return SendDpiChanged(dpi);
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
