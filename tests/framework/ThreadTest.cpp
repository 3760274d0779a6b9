#include <gtest/gtest.h>
#include "framework/Application.h"
#include "framework/Thread.h"
#include <atomic>

namespace {
class TCountingThread : public TThread {
public:
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

TEST(Thread, WaitPumpingGivesUpAfterItsTimeout) {
  THandle never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DWORD start = ::GetTickCount();
  EXPECT_FALSE(Application->WaitPumping(never.Get(), 200));
  EXPECT_GE(::GetTickCount() - start, 190u);
}
