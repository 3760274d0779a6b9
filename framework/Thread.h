#pragma once
// A worker thread in the style the program's design assumes: created suspended, started, asked to end,
// waited for, and able to run a call on the GUI thread while it waits (Synchronize).
#include <windows.h>
#include <atomic>
#include <functional>
#include "framework/Handles.h"

class TThread {
public:
  TThread();  // created suspended
  // Every subclass's destructor calls EndBeforeDestruction first: by the time this one runs, the
  // subclass's members are gone, and a thread still running would use freed memory.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  // End request: Execute should look at Terminated() and return.
  void Terminate() noexcept { FTerminated = true; }
  bool Terminated() const noexcept { return FTerminated; }
  // Blocks the calling thread (without pumping messages) until the thread has ended.
  void WaitFor() const;
  bool Finished() const;  // the thread has started and ended
  // Gives a started thread's object to the thread itself: it is deleted once Execute has returned
  // (at once, when it already has). The caller must not touch the object afterwards. For a worker
  // whose owner stops waiting for it (a cancelled transfer whose blocking call has not returned yet).
  void ReleaseAtEnd();
  HANDLE Handle() const noexcept { return FHandle.Get(); }
  DWORD ThreadID() const noexcept { return FThreadID; }

protected:
  virtual void Execute() = 0;
  // The first step of every subclass's destructor: asks a started thread to end and waits until it has
  // (without handling messages). Does nothing on the thread itself (an object released at its end).
  void EndBeforeDestruction() noexcept;
  // Runs the call on the GUI thread and waits until it has run. Every waiting loop of the GUI thread
  // handles messages, so the call is served there. Exceptions of the call are swallowed on the GUI
  // side and reported through the default error report. Raises EOSError when the call cannot be handed
  // to the GUI thread; it has not run then.
  static void Synchronize(const std::function<void()>& call);

private:
  static DWORD WINAPI ThreadProc(LPVOID self) noexcept;
  THandle FHandle;
  DWORD FThreadID = 0;
  bool FStarted = false;
  std::atomic<bool> FTerminated{false};
  enum TEndState { esOwned, esReleaseAtEnd, esEnded };
  std::atomic<int> FEndState{esOwned};
};
