#include "framework/SystemLibraries.h"
#include "framework/Strings.h"
#include <string>

namespace {
// Pulled in by the shell, the themes and the COM and crypto layers under their bare names; loaded from
// the system folder first, so that nothing later finds a copy beside the program.
constexpr const wchar_t* kPreloaded[] = {L"uxtheme.dll", L"dwmapi.dll", L"cryptbase.dll", L"userenv.dll", L"propsys.dll"};

// Windows 8 on, and 7 and Vista with update KB2533623.
auto SetDefaultDllDirectoriesFunction() {
  return SystemFunction<BOOL(WINAPI*)(DWORD)>(L"kernel32.dll", "SetDefaultDllDirectories");
}

// Without LOAD_LIBRARY_SEARCH_SYSTEM32 (a system without the update): the full path, and that DLL's own
// folder searched first for what it imports.
HMODULE LoadByFullPath(const wchar_t* name) noexcept {
  wchar_t folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path;
  try {
    path.assign(folder, length).append(L"\\").append(name);
  } catch (...) {
    return nullptr;
  }
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

std::wstring Widened(const char* text) {
  std::wstring wide;
  for (; text && *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
}

// "WININET.dll: <the system's text>", with the function when it is the function that is missing.
std::wstring MissingImportText(const DelayLoadInfo& info, DWORD error) {
  std::wstring what = Widened(info.szDll);
  if (error == ERROR_PROC_NOT_FOUND) {
    what += L", ";
    what += info.dlp.fImportByName ? Widened(info.dlp.szProcName) : L"#" + IntToStr(info.dlp.dwOrdinal);
  }
  return what + L": " + SysErrorMessage(error);
}
}  // namespace

DWORD MissingImportExitCode(unsigned notify, DWORD lastError) noexcept {
  if (lastError != 0) return lastError;
  return notify == dliFailGetProc ? ERROR_PROC_NOT_FOUND : ERROR_MOD_NOT_FOUND;
}

void EndForMissingImport(const DelayLoadInfo& info, DWORD error) noexcept {
  try {
    ::MessageBoxW(nullptr, MissingImportText(info, error).c_str(), nullptr,
                  MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TOPMOST);
  } catch (...) {
    // No text to show: the exit code still says what went wrong.
  }
  // At once: other threads may hold any lock, and nothing of the program may run on.
  ::TerminateProcess(::GetCurrentProcess(), error);
  ::ExitProcess(error);
}

namespace {
// The delay-loaded imports (wininet, version) take the same way as every other load, and only that way:
// when the system folder cannot give the DLL, the helper's own retry by the bare name could find a copy
// beside the program.
FARPROC WINAPI DelayLoadHook(unsigned notify, PDelayLoadInfo info) noexcept {
  if (notify != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  wchar_t name[MAX_PATH];
  if (!::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH)) return nullptr;
  HMODULE module = LoadSystemLibrary(name);
  if (!module) EndForMissingImport(*info, MissingImportExitCode(dliFailLoadLib, ::GetLastError()));
  return reinterpret_cast<FARPROC>(module);
}

// A DLL or function that cannot be had would otherwise end the program with an unhandled exception
// (0xC06D007E), without a word, and the 32-bit build cannot unwind one anyway.
FARPROC WINAPI DelayLoadFailureHook(unsigned notify, PDelayLoadInfo info) noexcept {
  if (info) EndForMissingImport(*info, MissingImportExitCode(notify, info->dwLastError));
  return nullptr;
}
}  // namespace

// The delay-load helper asks these hooks before it loads a DLL and when a load fails (declared by
// delayimp.h).
PfnDliHook __pfnDliNotifyHook2 = DelayLoadHook;
PfnDliHook __pfnDliFailureHook2 = DelayLoadFailureHook;

HMODULE LoadSystemLibrary(const wchar_t* name) noexcept {
  if (SetDefaultDllDirectoriesFunction()) return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return LoadByFullPath(name);
}

void LimitDllSearchToSystem() noexcept {
  if (auto setDefault = SetDefaultDllDirectoriesFunction()) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  else ::SetDllDirectoryW(L"");  // at least not the current folder
  // Kept loaded for the life of the process, as Windows would keep them once pulled in.
  for (const wchar_t* name : kPreloaded) LoadSystemLibrary(name);
}
