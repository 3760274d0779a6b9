// The installer's protected folder and the one handle that holds the installer from its creation to its start.
#include "install/uInstall.h"
#include "install/uInstallStrings.h"
#include "framework/Exceptions.h"
#include "framework/FilePaths.h"
#include "framework/Strings.h"
#include "framework/SystemLibraries.h"
#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <cwchar>
#include <cwctype>
#include <memory>

namespace {
// SYSTEM and the Administrators have full control, nobody else has any access, nothing is inherited.
constexpr wchar_t kProtectedFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kFolderPrefix[] = L"tl-";
constexpr wchar_t kInstallerPrefix[] = L"tl_";
constexpr wchar_t kInstallerExtension[] = L".exe";
constexpr int kNamesPerParent = 8;  // an existing name is never used: another is tried instead

struct TLocalFree {
  void operator()(void* p) const { ::LocalFree(p); }
};

// The Windows or the system folder (what GetWindowsDirectoryW or GetSystemDirectoryW says); empty when unknown.
std::wstring SystemPath(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = {};
  const UINT n = query(folder, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(folder, n) : std::wstring();
}

std::wstring CommonAppDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  return SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))
             ? std::wstring(folder)
             : std::wstring();
}

std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

// The full path of a process's image, empty where the system cannot tell.
std::wstring ImagePath(HANDLE process) {
  using TQueryFullProcessImageNameW = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  auto query = SystemFunction<TQueryFullProcessImageNameW>(L"kernel32.dll", "QueryFullProcessImageNameW");
  if (!query) return {};
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  path.resize(query(process, 0, path.data(), &size) ? size : 0);
  return path;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

[[noreturn]] void RaiseNoProtectedFolder(DWORD error) {
  throw EOSError(error, FormatText(LoadInstallStr(sNoProtectedFolder), {SysErrorMessage(error)}));
}
}  // namespace

TInstallerFile::TLock::TLock(TInstallerFile& owner, DWORD timeoutMs)
    : FOwner(owner), FHeld(::WaitForSingleObject(owner.FLockHandle.Get(), timeoutMs) == WAIT_OBJECT_0) {}

TInstallerFile::TLock::~TLock() {
  if (FHeld) ::ReleaseMutex(FOwner.FLockHandle.Get());
}

std::vector<std::wstring> TInstallerFile::ProtectedParents() {
  std::vector<std::wstring> parents;
  const std::wstring windows = SystemPath(&::GetWindowsDirectoryW);
  if (!windows.empty()) parents.push_back(windows + L"\\Temp");
  if (std::wstring common = CommonAppDataFolder(); !common.empty()) parents.push_back(common);
  return parents;
}

std::wstring TInstallerFile::RandomName() {
  GUID guid{};
  if (FAILED(::CoCreateGuid(&guid))) return {};
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  std::wstring name;
  for (const wchar_t* p = text; *p; ++p)
    if (iswxdigit(*p)) name += *p;
  return name;
}

