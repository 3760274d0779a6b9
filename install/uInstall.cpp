#include "install/uInstall.h"
#include "install/uInstallStrings.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "framework/SystemLibraries.h"
#include <vector>

namespace {
constexpr wchar_t kInstallerPrefix[] = L"tl_";
constexpr wchar_t kInstallerExtension[] = L".exe";
// The installer's file path is quoted: unquoted, a path with blanks lets Windows try its shorter prefixes
// ("C:\Documents.exe" ...) first, and whatever sits there would run with administrator rights.
constexpr wchar_t kInstallerCommandLine[] = L"\"%s\" /VERYSILENT";
constexpr wchar_t kApplicationCommandLine[] = L"\"%s\"";
constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{C5D3E1A0-7B2F-4C69-9E84-31F0A6D2B7C5}_is1";
constexpr wchar_t kAppPathValue[] = L"Inno Setup: App Path";
constexpr wchar_t kApplicationFile[] = L"%s\\Mercantix_Manager.exe";

std::wstring ReplaceExtension(const std::wstring& path, const wchar_t* extension) {
  size_t dot = path.find_last_of(L'.');
  size_t separator = path.find_last_of(L"\\/:");
  bool hasExtension = dot != std::wstring::npos && (separator == std::wstring::npos || dot > separator);
  return (hasExtension ? path.substr(0, dot) : path) + extension;
}

// Returns 0 with both handles in info, or the error code of the failed start.
DWORD LaunchProcess(const std::wstring& commandLine, WORD showWindow, PROCESS_INFORMATION& info) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showWindow;
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());  // CreateProcessW may write into it
  line.push_back(L'\0');
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return 0;
  DWORD error = ::GetLastError();
  return error ? error : ERROR_INVALID_FUNCTION;
}

// A string value (REG_SZ or REG_EXPAND_SZ, unexpanded) up to its first terminating zero.
bool ReadRegString(HKEY key, const wchar_t* name, std::wstring& value) {
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');  // room for a missing terminator
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS)
    return false;
  value.assign(buffer.data(), ::wcsnlen(buffer.data(), size / sizeof(wchar_t)));
  return true;
}

// Whether this is a 32-bit process on 64-bit Windows; IsWow64Process is looked up (XP SP2 on).
bool RunsUnderWow64() {
  auto isWow64Process = SystemFunction<BOOL(WINAPI*)(HANDLE, PBOOL)>(L"kernel32.dll", "IsWow64Process");
  BOOL wow64 = FALSE;
  return isWow64Process && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

// The registry views the installer may have written its uninstall key to, the process's own first: an
// installer in 64-bit mode writes to the 64-bit view, one in 32-bit mode to the 32-bit view. A 32-bit
// system has one view only.
std::vector<REGSAM> UninstallKeyViews() {
  if constexpr (sizeof(void*) == 8) return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
  if (RunsUnderWow64()) return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  return {0};
}

bool IsExistingFile(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

std::wstring LoadInstallStr(unsigned id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

std::wstring MakeInstallerTempName() {
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);  // a failure leaves the folder empty and the next call fails
  wchar_t name[MAX_PATH + 1] = {};
  if (!::GetTempFileNameW(folder, kInstallerPrefix, 0, name)) RaiseLastOSError();
  return ReplaceExtension(name, kInstallerExtension);
}

bool RunInstallerModal(const std::wstring& installerPath, std::wstring& errorText) {
  // Whatever the caller's variable held before (a download's blank error text) is no verdict on this run.
  errorText.clear();
  try {
    TInstallThread thread(installerPath);
    thread.ErrorTextOut = &errorText;
    thread.Start();
    Application->WaitPumping(thread.Handle());
    thread.WaitFor();  // returns at once unless the pumping wait itself failed
    // Whatever ended the worker unexpectedly is this run's failure, never a silent success.
    if (thread.FatalException()) errorText = thread.FatalErrorText();
  } catch (...) {
    errorText = CurrentExceptionMessage();
  }
  return errorText.empty();
}

void TInstallThread::Execute() {
  try {
    DWORD exitCode = RunProcessAndWait(FormatText(kInstallerCommandLine, {InstallerPath}));
    // Every non-zero exit code of this installer kind means the installation did not complete.
    if (exitCode != 0)
      throw Exception(FormatText(LoadInstallStr(sInstallerFailedWithExitCode), {IntToStr(exitCode)}));
  } catch (const Exception& error) {
    if (ErrorTextOut) *ErrorTextOut = error.Message();
  }
}

DWORD RunProcessAndWait(const std::wstring& commandLine) {
  PROCESS_INFORMATION info{};
  if (DWORD error = LaunchProcess(commandLine, SW_HIDE, info)) RaiseOSError(error);
  THandle process(info.hProcess);
  THandle thread(info.hThread);
  if (::WaitForSingleObject(process.Get(), INFINITE) == WAIT_FAILED) RaiseLastOSError();
  DWORD exitCode = 0;
  if (!::GetExitCodeProcess(process.Get(), &exitCode)) RaiseLastOSError();
  return exitCode;
}

void StartProcess(const std::wstring& commandLine) {
  PROCESS_INFORMATION info{};
  if (LaunchProcess(commandLine, SW_SHOWNORMAL, info) != 0) return;
  THandle process(info.hProcess);
  THandle thread(info.hThread);
}

std::wstring InstalledApplicationPath() {
  // Read access is all this needs; the first view whose key has the value names the folder.
  std::wstring folder;
  bool found = false;
  for (REGSAM view : UninstallKeyViews()) {
    TRegKey key;
    found = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | view, key.Out()) == ERROR_SUCCESS &&
            ReadRegString(key.Get(), kAppPathValue, folder);
    if (found) break;
  }
  if (!found) return {};
  std::wstring application = FormatText(kApplicationFile, {folder});
  return IsExistingFile(application) ? application : std::wstring();
}

void StartInstalledApplication() noexcept {
  try {
    std::wstring application = InstalledApplicationPath();
    if (!application.empty()) StartProcess(FormatText(kApplicationCommandLine, {application}));
  } catch (...) {
    // Nothing is reported from here: the wizard closes either way.
  }
}
