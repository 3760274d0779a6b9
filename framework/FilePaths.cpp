#include "framework/FilePaths.h"
#include "framework/SystemLibraries.h"

namespace {
std::wstring WithoutLongPathPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return path.replace(0, 8, L"\\\\");
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.erase(0, 4);
  return path;
}
}  // namespace

std::wstring FinalPathOf(HANDLE file) {
  using TGetFinalPathNameByHandleW = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  const auto getFinalPath = SystemFunction<TGetFinalPathNameByHandleW>(L"kernel32.dll", "GetFinalPathNameByHandleW");
  if (!getFinalPath) return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = getFinalPath(file, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    const bool fits = length < path.size();
    path.resize(length);  // the text, or the size it needs with the terminating zero
    if (fits) break;
  }
  return WithoutLongPathPrefix(std::move(path));
}

bool DeleteWhenClosed(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return file != INVALID_HANDLE_VALUE &&
         ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

bool SamePath(std::wstring_view a, std::wstring_view b) {
  std::wstring left = WithoutLongPathPrefix(std::wstring(a)), right = WithoutLongPathPrefix(std::wstring(b));
  if (left.empty() || left.size() != right.size()) return false;
  ::CharUpperBuffW(left.data(), static_cast<DWORD>(left.size()));
  ::CharUpperBuffW(right.data(), static_cast<DWORD>(right.size()));
  return left == right;
}
