#pragma once
// GoogleTest's place for a platform's own pieces (its gtest/internal/custom/gtest-port.h), found before its
// own where the compiler has no std::mutex: GCC 12 with the win32 thread model, the i686 build's (the
// release's) compiler. GoogleTest builds its Notification, which starts its Windows threads, on
// std::mutex and std::condition_variable; here it is a Windows event.
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
  Notification() : FEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { ::CloseHandle(FEvent); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  // Called on the controlling thread: every waiting thread goes on.
  void Notify() { ::SetEvent(FEvent); }
  void WaitForNotification() { ::WaitForSingleObject(FEvent, INFINITE); }

private:
  HANDLE FEvent;
};

}  // namespace internal
}  // namespace testing
