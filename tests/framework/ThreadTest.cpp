#include <gtest/gtest.h>
#include "framework/Application.h"
#include "framework/ExtCtrls.h"
#include "framework/Exceptions.h"
#include "framework/Strings.h"
#include "framework/Thread.h"
#include <atomic>
#include <functional>
#include <stdexcept>

namespace {
class TCountingThread : public TThread {
public:
  ~TCountingThread() override { EndBeforeDestruction(); }
  DWORD SyncThread = 0;
  int Steps = 0;
protected:
  void Execute() override {
    while (!Terminated() && Steps < 3) {
      ++Steps;
      Synchronize([this] { SyncThread = ::GetCurrentThreadId(); });
    }
  }
};
}  // namespace

TEST(Thread, CreatedSuspendedAndSynchronizeRunsOnTheGuiThread) {
  TCountingThread thread;
  ::Sleep(50);
  EXPECT_EQ(thread.Steps, 0);  // nothing runs before Start
  EXPECT_FALSE(thread.Finished());
  thread.Start();
  Application->WaitPumping(thread.Handle());
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(thread.Steps, 3);
  EXPECT_EQ(thread.SyncThread, ::GetCurrentThreadId());
}

TEST(Thread, SynchronizeRaisesWhenTheCallCannotBeHandedOver) {
  ::DestroyWindow(Application->UtilityWindow());  // as at the end of the program
  TCountingThread thread;
  thread.Start();
  const bool ended = Application->WaitPumping(thread.Handle(), 5000);
  Application->Initialize();  // a hand-over window for the other tests
  EXPECT_TRUE(ended);
  EXPECT_EQ(thread.Steps, 1);  // the first hand-over failed, and the worker knew
}

TEST(Thread, WaitPumpingGivesUpAfterItsTimeout) {
  THandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(Application->WaitPumping(never.Get(), 200));
  EXPECT_GE(::GetTickCount() - start, 190u);
}

namespace {
// Longer than the shortest timer interval Windows keeps (10 ms): a timer of 1 ms is always due again.
constexpr DWORD kHandlerMs = 15;
constexpr DWORD kFloodMs = 5000;
constexpr UINT kFloodMessage = WM_APP + 7;
DWORD gFloodStart = 0;
int gFloodServed = 0;

bool ServeFlood() {
  ++gFloodServed;
  ::Sleep(kHandlerMs);
  return ::GetTickCount() - gFloodStart < kFloodMs;
}

// Each posted message's handler posts the next, as a flood of progress reports would.
LRESULT CALLBACK FloodProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != kFloodMessage) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  if (ServeFlood()) ::PostMessageW(wnd, kFloodMessage, 0, 0);
  return 0;
}
}  // namespace

// For kFloodMs the queue never runs dry (a 1 ms timer whose handler takes longer, or posted messages that
// post again); neither a wait for something that ends after 100 ms nor the handling of pending messages
// may stay in it.
TEST(Thread, WaitPumpingEndsSoonAfterItsHandleWhileMessagesFloodIn) {
  for (bool posted : {false, true}) {
    gFloodStart = ::GetTickCount();
    gFloodServed = 0;
    TTimer timer(L"flood", 1);
    timer.OnTimer = [&timer](TWinControl*) { timer.SetEnabled(ServeFlood()); };
    TWindowHandle window(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr));
    ::SetWindowLongPtrW(window.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FloodProc));
    if (posted) ::PostMessageW(window.Get(), kFloodMessage, 0, 0);
    else timer.SetEnabled(true);
    Application->ProcessMessages();
    EXPECT_LT(::GetTickCount() - gFloodStart, Application->kProcessMessagesBudgetMs + 3 * kHandlerMs) << posted;

    THandle due(::CreateWaitableTimerW(nullptr, TRUE, nullptr));
    LARGE_INTEGER in100ms;
    in100ms.QuadPart = -100 * 10000;
    ::SetWaitableTimer(due.Get(), &in100ms, 0, nullptr, nullptr, FALSE);
    const int servedBefore = gFloodServed;
    const DWORD waitStart = ::GetTickCount();
    EXPECT_TRUE(Application->WaitPumping(due.Get(), kFloodMs));
    EXPECT_LT(::GetTickCount() - waitStart, 100 + 20 * kHandlerMs) << posted;  // long before the flood ends
    EXPECT_GT(gFloodServed, servedBefore) << posted;                          // served meanwhile
  }
}

