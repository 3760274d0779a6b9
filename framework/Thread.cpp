#include "framework/Thread.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"

TThread::TThread() {
  FHandle.Reset(::CreateThread(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &FThreadID));
  if (!FHandle) RaiseLastOSError();
}

TThread::~TThread() {
  // A thread that never started is simply dropped; a started one has ended by now (the subclass's
  // destructor waited), and the wait here only covers a subclass without members of its own.
  if (FStarted) EndBeforeDestruction();
  else if (FHandle) ::TerminateThread(FHandle.Get(), 0);  // never ran a single instruction of ours
}

void TThread::EndBeforeDestruction() noexcept {
  // A thread that releases itself does not wait for itself.
  if (!FStarted || ::GetCurrentThreadId() == FThreadID) return;
  Terminate();
  WaitFor();
}

void TThread::Start() {
  if (FStarted) return;
  FStarted = true;
  ::ResumeThread(FHandle.Get());
}

void TThread::WaitFor() const { ::WaitForSingleObject(FHandle.Get(), INFINITE); }

bool TThread::Finished() const {
  return FStarted && ::WaitForSingleObject(FHandle.Get(), 0) != WAIT_TIMEOUT;
}

DWORD WINAPI TThread::ThreadProc(LPVOID self) noexcept {
  auto* thread = static_cast<TThread*>(self);
  // A worker's errors are its own to report; none may end the process.
  QuietCall([thread] { thread->Execute(); });
  if (thread->FEndState.exchange(esEnded) == esReleaseAtEnd) delete thread;
  return 0;
}

void TThread::ReleaseAtEnd() {
  if (FEndState.exchange(esReleaseAtEnd) == esEnded) delete this;
}

void TThread::Synchronize(const std::function<void()>& call) {
  if (Application) Application->SyncCall(call);
  else call();
}
