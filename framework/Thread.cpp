#include "framework/Thread.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"

TThread::TThread() {
  FHandle.Reset(::CreateThread(nullptr, 0, &TThread::ThreadProc, this, CREATE_SUSPENDED, &FThreadID));
  if (!FHandle) RaiseLastOSError();
}

TThread::~TThread() {
  // A thread that never started is simply dropped; a started one must have ended before its object
  // goes (owners wait for it), but wait here too rather than free memory a thread still uses.
  if (FStarted) {
    Terminate();
    WaitFor();
  } else if (FHandle) {
    ::TerminateThread(FHandle.Get(), 0);  // never ran a single instruction of ours
  }
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

DWORD WINAPI TThread::ThreadProc(LPVOID self) {
  try {
    static_cast<TThread*>(self)->Execute();
  } catch (...) {
    // A worker's errors are its own to report; none may end the process.
  }
  return 0;
}

void TThread::Synchronize(const std::function<void()>& call) {
  if (Application) Application->SyncCall(call);
  else call();
}