TInstallerFile::TInstallerFile(const std::vector<std::wstring>& parents,
                               const std::function<std::wstring()>& folderName) {
  if (!FLockHandle) RaiseLastOSError();
  DWORD lastError = ERROR_PATH_NOT_FOUND;
  for (const std::wstring& parent : parents) {
    for (int attempt = 0; attempt < kNamesPerParent; ++attempt) {
      const std::wstring name = folderName();
      if (name.empty() || MakeFolder(WithoutTrailingSeparator(parent), name)) break;
      lastError = ::GetLastError();
      // Another name may do where this one was taken; where the parent refuses, the next parent may not.
      if (lastError != ERROR_ALREADY_EXISTS && lastError != ERROR_CANT_ACCESS_FILE) break;
    }
    if (FFolder) break;
  }
  if (!FFolder) RaiseNoProtectedFolder(lastError);

  // The folder is new and only administrators may change it: no one else can have made this name.
  const std::wstring suffix = RandomName().substr(0, 4);
  FPath = FFolderPath + L"\\" + kInstallerPrefix + (suffix.empty() ? L"0" : suffix) + kInstallerExtension;
  FFile.Reset(::CreateFileW(FPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!FFile || !::GetFileInformationByHandle(FFile.Get(), &FIdentity)) {
    const DWORD error = ::GetLastError();
    Remove();
    RaiseNoProtectedFolder(error);
  }
}

bool TInstallerFile::MakeFolder(const std::wstring& parent, const std::wstring& name) {
  const std::wstring path = parent + L"\\" + kFolderPrefix + name;
  PSECURITY_DESCRIPTOR raw = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kProtectedFolderSddl, SDDL_REVISION_1, &raw, nullptr))
    return false;
  std::unique_ptr<void, TLocalFree> descriptor(raw);
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
  // Fails for any name that exists, whatever it is (a folder, a file, a link someone planted).
  if (!::CreateDirectoryW(path.c_str(), &attributes)) return false;
  // Held without delete sharing: nobody can rename it, delete it or put a link in its place while it lives.
  TFileHandle folder(::CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | DELETE | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  const bool isPlainFolder = folder && ::GetFileInformationByHandle(folder.Get(), &info) &&
                             (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                             !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  // What was opened must be the folder just made, where it was made; anything else is left as it is.
  if (!isPlainFolder || !SamePath(FinalPathOf(folder.Get()), path)) {
    ::SetLastError(ERROR_CANT_ACCESS_FILE);
    return false;
  }
  FFolder = std::move(folder);
  FFolderPath = path;
  return true;
}

void TInstallerFile::Write(const void* data, size_t count) {
  TLock lock(*this, INFINITE);
  if (FState != TState::Writing) RaiseOSError(ERROR_INVALID_HANDLE);
  WriteToFile(FFile.Get(), data, count);
}

void TInstallerFile::Truncate() {
  TLock lock(*this, INFINITE);
  if (FState != TState::Writing) RaiseOSError(ERROR_INVALID_HANDLE);
  TruncateFile(FFile.Get());
}

void TInstallerFile::Seal() {
  TLock lock(*this, INFINITE);
  if (FState != TState::Writing) RaiseOSError(ERROR_INVALID_HANDLE);
  // A handle cannot give up its write access, and no image starts while a writer holds its file. So the
  // writer hands over to a reader of the same open file (never a new look-up of the path), which then
  // hands over to a reader that shares reading only. Had anyone opened the file for writing or deleting in
  // that moment, the last step fails: no other writer exists once it has succeeded, and the check that
  // follows reads the bytes as they stay.
  TFileHandle bridge(::ReOpenFile(FFile.Get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0));
  if (!bridge) RaiseLastOSError();
  FFile = std::move(bridge);
  TFileHandle reader(::ReOpenFile(FFile.Get(), GENERIC_READ, FILE_SHARE_READ, 0));
  if (!reader) RaiseLastOSError();
  FFile = std::move(reader);
  FState = TState::Sealed;
}

HANDLE TInstallerFile::SealedHandle() const {
  if (FState != TState::Sealed) RaiseOSError(ERROR_INVALID_HANDLE);
  return FFile.Get();
}

std::wstring EnvironmentWithTemp(const wchar_t* environment, const std::wstring& folder) {
  std::wstring block;
  for (const wchar_t* entry = environment; entry && *entry; entry += std::wcslen(entry) + 1) {
    const std::wstring_view variable(entry);
    const std::wstring name = LowerAscii(variable.substr(0, variable.find(L'=', 1)));
    if (name != L"temp" && name != L"tmp") block.append(variable).push_back(L'\0');
  }
  for (const wchar_t* name : {L"TEMP=", L"TMP="}) block.append(name).append(folder).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

THandle TInstallerFile::Start(const std::wstring& commandLine) {
  TLock lock(*this, INFINITE);
  const HANDLE held = SealedHandle();
  // The installer runs elevated too: its own temporary files go into this folder, and its current folder
  // (where a DLL it misses would be looked for) is the system folder, as for any program started elevated,
  // not the user's folders, which the user's other programs can change. (Not this folder: the handle that
  // deletes it bars it as one.)
  const std::unique_ptr<wchar_t, decltype(&::FreeEnvironmentStringsW)> ours(::GetEnvironmentStringsW(),
                                                                          &::FreeEnvironmentStringsW);
  const std::wstring environment = EnvironmentWithTemp(ours.get(), FFolderPath);
  const std::wstring system = SystemPath(&::GetSystemDirectoryW);
  PROCESS_INFORMATION info{};
  if (DWORD error = LaunchProcess(FPath.c_str(), commandLine, SW_HIDE, CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                                  info, environment.c_str(), system.empty() ? nullptr : system.c_str()))
    RaiseOSError(error);
  THandle process(info.hProcess);
  THandle thread(info.hThread);
  // The path was looked up once more by the start: run only the image that is the held, checked file.
  if (!SamePath(ImagePath(process.Get()), FinalPathOf(held))) {
    ::TerminateProcess(process.Get(), ERROR_ACCESS_DENIED);
    throw Exception(LoadInstallStr(sInstallerNotTheCheckedFile));
  }
  HANDLE watch = nullptr;
  if (::DuplicateHandle(::GetCurrentProcess(), process.Get(), ::GetCurrentProcess(), &watch, SYNCHRONIZE, FALSE, 0))
    FProcess.Reset(watch);
  if (::ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
    const DWORD error = ::GetLastError();
    ::TerminateProcess(process.Get(), error);
    RaiseOSError(error);
  }
  return process;
}

bool TInstallerFile::InstallerRunning() const {
  return FProcess && ::WaitForSingleObject(FProcess.Get(), 0) == WAIT_TIMEOUT;
}

bool TInstallerFile::DeleteFileNow() {
  if (!FFile) return true;
  if (FState == TState::Writing) {
    const bool deleted = DeleteWhenClosed(FFile.Get());
    FFile.Reset();
    return deleted;
  }
  // The sealed reader cannot delete: a handle that can is opened on the same name and must find the same
  // file (the folder is held and only administrators may change it, so it does).
  FFile.Reset();
  TFileHandle deleter(::CreateFileW(FPath.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  return deleter && ::GetFileInformationByHandle(deleter.Get(), &info) && SameFile(info, FIdentity) &&
         DeleteWhenClosed(deleter.Get());
}

void TInstallerFile::Remove() noexcept {
  TLock lock(*this, kRemoveWaitMs);
  if (FState == TState::Removed || !FFolder) return;
  // A check that does not end in time, or an installer that still runs, keeps the file in use: both go at
  // the next restart then, and the installer is left to finish its work.
  const bool inUse = !lock || InstallerRunning();
  const bool removed = !inUse && DeleteFileNow() && DeleteWhenClosed(FFolder.Get());
  if (lock) {
    FState = TState::Removed;
    FFile.Reset();
    FFolder.Reset();
  }
  if (!removed) ScheduleRemoval();
}

void TInstallerFile::ScheduleRemoval() noexcept {
  // The names cannot be redirected meanwhile: only administrators may change the folder.
  ::MoveFileExW(FPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  ::MoveFileExW(FFolderPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
