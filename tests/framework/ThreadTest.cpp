#include <gtest/gtest.h>
#include "framework/Application.h"
#include "framework/ExtCtrls.h"
#include "framework/Thread.h"
#include <atomic>

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

// Ends a while after its start, and notes when.
class TSleepingThread : public TThread {
public:
  ~TSleepingThread() override { EndBeforeDestruction(); }
  std::atomic<DWORD> EndTick{0};
protected:
  void Execute() override {
    ::Sleep(100);
    EndTick = ::GetTickCount();
  }
};

// For kFloodMs the queue never runs dry: a 1 ms timer whose handler takes kHandlerMs, or posted messages
// whose handler takes as long and posts the next, as a flood of progress reports would.
class TFlood {
public:
  explicit TFlood(bool posted)
      : FWindow(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr)) {
    ::SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(FWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc));
    FTimer.OnTimer = [this](TWinControl*) {
      if (!Serve()) FTimer.SetEnabled(false);
    };
    if (posted) ::PostMessageW(FWindow, kMessage, 0, 0);
    else FTimer.SetEnabled(true);
  }
  ~TFlood() { ::DestroyWindow(FWindow); }
  int Served = 0;
private:
  static constexpr UINT kMessage = WM_APP + 7;
  bool Serve() {
    ++Served;
    ::Sleep(kHandlerMs);
    return ::GetTickCount() - FStart < kFloodMs;
  }
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    auto* self = reinterpret_cast<TFlood*>(::GetWindowLongPtrW(wnd, GWLP_USERDATA));
    if (msg != kMessage || !self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
    if (self->Serve()) ::PostMessageW(wnd, kMessage, 0, 0);
    return 0;
  }
  DWORD FStart = ::GetTickCount();
  TTimer FTimer{L"flood", 1};
  HWND FWindow;
};
}  // namespace

// The queue is never empty, and neither the wait for a worker nor the handling of pending messages may
// stay in it.
TEST(Thread, WaitPumpingEndsSoonAfterTheWorkerWhileMessagesFloodIn) {
  for (bool posted : {false, true}) {
    TFlood flood(posted);
    TSleepingThread worker;
    worker.Start();
    const DWORD start = ::GetTickCount();
    Application->ProcessMessages();
    EXPECT_LT(::GetTickCount() - start, Application->kProcessMessagesBudgetMs + 3 * kHandlerMs) << posted;
    Application->WaitPumping(worker.Handle());
    const DWORD returned = ::GetTickCount();
    ASSERT_NE(worker.EndTick.load(), 0u);
    EXPECT_LT(returned - worker.EndTick, 20 * kHandlerMs) << posted;  // long before the flood ends
    EXPECT_GT(flood.Served, 3) << posted;                            // and it was served meanwhile
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
