#pragma once
// A worker thread in the style the program's design assumes: created suspended, started, asked to end,
// waited for, and able to run a call on the GUI thread while it waits (Synchronize).
#include <windows.h>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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
  // What escaped Execute, once the thread has ended. A worker's body reports the errors it expects;
  // anything else (out of memory, a standard library error, anything) would otherwise end the worker
  // unseen and its step would look like a success, so the blocking calls make it their step's error.
  std::exception_ptr FatalException() const noexcept { return FFatalException; }
  // Its message (the framework's own, or the system's text for it), never empty then; empty when
  // Execute returned.
  std::wstring FatalErrorText() const;

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
  std::exception_ptr FFatalException;  // written by the thread before it ends
  enum TEndState { esOwned, esReleaseAtEnd, esEnded };
  std::atomic<int> FEndState{esOwned};
};

// Runs the call on a worker of its own and waits for it up to timeoutMs, without handling messages: for
// a call that may hang for good (a damaged system component) and must not hold its caller. True when
// the call has run (what escaped it is raised here); false when the time was up: the worker is left
// to end on its own, so the call must own everything it uses. Raises EOSError when no worker can be made.
bool CallWithTimeout(std::function<void()> call, DWORD timeoutMs);

// The same for a call with a result: none when the time was up.
template <typename Result>
std::optional<Result> CallWithTimeout(std::function<Result()> call, DWORD timeoutMs) {
  // The result's place belongs to the call as much as to the caller: a late call writes into it unseen.
  auto result = std::make_shared<std::optional<Result>>();
  if (!CallWithTimeout([result, call = std::move(call)] { *result = call(); }, timeoutMs)) return std::nullopt;
  return std::move(*result);
}
