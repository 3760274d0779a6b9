// Lists the windows of a top-level window (found by its title) as the user would see them, one per line:
//   name|class|visible|enabled|focused|x,y,w,h|text
// Controls drawn by their page (labels, pictures) follow it with the class "drawn". Coordinates are
// relative to the top-level window's client area; the first line describes the top-level window itself
// (its client size). Runs inside the same Wine session as the wizard.
//   wininspect --msaa <title>       adds what a screen reader reads: |role|name|value|state (hex)
//   wininspect --dpi <dpi> <title>  sends the window WM_DPICHANGED as Windows does when it moves to a
//                                   monitor of that DPI (the suggested rectangle in the window's memory)
// With "--close" after the title it waits (up to 10 s) until the window is hidden, as the first close
// hides it, then posts it two more closes, as closes queued behind the first would arrive; it fails if
// the window went before it was seen hidden.
//   wininspect --pose hidden|hung <seconds> <title>
//                                   stands in for a first wizard for that long: holds the wizard's mutex
//                                   and a window of its class and title, hidden (a wizard that is
//                                   closing) or shown minimised without handling a message (a hung one);
//                                   prints "posing" once it does.
#include <windows.h>
#include <oleacc.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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

IAccessible* AccessibleOf(HWND wnd) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(wnd, OBJID_CLIENT, kIIDAccessible, reinterpret_cast<void**>(&object)))) return nullptr;
  return object;
}

struct TReaderView {
  long Role = -1, State = 0;
  std::wstring Name, Value;
};

// What a screen reader gets of the object (CHILDID_SELF) or of a part it draws (its child id).
TReaderView ReaderView(IAccessible* object, long child) {
  TReaderView view;
  VARIANT id, role, state;
  id.vt = VT_I4;
  id.lVal = child;
  VariantInit(&role);
  VariantInit(&state);
  BSTR name = nullptr, value = nullptr;
  object->get_accRole(id, &role);
  object->get_accName(id, &name);
  object->get_accValue(id, &value);
  object->get_accState(id, &state);
  if (role.vt == VT_I4) view.Role = role.lVal;
  if (state.vt == VT_I4) view.State = state.lVal;
  view.Name = name ? name : L"";
  view.Value = value ? value : L"";
  SysFreeString(name);
  SysFreeString(value);
  return view;
}

// "|role|name|value|state" as a screen reader gets them.
std::string AccessibleFields(const TReaderView& view) {
  char role[32], state[32];
  std::snprintf(role, sizeof(role), "|%ld|", view.Role);
  std::snprintf(state, sizeof(state), "|%lx", static_cast<unsigned long>(view.State));
  return role + Utf8(view.Name) + "|" + Utf8(view.Value) + state;
}

std::string AccessibleFields(HWND wnd) {
  IAccessible* object = AccessibleOf(wnd);
  if (!object) return "|-|-|-|-";
  std::string fields = AccessibleFields(ReaderView(object, CHILDID_SELF));
  object->Release();
  return fields;
}

// The controls a window draws itself (labels and pictures without windows): their names are published
// as "TradeloomName<reader id>" properties of the window, the rest is what a screen reader gets.
void PrintDrawnControls(HWND wnd) {
  std::vector<std::pair<long, std::wstring>> drawn;
  EnumPropsExW(wnd, [](HWND, LPWSTR property, HANDLE data, ULONG_PTR out) -> BOOL {
    constexpr size_t prefix = 13;  // "TradeloomName"
    if (IS_INTRESOURCE(property) || wcsncmp(property, L"TradeloomName", prefix) != 0 || !property[prefix]) return TRUE;
    wchar_t name[256] = {};
    GlobalGetAtomNameW(static_cast<ATOM>(reinterpret_cast<UINT_PTR>(data)), name, 256);
    reinterpret_cast<std::vector<std::pair<long, std::wstring>>*>(out)->emplace_back(_wtol(property + prefix), name);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&drawn));
  if (drawn.empty()) return;
  IAccessible* object = AccessibleOf(wnd);
  if (!object) return;
  std::sort(drawn.begin(), drawn.end());
  POINT origin{0, 0};
  ClientToScreen(gTop, &origin);
  for (const auto& [id, name] : drawn) {
    TReaderView view = ReaderView(object, id);
    VARIANT child;
    child.vt = VT_I4;
    child.lVal = id;
    long x = 0, y = 0, w = 0, h = 0;
    object->accLocation(&x, &y, &w, &h, child);
    const bool visible = IsWindowVisible(wnd) && !(view.State & STATE_SYSTEM_INVISIBLE);
    std::printf("%s|drawn|%d|1|0|%ld,%ld,%ld,%ld|%s%s\n", Utf8(name).c_str(), visible ? 1 : 0, x - origin.x, y - origin.y,
                w, h, Utf8(view.Name).c_str(), gAccessible ? AccessibleFields(view).c_str() : "");
  }
  object->Release();
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
  PrintDrawnControls(wnd);
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

int PostClosesWhenHidden() {
  for (int tries = 0; tries < 1000 && IsWindow(gTop) && IsWindowVisible(gTop); ++tries) Sleep(10);
  const bool posted = !IsWindowVisible(gTop) && PostMessageW(gTop, WM_CLOSE, 0, 0) && PostMessageW(gTop, WM_CLOSE, 0, 0);
  std::printf(posted ? "posted two closes to the hidden window\n" : "the window did not hide within 10 s, or went before it was seen hidden\n");
  return posted ? 0 : 1;
}
int Pose(const std::wstring& how, int seconds, const wchar_t* title) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, L"Local\\Corvanta.Tradeloom.Setup");
  // A holder that was just ended lets go of it a moment later.
  const DWORD taken = mutex && GetLastError() == ERROR_ALREADY_EXISTS ? WaitForSingleObject(mutex, 5000) : WAIT_OBJECT_0;
  if (!mutex || (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED)) {
    std::fprintf(stderr, "wininspect: a wizard runs already\n");
    return 1;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TradeloomForm";
  RegisterClassW(&wc);
  // "bare": the name taken without any wizard window, as any program of the session could.
  HWND window = how == L"bare" ? nullptr
                               : CreateWindowExW(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                                 nullptr, nullptr, wc.hInstance, nullptr);
  if (how == L"hung") ShowWindow(window, SW_SHOWMINIMIZED);
  std::printf("posing\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds) * 1000);  // handles no message meanwhile
  DestroyWindow(window);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return 0;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 5 && std::wstring(argv[1]) == L"--pose") return Pose(argv[2], _wtoi(argv[3]), argv[4]);
  UINT dpi = 0;
  bool close = false;
  const wchar_t* title = nullptr;
  bool usage = false;
  for (int arg = 1; arg < argc; ++arg) {
    const std::wstring option = argv[arg];
    if (option == L"--msaa") gAccessible = true;
    else if (option == L"--dpi" && arg + 1 < argc) dpi = static_cast<UINT>(_wtoi(argv[++arg]));
    else if (option == L"--close" && title) close = true;
    else if (!title) title = argv[arg];
    else usage = true;
  }
  if (!title || usage) {
    std::fprintf(stderr, "usage: wininspect [--msaa] [--dpi <dpi>] <window title> [--close]\n");
    return 2;
  }
  CoInitialize(nullptr);
  gTop = FindWindowW(L"TradeloomForm", title);  // a message box carries the same title
  if (!gTop) {
    std::fprintf(stderr, "wininspect: no window titled that\n");
    return 1;
  }
  if (close) return PostClosesWhenHidden();
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
