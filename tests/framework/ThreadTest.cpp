#include <gtest/gtest.h>
#include "framework/Application.h"
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
