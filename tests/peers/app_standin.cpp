// Stands in for the installed application in tests: it records each start, with the exact command line it
// was given, as one UTF-8 line of "started.txt" beside itself, and the file name of the process that started
// it as a line of "parents.txt", and ends at once.
#include <windows.h>
#include <tlhelp32.h>
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
// The executable file name of the parent process, or "?" where it has ended or cannot be told.
std::wstring ParentName() {
  TFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  DWORD parent = 0;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry))
    if (entry.th32ProcessID == ::GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); parent && more;
       more = ::Process32NextW(snapshot.Get(), &entry))
    if (entry.th32ProcessID == parent) return entry.szExeFile;
  return L"?";
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  const bool parentNoted = AppendLine(OwnFolder() + L"parents.txt", ParentName());
  return AppendLine(OwnFolder() + L"started.txt", ::GetCommandLineW()) && parentNoted ? 0 : 1;
}
