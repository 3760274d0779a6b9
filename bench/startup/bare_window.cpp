// The floor of a window's start-up: a plain Win32 program that registers one class, opens one window
// of the wizard's size and paints it with one brush. No framework, no common controls, no pictures.
// Built a second time with TL_PLATFORM_SETUP (and the wizard's manifest): the same window after the
// platform's part of the wizard's start, i.e. the DLLs it imports loaded, COM and the common controls
// (version 6) initialised. What the wizard takes beyond that is its own code. A third build
// (TL_CHILD_WINDOWS) adds the child windows the wizard's input page has (two page controls with a page
// each, three edits, a button), made and painted by Windows alone: the share of Wine's window handling.
#include <windows.h>
#ifdef TL_PLATFORM_SETUP
#include <commctrl.h>
#include <initializer_list>
#include <objbase.h>
#include <oleauto.h>
#include <wininet.h>
#include <winver.h>
#endif

namespace {
constexpr int kClientWidth = 519;
constexpr int kClientHeight = 328;

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(wnd, &ps);
      HBRUSH brush = ::CreateSolidBrush(RGB(7, 104, 137));
      ::FillRect(dc, &ps.rcPaint, brush);
      ::DeleteObject(brush);
      ::EndPaint(wnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
  }
  return ::DefWindowProcW(wnd, msg, wParam, lParam);
}
}  // namespace

#ifdef TL_PLATFORM_SETUP
// One call into each DLL the wizard imports, so that each is loaded at start as the wizard's are.
void SetUpAsTheWizard() {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
  ::InitCommonControlsEx(&icc);
  ::SysFreeString(nullptr);
  ::InternetCloseHandle(nullptr);
  ::GetFileVersionInfoSizeW(L"", nullptr);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS) ::RegCloseKey(key);
}
#endif

#ifdef TL_CHILD_WINDOWS
// The windows of the input page at their design places: what Wine does for them is not the wizard's.
void AddTheInputPagesWindows(HWND form) {
  auto child = [](const wchar_t* cls, DWORD style, HWND parent, int x, int y, int w, int h, const wchar_t* text) {
    return ::CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, x, y, w, h, parent, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
  };
  HWND top = child(L"STATIC", WS_CLIPCHILDREN, form, 0, 0, kClientWidth, 174, L"");
  child(L"STATIC", WS_CLIPCHILDREN, top, 0, 0, kClientWidth, 174, L"");
  HWND bottom = child(L"STATIC", WS_CLIPCHILDREN, form, 0, 174, kClientWidth, 139, L"");
  HWND page = child(L"STATIC", WS_CLIPCHILDREN, bottom, 0, 0, kClientWidth, 139, L"");
  for (int y : {7, 34, 62}) child(L"EDIT", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, page, 140, y, 300, 21, L"");
  child(L"BUTTON", WS_TABSTOP, page, 160, 93, 226, 28, L"Download and install Tradeloom");
}
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#ifdef TL_PLATFORM_SETUP
  SetUpAsTheWizard();
#endif
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"BareWindow";
  ::RegisterClassW(&wc);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rc{0, 0, kClientWidth, kClientHeight};
  ::AdjustWindowRect(&rc, style, FALSE);
  HWND wnd = ::CreateWindowExW(0, wc.lpszClassName, L"Bare window", style, CW_USEDEFAULT, CW_USEDEFAULT,
                               rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, instance, nullptr);
#ifdef TL_CHILD_WINDOWS
  AddTheInputPagesWindows(wnd);
#endif
  ::ShowWindow(wnd, SW_SHOW);
  ::UpdateWindow(wnd);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
