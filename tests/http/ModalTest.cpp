// The blocking calls: a worker runs the transfer while the test's GUI thread keeps handling messages.
#include "tests/http/HttpTestSupport.h"
#include "framework/Application.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include <algorithm>
#include <functional>
#include <new>

namespace {
// A small window with a Cancel button, and a way to run something on the GUI thread after a delay
// while a blocking call waits.
class TCancelWindow {
public:
  TCancelWindow() : Form(L"fmHttpTest", L"HTTP test"), Cancel(&Form, L"btCancel") {
    Form.SetClientSize(240, 120);
    Cancel.SetBounds(60, 40, 120, 32);
    Cancel.SetText(L"Cancel");
    Cancel.OnClick = [this](TWinControl*) {
      ++Clicks;
      HookedAtClick = IsHooked();
    };
    Form.Show();
    Application->ProcessMessages();
    OwnProc = ::GetWindowLongPtrW(Cancel.Handle(), GWLP_WNDPROC);
  }
  // True while the transfer's cancel hook sits on the button.
  bool IsHooked() const { return ::GetWindowLongPtrW(Cancel.Handle(), GWLP_WNDPROC) != OwnProc; }
  POINT ButtonCentre() const {
    RECT rc;
    ::GetWindowRect(Cancel.Handle(), &rc);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }

  TForm Form;
  TButton Cancel;
  int Clicks = 0;
  bool HookedAtClick = false;
  LONG_PTR OwnProc = 0;
};

// Runs the action once on the GUI thread after delayMs (a thread timer, served by the blocking
// call's message handling).
class TDelayedAction {
public:
  TDelayedAction(UINT delayMs, std::function<void()> action) : FAction(std::move(action)) {
    Current = this;
    FTimer = ::SetTimer(nullptr, 0, delayMs, &TDelayedAction::Fire);
  }
  ~TDelayedAction() {
    if (FTimer) ::KillTimer(nullptr, FTimer);
    Current = nullptr;
  }
  bool Done() const { return FDone; }
  DWORD FiredTick = 0;

private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
    TDelayedAction* self = Current;
    if (!self || self->FDone) return;
    ::KillTimer(nullptr, self->FTimer);
    self->FTimer = 0;
    self->FDone = true;
    self->FiredTick = ::GetTickCount();
    self->FAction();
  }
  static inline TDelayedAction* Current = nullptr;  // one pending action at a time, GUI thread only
  std::function<void()> FAction;
  UINT_PTR FTimer = 0;
  bool FDone = false;
};

void SendMouse(DWORD flags, POINT at) {
  ::SetCursorPos(at.x, at.y);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  ::SendInput(1, &input, sizeof(input));
}

void SendKey(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  ::SendInput(1, &input, sizeof(input));
}

// Handles messages for a while (the input sent by SendInput arrives as messages).
void PumpFor(DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < ms) {
    Application->ProcessMessages();
    ::Sleep(10);
  }
}

// One window for all cancel tests: closing a shown window costs Wine two seconds without a window manager.
class HttpModalCancel : public testing::Test {
protected:
  static void SetUpTestSuite() { Window = new TCancelWindow(); }
  static void TearDownTestSuite() {
    delete Window;
    Window = nullptr;
  }
  void SetUp() override {
    Window->Clicks = 0;
    Window->HookedAtClick = false;
    Application->ProcessMessages();
  }
  static inline TCancelWindow* Window = nullptr;
};

// Another subclass of the Cancel button, put on above the transfer's hook.
WNDPROC BelowForeignSubclass = nullptr;
LRESULT CALLBACK ForeignSubclass(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::CallWindowProcW(BelowForeignSubclass, wnd, msg, wParam, lParam);
}

std::wstring SignUpServiceUrl(const TPeerProcess& peer) {
  return Utf8ToWide(peer.BaseUrl("https") + "/store/signup.php");
}
}  // namespace

