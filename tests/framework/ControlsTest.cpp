#include <gtest/gtest.h>
#include "framework/Application.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/Graphics.h"
#include "framework/StdCtrls.h"
#include "framework/Strings.h"
#include "framework/SystemLibraries.h"
#include "framework/Thread.h"
#include <oleacc.h>
#include <utility>
#include <stdexcept>

TEST(Gauge, PrintsItsPercentage) {
  TForm form(L"form", L"gauge test");
  TGauge gauge(&form, L"gauge");
  EXPECT_EQ(gauge.Text(), L"0%");
  gauge.SetMax(1000);
  gauge.SetPosition(370);
  EXPECT_EQ(gauge.Text(), L"37%");
  gauge.SetPosition(1000);
  EXPECT_EQ(gauge.Text(), L"100%");
  gauge.SetMax(-1);  // a download without a known size
  gauge.SetPosition(-1);
  EXPECT_EQ(gauge.Text(), L"0%");
  gauge.SetMax(2000000000);  // no overflow on large sizes
  gauge.SetPosition(1999999999);
  EXPECT_EQ(gauge.Text(), L"99%");
}

TEST(Pictures, BadPngDataGivesNothing) {
  const unsigned char junk[] = {0x89, 'P', 'N', 'G', 1, 2, 3};
  EXPECT_FALSE(DecodePng(junk, sizeof(junk)));
  EXPECT_FALSE(DecodePng(junk, 0));
  EXPECT_FALSE(LoadPngResource(L"NO_SUCH_PICTURE"));
}

TEST(Pictures, ResamplingKeepsFlatColoursAndOrientation) {
  // Top row red, bottom row blue (premultiplied, opaque), 2 x 2.
  const uint32_t source[] = {0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu};
  auto scaled = ResamplePixels(source, 2, 2, 3, 3);
  ASSERT_EQ(scaled.size(), 9u);
  EXPECT_EQ(scaled[0], 0xFFFF0000u);  // top-left stays red
  EXPECT_EQ(scaled[8], 0xFF0000FFu);  // bottom-right stays blue
  EXPECT_EQ(scaled[4] >> 24, 0xFFu);  // opaque in between
  EXPECT_TRUE(ResamplePixels(source, 2, 2, 0, 5).empty());
}

TEST(Pictures, ScalingKeepsTheTopAtTheTopWhateverTheRowOrder) {
  for (LONG height : {-2L, 2L}) {  // a top-down and a bottom-up section
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, height, 1, 32, BI_RGB};
    void* bits = nullptr;
    TGdiObject source(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    auto* rows = static_cast<uint32_t*>(bits);
    rows[0] = height < 0 ? 0xFFFF0000u : 0xFF0000FFu;  // the first row in memory is the top when top-down
    rows[1] = height < 0 ? 0xFF0000FFu : 0xFFFF0000u;
    TGdiObject scaled = ScaleBitmap(static_cast<HBITMAP>(source.Get()), 1, 4);
    DIBSECTION dib{};
    ASSERT_EQ(::GetObjectW(scaled.Get(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    auto* out = static_cast<const uint32_t*>(dib.dsBm.bmBits);  // made top-down
    EXPECT_EQ(out[0], 0xFFFF0000u) << height;  // red stays on top
    EXPECT_EQ(out[3], 0xFF0000FFu) << height;
  }
}

namespace {
// A button whose description can be made to fail, as a reader asks for it.
class TFailingButton : public TButton {
public:
  using TButton::TButton;
  std::function<void()> FailDescribe;
protected:
  bool Describe(TAccessibleInfo& info) const override {
    if (FailDescribe) FailDescribe();
    return TButton::Describe(info);
  }
};

constexpr IID kIIDAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}  // namespace

// Whatever a handler or a reader's question throws stops at the boundary with Windows: the 32-bit build
// cannot unwind through Windows' frames and would end the process.
TEST(Boundary, ErrorsOfHandlersAreReportedAndReadersGetAnErrorCode) {
  std::vector<std::wstring> reports;
  Application->OnException = [&reports](const std::wstring& message) { reports.push_back(message); };
  TForm form(L"form", L"boundary test");
  TFailingButton button(&form, L"button");
  button.OnClick = [](TWinControl*) { throw std::runtime_error("standard failure"); };
  const HWND buttonWindow = button.Handle();
  const LPARAM clicked = reinterpret_cast<LPARAM>(buttonWindow);
  ::SendMessageW(::GetParent(buttonWindow), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), clicked);
  TTimer timer(L"timer", 10);
  timer.OnTimer = [&timer](TWinControl*) {
    timer.SetEnabled(false);
    throw 42;
  };
  timer.SetEnabled(true);
  THandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  Application->WaitPumping(never.Get(), 300);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], L"standard failure");
  EXPECT_EQ(reports[1], SysErrorMessage(ERROR_INTERNAL_ERROR));
  EXPECT_FALSE(reports[1].empty());

  TComPtr<IAccessible> reader;
  ASSERT_HRESULT_SUCCEEDED(::AccessibleObjectFromWindow(buttonWindow, OBJID_CLIENT, kIIDAccessible, reader.OutVoid()));
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  button.FailDescribe = [] { throw 7; };
  EXPECT_EQ(reader->get_accName(self, &name), E_FAIL);
  button.FailDescribe = [] { throw std::bad_alloc(); };
  EXPECT_EQ(reader->accDoDefaultAction(self), E_OUTOFMEMORY);
  EXPECT_EQ(reports.size(), 2u);  // a reader's failures are its own, not the user's
  Application->OnException = nullptr;
}

