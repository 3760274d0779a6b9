#include "framework/Thread.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "framework/Strings.h"

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
  // Nothing may end the process from here; what escapes is kept for the owner, who reads it after the
  // end. Keeping it allocates nothing: the message is made only when asked for, on the owner's thread.
  try {
    thread->Execute();
  } catch (...) {
    thread->FFatalException = std::current_exception();
  }
  if (thread->FEndState.exchange(esEnded) == esReleaseAtEnd) delete thread;
  return 0;
}

std::wstring TThread::FatalErrorText() const {
  if (!FFatalException) return {};
  try {
    std::rethrow_exception(FFatalException);
  } catch (...) {
    std::wstring text = CurrentExceptionMessage();
    // Never empty: the owner takes an empty text for success.
    return text.empty() ? SysErrorMessage(ERROR_INTERNAL_ERROR) : text;
  }
}

void TThread::ReleaseAtEnd() {
  if (FEndState.exchange(esReleaseAtEnd) == esEnded) delete this;
}

void TThread::Synchronize(const std::function<void()>& call) {
  if (Application) Application->SyncCall(call);
  else call();
}

namespace {
class TCallThread : public TThread {
public:
  explicit TCallThread(std::function<void()> call) : FCall(std::move(call)) {}
  ~TCallThread() override { EndBeforeDestruction(); }
protected:
  void Execute() override { FCall(); }
private:
  std::function<void()> FCall;
};
}  // namespace

bool CallWithTimeout(std::function<void()> call, DWORD timeoutMs) {
  auto worker = std::make_unique<TCallThread>(std::move(call));
  worker->Start();
  if (::WaitForSingleObject(worker->Handle(), timeoutMs) != WAIT_OBJECT_0) {
    worker.release()->ReleaseAtEnd();  // ends whenever the call returns, and deletes itself then
    return false;
  }
  if (std::exception_ptr error = worker->FatalException()) std::rethrow_exception(error);
  return true;
}