TEST(HttpModal, PostReturnsTheAnsiDecodedReplyAndLeavesErrorTextAlone) {
  const std::string replies = UniqueTestFile("replies") + ".json";
  WriteLinuxFile(replies, "[\"success||http://localhost/caf\\u00e9.exe\"]");
  TPeerProcess service("signup_service.py", {"--cert", CertsDir() + "/server.pem", "--replies", replies});
  ASSERT_TRUE(service.Started());
  std::wstring response = L"stale", errorText;
  HttpPostFormModal(SignUpServiceUrl(service), {L"tlfFirstName=J\u00FCrgen", L"tlfComments=a b"}, nullptr, response,
                    errorText);
  EXPECT_EQ(errorText, L"");
  EXPECT_EQ(response, L"success||http://localhost/caf\u00E9.exe");  // sent as cp1252 byte E9
  auto recorded = service.Recorded();
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(RecordFields(recorded[0]).at(4), "tlfFirstName=J%C3%BCrgen&tlfComments=a+b");
}

TEST(HttpModal, FailedPostAssignsAnEmptyResponseAndTheErrorText) {
  std::wstring response = L"stale", errorText;
  HttpPostModal(L"http://127.0.0.1:1/store/signup.php", L"a=1", nullptr, response, errorText);
  EXPECT_EQ(response, L"");
  EXPECT_EQ(errorText, WinInetCodeMessage(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_FALSE(errorText.empty());
}

TEST(HttpModal, QuickDownloadReportsAfterTheFirstChunkAndAtTheEnd) {
  TMemoryStream stream;
  TProgressLog progress;
  std::wstring errorText;
  HttpDownloadToStreamModal(TFileServer::Url("/gen/1000"), stream, nullptr, errorText, progress.Handler());
  EXPECT_EQ(errorText, L"");
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), 1000));
  ASSERT_EQ(progress.Reports.size(), 2u);
  for (const auto& report : progress.Reports) {
    EXPECT_EQ(report.Max, 1000);
    EXPECT_EQ(report.Position, 1000);
    EXPECT_EQ(report.Thread, ::GetCurrentThreadId());  // handed over to the GUI thread
  }
}

TEST(HttpModal, ProgressAtMostOncePerSecondWhileTheWindowTimerKeepsFiring) {
  TMemoryStream stream;
  TProgressLog progress;
  std::wstring errorText;
  int timerTicks = 0;
  TTimer timer(L"timerTest", 50);
  timer.OnTimer = [&](TWinControl*) { ++timerTicks; };
  timer.SetEnabled(true);
  const DWORD start = ::GetTickCount();
  HttpDownloadToStreamModal(TFileServer::Url("/gen/200000?rate=80000"), stream, nullptr, errorText,
                            progress.Handler());
  const DWORD elapsed = ::GetTickCount() - start;
  timer.SetEnabled(false);
  EXPECT_EQ(errorText, L"");
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), 200000));
  EXPECT_GE(elapsed, 2000u);
  EXPECT_GE(timerTicks, static_cast<int>(elapsed / 50 / 3));  // the window kept handling its timer

  ASSERT_GE(progress.Reports.size(), 3u);
  EXPECT_LE(progress.Reports.size(), elapsed / 1000 + 2);
  EXPECT_LT(progress.Reports.front().Tick - start, 900u);  // the first chunk is reported at once
  for (size_t i = 1; i + 1 < progress.Reports.size(); ++i)
    EXPECT_GE(progress.Reports[i].Tick - progress.Reports[i - 1].Tick, 950u) << "report " << i;
  EXPECT_EQ(progress.Reports.back().Max, 200000);
  EXPECT_EQ(progress.Reports.back().Position, 200000);
}

TEST(HttpModal, DownloadWithoutContentLengthEndsWithMinusOne) {
  TMemoryStream stream;
  TProgressLog progress;
  std::wstring errorText;
  HttpDownloadToStreamModal(TFileServer::Url("/gen/3000?nolength=1"), stream, nullptr, errorText,
                            progress.Handler());
  EXPECT_EQ(errorText, L"");
  EXPECT_EQ(stream.Data().size(), 3000u);
  ASSERT_EQ(progress.Reports.size(), 2u);
  EXPECT_EQ(progress.Reports.front().Max, -1);
  EXPECT_EQ(progress.Reports.front().Position, 3000);
  EXPECT_EQ(progress.Reports.back().Max, -1);
  EXPECT_EQ(progress.Reports.back().Position, -1);
}

