#include "http/Streams.h"
#include "framework/Exceptions.h"

void WriteToFile(HANDLE file, const void* data, size_t count) {
  const char* next = static_cast<const char*>(data);
  while (count > 0) {
    DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(file, next, chunk, &written, nullptr)) RaiseLastOSError();
    if (written == 0) RaiseOSError(ERROR_WRITE_FAULT);
    next += written;
    count -= written;
  }
}

void TruncateFile(HANDLE file) {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !::SetEndOfFile(file))
    RaiseLastOSError();
}
