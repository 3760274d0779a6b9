#include "install/uInstall.h"
#include "install/uInstallStrings.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "framework/SystemLibraries.h"
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <vector>

namespace {
// The installer's file path is quoted: unquoted, a path with blanks lets Windows try its shorter prefixes
// ("C:\Documents.exe" ...) first, and whatever sits there would run with administrator rights. A very silent
// installation that needs a restart would restart Windows at once, and every other program's unsaved work
// would be lost: it reports the need through its exit code instead.
constexpr wchar_t kInstallerCommandLine[] = L"\"%s\" /VERYSILENT /NORESTART /RESTARTEXITCODE=3010";
constexpr wchar_t kApplicationCommandLine[] = L"\"%s\"";
constexpr wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{C5D3E1A0-7B2F-4C69-9E84-31F0A6D2B7C5}_is1";
constexpr wchar_t kAppPathValue[] = L"Inno Setup: App Path";
constexpr wchar_t kApplicationFile[] = L"%s\\Mercantix_Manager.exe";

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

bool RunInstallerModal(TInstallerFile& installer, std::wstring& errorText, bool* restartRequired) {
  // Whatever the caller's variable held before (a download's blank error text) is no verdict on this run.
  errorText.clear();
  try {
    TInstallThread thread(installer);
    thread.ErrorTextOut = &errorText;
    thread.RestartRequiredOut = restartRequired;
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
    const THandle process = FInstaller.Start(FormatText(kInstallerCommandLine, {InstallerPath}));
    const DWORD exitCode = WaitForExitCode(process.Get());
    if (exitCode == kRestartRequiredExitCode) {
      if (RestartRequiredOut) *RestartRequiredOut = true;
      return;
    }
    // Every other non-zero exit code of this installer kind means the installation did not complete.
    if (exitCode != 0)
      throw Exception(FormatText(LoadInstallStr(sInstallerFailedWithExitCode), {IntToStr(exitCode)}));
  } catch (const Exception& error) {
    if (ErrorTextOut) *ErrorTextOut = error.Message();
  }
}

DWORD LaunchProcess(const wchar_t* application, const std::wstring& commandLine, WORD showWindow, DWORD flags,
                    PROCESS_INFORMATION& info, const wchar_t* environment, const wchar_t* currentFolder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showWindow;
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());  // CreateProcessW may write into it
  line.push_back(L'\0');
  if (::CreateProcessW(application, line.data(), nullptr, nullptr, FALSE, flags,
                       const_cast<wchar_t*>(environment), currentFolder, &startup, &info))
    return 0;
  DWORD error = ::GetLastError();
  return error ? error : ERROR_INVALID_FUNCTION;
}

DWORD WaitForExitCode(HANDLE process) {
  if (::WaitForSingleObject(process, INFINITE) == WAIT_FAILED) RaiseLastOSError();
  DWORD exitCode = 0;
  if (!::GetExitCodeProcess(process, &exitCode)) RaiseLastOSError();
  return exitCode;
}

void StartProcess(const std::wstring& commandLine) {
  PROCESS_INFORMATION info{};
  if (LaunchProcess(nullptr, commandLine, SW_SHOWNORMAL, 0, info) != 0) return;
  THandle process(info.hProcess);
  THandle thread(info.hThread);
}

bool RestartWindows() {
  // The restart needs the shutdown privilege, which an administrator's token holds but has not enabled.
  THandle token;
  if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Out())) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
      ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
  }
  return ::ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION |
                                         SHTDN_REASON_FLAG_PLANNED) != FALSE;
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

namespace {
VARIANT* TextVariant(TVariant& variant, const std::wstring& text) {
  V_VT(&variant) = VT_BSTR;
  V_BSTR(&variant) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return &variant;
}

// The shell object of the user's desktop: the desktop window's folder view, through the shell windows.
TComPtr<IShellDispatch2> DesktopShell() {
  TComPtr<IShellWindows> windows;
  if (FAILED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.OutVoid())))
    return {};
  TVariant location, root;
  V_VT(&location) = VT_I4;
  V_I4(&location) = CSIDL_DESKTOP;
  long window = 0;
  TComPtr<IDispatch> desktop;
  TComPtr<IServiceProvider> provider;
  TComPtr<IShellBrowser> browser;
  TComPtr<IShellView> view;
  TComPtr<IDispatch> background;
  TComPtr<IShellFolderViewDual> folderView;
  TComPtr<IDispatch> application;
  TComPtr<IShellDispatch2> shell;
  // S_FALSE: no desktop window is registered.
  if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.Out()) != S_OK ||
      !desktop || FAILED(desktop->QueryInterface(IID_IServiceProvider, provider.OutVoid())) ||
      FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.OutVoid())) ||
      FAILED(browser->QueryActiveShellView(view.Out())) || !view ||
      FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.OutVoid())) ||
      FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.OutVoid())) ||
      FAILED(folderView->get_Application(application.Out())) || !application ||
      FAILED(application->QueryInterface(IID_IShellDispatch2, shell.OutVoid())))
    return {};
  return shell;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
}  // namespace

bool ShellExecuteAsUser(const std::wstring& file) {
  const TComPtr<IShellDispatch2> shell = DesktopShell();
  if (!shell) return false;
  TVariant name, arguments, folder, verb, show;
  TextVariant(name, file);
  TextVariant(arguments, L"");
  TextVariant(folder, FolderOf(file));
  TextVariant(verb, L"open");
  V_VT(&show) = VT_I4;
  V_I4(&show) = SW_SHOWNORMAL;
  // The desktop shell starts the file itself, so the program is its child and runs with its rights.
  return SUCCEEDED(shell->ShellExecute(V_BSTR(&name), arguments.Get(), folder.Get(), verb.Get(), show.Get()));
}

void StartInstalledApplication() noexcept {
  try {
    std::wstring application = InstalledApplicationPath();
    if (application.empty()) return;
    // Started by the wizard, the application would run with administrator rights, and so would every
    // document and plug-in it opens. Only where no desktop shell answers (none is running) does the
    // wizard start it itself.
    if (!ShellExecuteAsUser(application)) StartProcess(FormatText(kApplicationCommandLine, {application}));
  } catch (...) {
    // Nothing is reported from here: the wizard closes either way.
  }
}