TEST(HttpModal, DownloadCutShortMakesTheFinalReportThenFails) {
  TMemoryStream stream;
  std::wstring errorText;
  std::vector<std::wstring> errorTextAtReport;
  std::vector<int32_t> positions;
  HttpDownloadToStreamModal(TFileServer::Url("/gen/100000?cut=30000"), stream, nullptr, errorText,
                            [&](THttpRequest*, int32_t, int32_t position) {
                              positions.push_back(position);
                              errorTextAtReport.push_back(errorText);
                            },
                            kNoRetries);
  EXPECT_EQ(errorText, L"The download is incomplete: 30000 of 100000 bytes arrived");
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 100000);  // the final report says Position = Max
  EXPECT_EQ(errorTextAtReport.back(), L"");  // made before the error text is set
}

namespace {
// A sink that runs out of memory after its first chunk: an error that is not one of the transfer's own.
class TExhaustedStream : public TMemoryStream {
public:
  void Write(const void* data, size_t count) override {
    if (!Data().empty()) throw std::bad_alloc();
    TMemoryStream::Write(data, count);
  }
};
}  // namespace

// The worker ends on an error nobody on its way catches: the blocking call reports it as the transfer's
// failure, with the system's text, and never as a completed download.
TEST(HttpModal, AnUnexpectedErrorOnTheWorkerIsTheTransfersErrorText) {
  TExhaustedStream stream;
  std::wstring errorText;
  const TTransferEnd end =
      HttpDownloadToStreamModal(TFileServer::Url("/gen/200000?rate=400000"), stream, nullptr, errorText, nullptr);
  EXPECT_EQ(end, TTransferEnd::Completed);
  EXPECT_EQ(errorText, SysErrorMessage(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_FALSE(errorText.empty());
  EXPECT_LT(stream.Data().size(), 200000u);
}

TEST(HttpModal, DownloadFileCreatesAndClosesTheFile) {
  const std::string path = UniqueTestFile("download") + ".bin";
  std::wstring errorText;
  HttpDownloadFileModal(TFileServer::Url("/gen/65536"), WindowsPath(path), nullptr, errorText, nullptr);
  EXPECT_EQ(errorText, L"");
  EXPECT_TRUE(IsGeneratedContent(ReadLinuxFile(path), 65536));
  // Closed again: it can be opened without sharing.
  TFileHandle again(::CreateFileW(WindowsPath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(static_cast<bool>(again));
}

TEST(HttpModal, DownloadFileThatCannotBeCreatedRaisesAndSendsNothing) {
  TPeerProcess server("file_server.py", {});
  ASSERT_TRUE(server.Started());
  const std::wstring fileName = WindowsPath(TestOutDir() + "/no-such-folder/x.bin");
  std::wstring errorText;
  try {
    HttpDownloadFileModal(Utf8ToWide(server.BaseUrl("http") + "/gen/10"), fileName, nullptr, errorText, nullptr);
    FAIL() << "no error raised";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(error.Message(),
              L"Cannot create file \"" + fileName + L"\". " + SysErrorMessage(ERROR_PATH_NOT_FOUND));
  }
  EXPECT_EQ(errorText, L"");
  ::Sleep(200);
  EXPECT_TRUE(server.Recorded().empty());
}

TEST(HttpModal, AWorkerLetGoOfDuringItsTransferIsStoppedAndWaitedFor) {
  TMemoryStream stream;
  auto worker = THttpThread::CreateDownload(TFileServer::Url("/gen/10000000?rate=100000"), nullptr, &stream, kNoRetries);
  worker->Start();
  ::Sleep(500);
  worker.reset();  // while it still reads into its request: stopped, then waited for
  EXPECT_LT(stream.Data().size(), 10000000u);
}

TEST_F(HttpModalCancel, ClickOnCancelStopsTheDownloadPromptlyWithNothingReportedAfterIt) {
  TCancelWindow& window = *Window;
  TMemoryStream stream;
  std::wstring errorText = L"before";
  int reportsAfterCancel = 0, reports = 0;
  TDelayedAction click(1500, [&] {
    SendMouse(MOUSEEVENTF_LEFTDOWN, window.ButtonCentre());
    SendMouse(MOUSEEVENTF_LEFTUP, window.ButtonCentre());
  });
  const DWORD start = ::GetTickCount();
  HttpDownloadToStreamModal(TFileServer::Url("/gen/10000000?rate=100000"), stream, &window.Cancel, errorText,
                            [&](THttpRequest*, int32_t, int32_t) {
                              ++reports;
                              if (!window.IsHooked()) ++reportsAfterCancel;
                            });
  const DWORD elapsed = ::GetTickCount() - start;
  ASSERT_TRUE(click.Done());
  EXPECT_EQ(window.Clicks, 1);
  EXPECT_TRUE(window.HookedAtClick);  // the button's own click ran before the cancel
  EXPECT_FALSE(window.IsHooked());
  EXPECT_LT(elapsed, 8000u) << "100 s of data at the stand-in's rate";
  EXPECT_EQ(errorText, L"before");
  EXPECT_GE(reports, 1);
  EXPECT_EQ(reportsAfterCancel, 0);
  EXPECT_LT(stream.Data().size(), 10000000u);
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), stream.Data().size()));  // what arrived so far
}

TEST_F(HttpModalCancel, CancelDuringTheWaitBeforeARetryEndsItAtOnce) {
  TCancelWindow& window = *Window;
  TMemoryStream stream;
  std::wstring errorText = L"before";
  std::vector<int> retryWaits;  // of each report the caller hears of
  TDelayedAction click(1500, [&] {
    SendMouse(MOUSEEVENTF_LEFTDOWN, window.ButtonCentre());
    SendMouse(MOUSEEVENTF_LEFTUP, window.ButtonCentre());
  });
  const auto end = HttpDownloadToStreamModal(TFileServer::Url("/gen/1000?fail=503&retryafter=30&t=wait"), stream,
                                             &window.Cancel, errorText, [&](THttpRequest* request, int32_t, int32_t) {
                                               retryWaits.push_back(request->RetryWait);
                                             });
  EXPECT_EQ(end, TTransferEnd::StoppedByUser);
  ASSERT_TRUE(click.Done());
  EXPECT_LT(::GetTickCount() - click.FiredTick, 1000u) << "the server asked for 30 s";
  EXPECT_EQ(errorText, L"before");
  EXPECT_EQ(retryWaits, std::vector<int>{1});  // the wait was told at once, and nothing after the cancel
  // The server's Retry-After was followed rather than the first wait of 1 s: no second request came.
  const auto recorded = TFileServer::Peer().Recorded();
  auto isThisDownload = [](const std::string& line) { return line.find("t=wait") != line.npos; };
  EXPECT_EQ(std::count_if(recorded.begin(), recorded.end(), isThisDownload), 1);
}

TEST_F(HttpModalCancel, SpaceOnTheFocusedCancelClicksFirstThenCancelsThePost) {
  const std::string replies = UniqueTestFile("replies") + ".json";
  WriteLinuxFile(replies, "[{\"body\": \"success||late\", \"delay\": 60}]");
  TPeerProcess service("signup_service.py", {"--cert", CertsDir() + "/server.pem", "--replies", replies});
  ASSERT_TRUE(service.Started());
  TCancelWindow& window = *Window;
  ::SetForegroundWindow(window.Form.Handle());
  window.Cancel.SetFocus();
  std::wstring response = L"unchanged", errorText = L"before";
  TDelayedAction press(1000, [&] {
    SendKey(VK_SPACE, false);
    SendKey(VK_SPACE, true);
  });
  const DWORD start = ::GetTickCount();
  HttpPostModal(SignUpServiceUrl(service), L"a=1", &window.Cancel, response, errorText);
  const DWORD elapsed = ::GetTickCount() - start;
  ASSERT_TRUE(press.Done());
  EXPECT_LT(elapsed, 8000u) << "the reply was due after 60 s";
  EXPECT_EQ(window.Clicks, 1);
  EXPECT_TRUE(window.HookedAtClick);
  EXPECT_EQ(response, L"unchanged");
  EXPECT_EQ(errorText, L"before");
}

TEST_F(HttpModalCancel, PressOnCancelMoveOffAndReleaseCancelsWithoutAClick) {
  TCancelWindow& window = *Window;
  TMemoryStream stream;
  std::wstring errorText = L"before";
  TDelayedAction drag(800, [&] {
    POINT at = window.ButtonCentre();
    SendMouse(MOUSEEVENTF_LEFTDOWN, at);
    PumpFor(100);
    SendMouse(MOUSEEVENTF_MOVE, {at.x, at.y + 200});
    PumpFor(100);
    SendMouse(MOUSEEVENTF_LEFTUP, {at.x, at.y + 200});
  });
  const DWORD start = ::GetTickCount();
  HttpDownloadToStreamModal(TFileServer::Url("/gen/100000?stall=5000"), stream, &window.Cancel, errorText, nullptr);
  const DWORD elapsed = ::GetTickCount() - start;
  ASSERT_TRUE(drag.Done());
  EXPECT_LT(elapsed, 8000u) << "the stand-in stalls for 60 s";
  EXPECT_EQ(window.Clicks, 0);
  EXPECT_EQ(errorText, L"before");
  EXPECT_LE(stream.Data().size(), 5000u);  // what arrived so far, as far as WinINet handed it on
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), stream.Data().size()));
}

