#pragma once
// The boundary of every function that Windows calls: window, subclass, hook and timer procedures,
// thread procedures, enumeration callbacks, COM methods. No C++ exception may cross a frame of Windows:
// the 32-bit build unwinds with tables that cannot pass one, and the process would end.
#include <windows.h>
#include <new>
#include <string>

// Inside a catch block: the message of the exception being handled (the framework's own, a standard
// one's, or the system's text for an internal error when it is neither).
std::wstring CurrentExceptionMessage();
// Inside a catch block: hands the exception being handled to the default error report.
void ReportCurrentException() noexcept;

// Runs the handler; whatever escapes it goes to the default error report.
template <typename Body>
void GuardedCall(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    ReportCurrentException();
  }
}

// The same for a handler with a result: what escapes is reported and `fallback` returned.
template <typename Result, typename Body>
Result GuardedCall(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    ReportCurrentException();
    return fallback;
  }
}

// A COM method: what escapes becomes the caller's error code; nothing is shown.
template <typename Body>
HRESULT GuardedComCall(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

// A thread procedure whose body reports its own errors: what escapes it ends that thread's work, never
// the process.
template <typename Body>
void QuietCall(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}
