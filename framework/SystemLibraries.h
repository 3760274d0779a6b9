#pragma once
// The program runs with administrator rights from wherever it was saved, and a downloads folder collects
// whatever the browser saved there: no DLL may ever come from the program's own folder. Every DLL that
// is not in the import table (which names only KnownDLLs) is loaded from the system folder, by these.
#include <windows.h>
#include <delayimp.h>

// The first thing the program does, before anything can load a DLL: the process's DLL search is the
// system folder alone, and the DLLs that Windows' own DLLs are known to pull in by their bare names are
// loaded from there at once.
void LimitDllSearchToSystem() noexcept;

// A DLL of the system folder, never one of the program's folder or of the search path; none when it
// cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name) noexcept;

// A delay-loaded DLL or function that the system folder cannot give ends the program: a message box with
// the system's text for the error, naming the DLL (and the function), then the process ends with the
// error code (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) as its exit code. Any thread.
[[noreturn]] void EndForMissingImport(const DelayLoadInfo& info, DWORD error) noexcept;
// The exit code for a failed delay-load notification: the system's error, never 0.
DWORD MissingImportExitCode(unsigned notify, DWORD lastError) noexcept;

// A function that older Windows versions lack, looked up by name in a DLL the process has loaded already
// (kernel32, user32) at the moment it is needed; none where it is missing.
template <typename F>
F SystemFunction(const wchar_t* module, const char* name) noexcept {
  HMODULE loaded = ::GetModuleHandleW(module);
  return loaded ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(loaded, name))) : nullptr;
}