TEST_F(HttpModalCancel, CancelledFileDownloadLeavesAClosedFileTheCallerCanRemove) {
  TCancelWindow& window = *Window;
  const std::string path = UniqueTestFile("cancelled") + ".bin";
  std::wstring errorText;
  TDelayedAction click(800, [&] {
    SendMouse(MOUSEEVENTF_LEFTDOWN, window.ButtonCentre());
    SendMouse(MOUSEEVENTF_LEFTUP, window.ButtonCentre());
  });
  HttpDownloadFileModal(TFileServer::Url("/gen/1000000?stall=40000"), WindowsPath(path), &window.Cancel, errorText,
                        nullptr);
  ASSERT_TRUE(click.Done());
  EXPECT_EQ(errorText, L"");
  EXPECT_TRUE(::DeleteFileW(WindowsPath(path).c_str())) << ::GetLastError();
  ::Sleep(300);  // the worker, still waiting on the stalled server, must not bring the file back
  EXPECT_EQ(::GetFileAttributesW(WindowsPath(path).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(HttpModalCancel, WithoutACancelButtonClicksDoNotStopTheTransfer) {
  TCancelWindow& window = *Window;
  TMemoryStream stream;
  std::wstring errorText;
  TDelayedAction click(300, [&] {
    SendMouse(MOUSEEVENTF_LEFTDOWN, window.ButtonCentre());
    SendMouse(MOUSEEVENTF_LEFTUP, window.ButtonCentre());
  });
  HttpDownloadToStreamModal(TFileServer::Url("/gen/120000?rate=100000"), stream, nullptr, errorText, nullptr);
  ASSERT_TRUE(click.Done());
  EXPECT_EQ(window.Clicks, 1);
  EXPECT_EQ(errorText, L"");
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), 120000));
}

