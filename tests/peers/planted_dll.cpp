// Stands in for a DLL that a downloads folder holds beside the wizard, named like a system DLL the
// wizard uses (wininet.dll, wintrust.dll, oleacc.dll). Loaded, it appends its own path to the file that
// the environment variable TL_PLANTED_LOG names, as an attacker's code would run with the wizard's rights.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t log[MAX_PATH], path[MAX_PATH];
  if (!::GetEnvironmentVariableW(L"TL_PLANTED_LOG", log, MAX_PATH)) return TRUE;
  const DWORD length = ::GetModuleFileNameW(self, path, MAX_PATH - 2);
  path[length] = L'\r';
  path[length + 1] = L'\n';
  HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return TRUE;
  DWORD written = 0;
  ::WriteFile(file, path, (length + 2) * sizeof(wchar_t), &written, nullptr);
  ::CloseHandle(file);
  return TRUE;
}