namespace {
// Ends when told to; reports its own deletion.
class TReleasedThread : public TThread {
public:
  TReleasedThread(HANDLE go, std::atomic<int>& deleted) : FGo(go), FDeleted(deleted) {}
  ~TReleasedThread() override {
    EndBeforeDestruction();
    ++FDeleted;
  }
protected:
  void Execute() override { ::WaitForSingleObject(FGo, 5000); }
private:
  HANDLE FGo;
  std::atomic<int>& FDeleted;
};
}  // namespace

TEST(Thread, ReleaseAtEndDeletesTheObjectWhenItsThreadEnds) {
  THandle go(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<int> deleted{0};
  auto* running = new TReleasedThread(go.Get(), deleted);
  running->Start();
  running->ReleaseAtEnd();  // still running: deleted later, by its own thread
  EXPECT_EQ(deleted, 0);
  ::SetEvent(go.Get());
  for (int i = 0; i < 500 && deleted == 0; ++i) ::Sleep(10);
  EXPECT_EQ(deleted, 1);

  auto* ended = new TReleasedThread(go.Get(), deleted);
  ended->Start();
  ended->WaitFor();
  ended->ReleaseAtEnd();  // already ended: deleted at once
  EXPECT_EQ(deleted, 2);
}

namespace {
// Ends by throwing what it is given; the framework's guard keeps it for the owner.
class TThrowingThread : public TThread {
public:
  explicit TThrowingThread(std::function<void()> body) : FBody(std::move(body)) {}
  ~TThrowingThread() override { EndBeforeDestruction(); }
protected:
  void Execute() override { FBody(); }
private:
  std::function<void()> FBody;
};

std::wstring FatalTextOf(std::function<void()> body) {
  TThrowingThread thread(std::move(body));
  thread.Start();
  Application->WaitPumping(thread.Handle());
  EXPECT_TRUE(thread.Finished());
  EXPECT_EQ(static_cast<bool>(thread.FatalException()), !thread.FatalErrorText().empty());
  return thread.FatalErrorText();
}
}  // namespace

// Whatever escapes a worker's body is its owner's to report, with the system's text where the error has
// none of its own; a body that returns leaves nothing.
TEST(Thread, WhatEscapesTheBodyIsKeptAsTheStepsErrorText) {
  EXPECT_EQ(FatalTextOf([] {}), L"");
  EXPECT_EQ(FatalTextOf([] { throw std::bad_alloc(); }), SysErrorMessage(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(FatalTextOf([] { throw std::length_error("basic_string::_M_create"); }), L"basic_string::_M_create");
  EXPECT_EQ(FatalTextOf([] { throw EOSError(ERROR_ACCESS_DENIED, L"Access is denied"); }), L"Access is denied");
  EXPECT_EQ(FatalTextOf([] { throw 42; }), SysErrorMessage(ERROR_INTERNAL_ERROR));
  EXPECT_EQ(FatalTextOf([] { throw Exception(L""); }), SysErrorMessage(ERROR_INTERNAL_ERROR)) << "never empty";
  EXPECT_FALSE(SysErrorMessage(ERROR_NOT_ENOUGH_MEMORY).empty());
}

// Without the GUI thread's hand-over window (it could not be made) a synchronous call fails on the
// worker, which learns of it; it never runs there instead.
TEST(Thread, WithoutAHandOverWindowSynchronizeRaisesAndNeverRunsTheCallOnTheWorker) {
  TApplication* const program = Application;
  {
    TApplication uninitialized;  // no Initialize: no hand-over window
    TCountingThread thread;
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(thread.Steps, 1);
    EXPECT_EQ(thread.SyncThread, 0u) << "the call ran on the worker";
    EXPECT_EQ(thread.FatalErrorText(), SysErrorMessage(ERROR_INVALID_WINDOW_HANDLE));
  }
  Application = program;
}
