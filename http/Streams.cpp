#include "http/Streams.h"
#include "framework/Exceptions.h"

void TFileStream::Write(const void* data, size_t count) {
  const char* next = static_cast<const char*>(data);
  while (count > 0) {
    DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(FFile.Get(), next, chunk, &written, nullptr)) RaiseLastOSError();
    if (written == 0) RaiseOSError(ERROR_WRITE_FAULT);
    next += written;
    count -= written;
  }
}

void TFileStream::Truncate() {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(FFile.Get(), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(FFile.Get()))
    RaiseLastOSError();
}
