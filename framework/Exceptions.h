#pragma once
// The framework's base exception: every error the program raises carries one message text.
#include <string>
#include <exception>

class Exception : public std::exception {
public:
  explicit Exception(std::wstring message) : FMessage(std::move(message)) {}
  const std::wstring& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return "Exception"; }
private:
  std::wstring FMessage;
};

// Raised when a file cannot be created ("Cannot create file "%s". %s").
class EFCreateError : public Exception {
public:
  using Exception::Exception;
};

// Raised for a failed Windows call, with the system's text for the error code.
class EOSError : public Exception {
public:
  EOSError(unsigned long code, std::wstring message) : Exception(std::move(message)), FCode(code) {}
  unsigned long Code() const noexcept { return FCode; }
private:
  unsigned long FCode;
};

// Raises EOSError for GetLastError() (or the given code) with the system's text.
[[noreturn]] void RaiseLastOSError();
[[noreturn]] void RaiseOSError(unsigned long code);
