#pragma once
// A lock for the data that threads share: a slim reader/writer lock, held exclusively. The program's own
// rather than std::mutex, which brings a POSIX thread library into the 32-bit program and, through its
// failure path (std::system_error), the library's whole std::string code.
#include <windows.h>

class TLock {
public:
  TLock() noexcept = default;
  TLock(const TLock&) = delete;
  TLock& operator=(const TLock&) = delete;
  // Not recursive: the thread that holds the lock must not acquire it again.
  void Acquire() noexcept { ::AcquireSRWLockExclusive(&FLock); }
  void Release() noexcept { ::ReleaseSRWLockExclusive(&FLock); }

private:
  SRWLOCK FLock = SRWLOCK_INIT;
};

// Holds a lock for its scope.
class TLocked {
public:
  explicit TLocked(TLock& lock) noexcept : FLock(lock) { FLock.Acquire(); }
  ~TLocked() { FLock.Release(); }
  TLocked(const TLocked&) = delete;
  TLocked& operator=(const TLocked&) = delete;

private:
  TLock& FLock;
};
