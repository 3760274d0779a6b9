// A file of a given size that takes no disk space: the length is set, nothing is written. For the cases
// of files beyond the readers' limits and of a full data folder.
#pragma once
#include <windows.h>
#include <winioctl.h>
#include <cstdint>
#include <string>
#include "framework/Handles.h"

inline bool MakeSparseFile(const std::wstring& fileName, std::uint64_t size) {
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD returned = 0;
  ::DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.Get());
}
