// Stands in for the installed application in tests: it records each start, with the exact command line it
// was given, as one UTF-8 line of "started.txt" beside itself, and ends at once.
#include <windows.h>
#include <string>
#include "framework/Handles.h"

namespace {
std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring own(path, n);
  return own.substr(0, own.find_last_of(L'\\') + 1);
}

std::string ToUtf8(const std::wstring& text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

bool AppendLine(const std::wstring& file, const std::wstring& line) {
  TFileHandle out(::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  std::string bytes = ToUtf8(line) + "\n";
  DWORD written = 0;
  return ::WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  return AppendLine(OwnFolder() + L"started.txt", ::GetCommandLineW()) ? 0 : 1;
}