TEST_F(HttpModalCancel, AButtonSubclassedAboveTheHookKeepsItsOwnProcedureAndStillCancels) {
  TCancelWindow& window = *Window;
  const auto subclass = [&](WNDPROC proc) {
    const LONG_PTR old = ::SetWindowLongPtrW(window.Cancel.Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    return reinterpret_cast<WNDPROC>(old);
  };
  const auto click = [&] {
    SendMouse(MOUSEEVENTF_LEFTDOWN, window.ButtonCentre());
    SendMouse(MOUSEEVENTF_LEFTUP, window.ButtonCentre());
  };
  TMemoryStream stream;
  std::wstring errorText;
  TDelayedAction above(300, [&] { BelowForeignSubclass = subclass(&ForeignSubclass); });
  HttpDownloadToStreamModal(TFileServer::Url("/gen/100000?rate=100000"), stream, &window.Cancel, errorText, nullptr);
  ASSERT_TRUE(above.Done());
  click();
  PumpFor(300);
  EXPECT_EQ(window.Clicks, 1) << "the button's own procedure was skipped";
  TDelayedAction cancel(500, click);  // the next transfer, through the same chain, is cancelled
  HttpDownloadToStreamModal(TFileServer::Url("/gen/10000000?rate=100000"), stream, &window.Cancel, errorText, nullptr);
  EXPECT_EQ(window.Clicks, 2);
  EXPECT_LT(stream.Data().size(), 10000000u);
  subclass(BelowForeignSubclass);
  HttpDownloadToStreamModal(TFileServer::Url("/gen/10"), stream, &window.Cancel, errorText, nullptr);
  EXPECT_FALSE(window.IsHooked());  // the last transfer took the hook out of the chain
}