namespace {
// The message box a process shows (the first dialog window of its threads), or none.
struct TBoxSearch {
  DWORD ProcessId;
  HWND Box;
};
BOOL CALLBACK FindProcessBox(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TBoxSearch*>(context);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(window, &pid);
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (pid != search->ProcessId || ::lstrcmpW(className, L"#32770") != 0) return TRUE;
  search->Box = window;
  return FALSE;
}

// The texts of the box's static controls, asked with a time-out (another process's controls).
std::wstring BoxText(HWND box) {
  std::wstring text;
  for (HWND child = ::FindWindowExW(box, nullptr, L"Static", nullptr); child;
       child = ::FindWindowExW(box, child, L"Static", nullptr)) {
    wchar_t buffer[512] = {};
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied);
    text += buffer;
  }
  return text;
}

// Runs tests/framework's missing_import.exe with the argument; closes the box it shows and returns its
// text and the exit code.
std::pair<std::wstring, DWORD> RunMissingImport(const std::wstring& argument) {
  wchar_t self[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring program(self, length);
  program = program.substr(0, program.find_last_of(L'\\') + 1) + L"missing_import.exe";
  std::wstring line = L"\"" + program + L"\" " + argument;
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return {L"not started: " + SysErrorMessage(::GetLastError()), 0};
  THandle process(info.hProcess), thread(info.hThread);
  TBoxSearch search{info.dwProcessId, nullptr};
  std::wstring text;
  // A box is found while it is still being made (slowly, on the emulated stack): its text counts once shown.
  for (int i = 0; i < 600 && text.empty() && ::WaitForSingleObject(process.Get(), 100) == WAIT_TIMEOUT; ++i) {
    search.Box = nullptr;
    ::EnumWindows(&FindProcessBox, reinterpret_cast<LPARAM>(&search));
    if (search.Box && ::IsWindowVisible(search.Box)) text = BoxText(search.Box);
  }
  if (search.Box) ::PostMessageW(search.Box, WM_COMMAND, IDOK, 0);
  if (::WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0) ::TerminateProcess(process.Get(), 999);
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  return {text, code};
}
}  // namespace

// A delay-loaded DLL or function that the system folder cannot give ends the program with the system's
// text and the error as exit code, never with an unhandled exception (0xC06D007E).
TEST(Boundary, AMissingDelayLoadedImportEndsTheProgramWithTheSystemsText) {
  EXPECT_EQ(RunMissingImport(L"none"), std::make_pair(std::wstring(), DWORD{0})) << "the program itself runs";
  const auto [dllText, dllCode] = RunMissingImport(L"dll");
  EXPECT_EQ(dllCode, static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(dllText, L"tl_absent.dll: " + SysErrorMessage(ERROR_MOD_NOT_FOUND));
  const auto [functionText, functionCode] = RunMissingImport(L"function");
  EXPECT_EQ(functionCode, static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(functionText, L"VERSION.dll, TlNoSuchFunction: " + SysErrorMessage(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(MissingImportExitCode(dliFailGetProc, 0), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(MissingImportExitCode(dliFailLoadLib, 0), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(MissingImportExitCode(dliFailLoadLib, ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

namespace {
// A painted control whose painting fails.
class TFailingPaint : public TPaintedControl {
public:
  TFailingPaint(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) {}
  int Paints = 0;
protected:
  void Paint(HDC, const RECT&) override {
    ++Paints;
    throw std::runtime_error("paint failed");
  }
};
}  // namespace

// An error raised while its report shows (here: the report handler lets the failing paint run again, as a
// message box's own loop would) adds no second report on top.
TEST(Boundary, AFailingPaintEndsItsPaintAndReportsAreNotStacked) {
  std::vector<std::wstring> reports;
  TForm form(L"form", L"paint test");
  form.SetClientSize(200, 100);
  TFailingPaint painted(&form, L"painted");
  painted.SetBounds(0, 0, 100, 50);
  const HWND window = painted.Handle();
  Application->OnException = [&](const std::wstring& message) {
    reports.push_back(message);
    ::InvalidateRect(window, nullptr, FALSE);
    ::SendMessageW(window, WM_PAINT, 0, 0);  // fails again under the open report
  };
  ::InvalidateRect(window, nullptr, FALSE);
  ::SendMessageW(window, WM_PAINT, 0, 0);
  EXPECT_EQ(painted.Paints, 2);
  EXPECT_EQ(reports, std::vector<std::wstring>{L"paint failed"});
  Application->OnException = [&](const std::wstring& message) { reports.push_back(message); };
  ::SendMessageW(window, WM_PAINT, 0, 0);
  EXPECT_EQ(painted.Paints, 3);
  EXPECT_EQ(reports.size(), 2u) << "a report after the first has ended is shown again";
  Application->OnException = nullptr;
}
