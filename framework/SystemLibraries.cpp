#include "framework/SystemLibraries.h"
#include <delayimp.h>
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

// The delay-loaded imports (wininet, version) take the same way as every other load.
FARPROC WINAPI DelayLoadHook(unsigned notify, PDelayLoadInfo info) noexcept {
  if (notify != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  wchar_t name[MAX_PATH];
  if (!::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH)) return nullptr;
  return reinterpret_cast<FARPROC>(LoadSystemLibrary(name));
}
}  // namespace

// The delay-load helper asks this hook before it loads a DLL (declared by delayimp.h).
PfnDliHook __pfnDliNotifyHook2 = DelayLoadHook;

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
