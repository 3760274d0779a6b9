// The local application-data folder and whole-file access.
#include "statistics/StatUtils.h"
#include "framework/FilePaths.h"
#include "framework/SystemLibraries.h"
#include <shlobj.h>
#include <knownfolders.h>
#include <cstring>
#include <memory>

namespace {

struct TCoTaskMemFree {
  void operator()(void* p) const { ::CoTaskMemFree(p); }
};

bool IsVistaOrLater() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  return ::GetVersionExW(&version) && version.dwMajorVersion >= 6;
}

std::wstring TextUpToNul(const wchar_t* buffer) { return std::wstring(buffer); }

// The shell library for the length of one lookup: the one already in the process, or a reference
// of our own where the process has not loaded it yet.
class TShellLibrary {
public:
  TShellLibrary() : FHandle(::GetModuleHandleW(L"shell32.dll")) {
    if (!FHandle) {
      FOwned.Reset(LoadSystemLibrary(L"shell32.dll"));
      FHandle = FOwned.Get();
    }
  }
  FARPROC Find(const char* name) const { return FHandle ? ::GetProcAddress(FHandle, name) : nullptr; }

private:
  TModule FOwned;
  HMODULE FHandle;
};

}  // namespace

bool TryKnownFolderLocalAppData(std::wstring& path) {
  using TSHGetKnownFolderPath = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
  TShellLibrary shell;
  if (!IsVistaOrLater()) return false;
  auto getKnownFolderPath = reinterpret_cast<TSHGetKnownFolderPath>(shell.Find("SHGetKnownFolderPath"));
  if (!getKnownFolderPath) return false;
  PWSTR raw = nullptr;
  const HRESULT hr = getKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
  std::unique_ptr<wchar_t, TCoTaskMemFree> owned(raw);  // released also on failure
  if (FAILED(hr) || !raw) return false;
  path = raw;
  return true;
}

bool TrySpecialFolderLocalAppData(std::wstring& path) {
  using TSHGetSpecialFolderPathW = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);
  TShellLibrary shell;
  auto getSpecialFolderPath = reinterpret_cast<TSHGetSpecialFolderPathW>(shell.Find("SHGetSpecialFolderPathW"));
  if (!getSpecialFolderPath) return false;
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!getSpecialFolderPath(nullptr, buffer, CSIDL_LOCAL_APPDATA, TRUE)) return false;
  path = TextUpToNul(buffer);
  return true;
}

bool TryFolderPathLocalAppData(std::wstring& path) {
  using TSHGetFolderPathW = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
  TShellLibrary shell;
  auto getFolderPath = reinterpret_cast<TSHGetFolderPathW>(shell.Find("SHGetFolderPathW"));
  if (!getFolderPath) return false;
  wchar_t buffer[MAX_PATH + 1] = {};
  if (FAILED(getFolderPath(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    return false;
  path = TextUpToNul(buffer);
  return true;
}

std::wstring GetLocalAppDataFolder() {
  std::wstring path;
  if (TryKnownFolderLocalAppData(path) || TrySpecialFolderLocalAppData(path) || TryFolderPathLocalAppData(path))
    return path;
  return {};
}

namespace {

// The whole size of the file; false where it cannot be read.
bool QueryFileSize(HANDLE file, std::uint64_t& size) {
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(file, &value)) return false;
  size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool SeekTo(HANDLE file, DWORD method) {
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(file, zero, nullptr, method) != FALSE;
}

// Reads from the current position to the end; refuses files above the readable size.
bool ReadWholeFile(HANDLE file, TStatBytes& bytes) {
  std::uint64_t size = 0;
  if (!QueryFileSize(file, size) || size > kMaxReadableFileSize) return false;
  if (size == 0) return true;
  TStatBytes data(static_cast<size_t>(size));
  DWORD done = 0;
  if (!::ReadFile(file, data.data(), static_cast<DWORD>(size), &done, nullptr)) return false;
  data.resize(done);  // the file may have shrunk since its size was taken
  bytes = std::move(data);
  return true;
}

bool WriteAll(HANDLE file, const TStatBytes& bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    const size_t left = bytes.size() - offset;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD done = 0;
    if (!::WriteFile(file, bytes.data() + offset, chunk, &done, nullptr) || done == 0) return false;
    offset += done;
  }
  return true;
}

}  // namespace

bool ReadFileBytes(const std::wstring& fileName, TStatBytes& bytes) {
  bytes.clear();
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ReadWholeFile(file.Get(), bytes);
}

bool ReadBytesFromHandle(HANDLE file, TStatBytes& bytes) {
  bytes.clear();
  if (file == INVALID_HANDLE_VALUE || !SeekTo(file, FILE_BEGIN)) return false;
  return ReadWholeFile(file, bytes);
}

bool WriteFileBytes(const std::wstring& fileName, const TStatBytes& bytes) {
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && WriteAll(file.Get(), bytes);
}

bool RewriteBytesToHandle(HANDLE file, const TStatBytes& bytes) {
  if (file == INVALID_HANDLE_VALUE) return false;
  // A text at least as long as the old one is written over it before the file is cut, so that a crash in
  // between never leaves the file empty. A shorter one is cut first: no stale tail may ever follow it.
  std::uint64_t size = 0;
  const bool shorter = !QueryFileSize(file, size) || bytes.size() < size;
  if (shorter && (!SeekTo(file, FILE_BEGIN) || !::SetEndOfFile(file))) return false;
  return SeekTo(file, FILE_BEGIN) && WriteAll(file, bytes) && ::SetEndOfFile(file);
}

bool AppendBytesToHandle(HANDLE file, const TStatBytes& bytes) {
  if (file == INVALID_HANDLE_VALUE) return false;
  if (bytes.empty()) return true;
  return SeekTo(file, FILE_END) && WriteAll(file, bytes);
}

bool ReadTextFile(const std::wstring& fileName, std::wstring& text) {
  text.clear();
  TStatBytes bytes;
  if (!ReadFileBytes(fileName, bytes)) return false;
  text = Utf8BytesToText(bytes);
  return true;
}

bool ReadTextFromHandle(HANDLE file, std::wstring& text) {
  text.clear();
  TStatBytes bytes;
  if (!ReadBytesFromHandle(file, bytes)) return false;
  text = Utf8BytesToText(bytes);
  return true;
}

bool WriteTextFile(const std::wstring& fileName, std::wstring_view text) {
  return WriteFileBytes(fileName, TextToUtf8Bytes(text));
}

bool RewriteTextToHandle(HANDLE file, std::wstring_view text) {
  return RewriteBytesToHandle(file, TextToUtf8Bytes(text));
}

bool AppendTextToHandle(HANDLE file, std::wstring_view text) {
  return AppendBytesToHandle(file, TextToUtf8Bytes(text));
}

namespace {

template <typename Visit>
void ForEachPlainFile(std::wstring_view folder, std::wstring_view mask, Visit visit) {
  constexpr DWORD kSkipped =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_REPARSE_POINT;
  WIN32_FIND_DATAW entry;
  TFindHandle find(::FindFirstFileW(JoinPath(folder, mask).c_str(), &entry));
  if (!find) return;
  do {
    if ((entry.dwFileAttributes & kSkipped) == 0) visit(entry);
  } while (::FindNextFileW(find.Get(), &entry));
}

}  // namespace

std::vector<std::wstring> ListFiles(std::wstring_view folder, std::wstring_view mask) {
  std::vector<std::wstring> names;
  ForEachPlainFile(folder, mask, [&](const WIN32_FIND_DATAW& entry) { names.emplace_back(entry.cFileName); });
  return names;
}

std::uint64_t GetFilesSize(std::wstring_view folder, std::wstring_view mask) {
  std::uint64_t total = 0;
  ForEachPlainFile(folder, mask, [&](const WIN32_FIND_DATAW& entry) {
    total += (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
  });
  return total;
}

// ---- The data folder and its files ----------------------------------------------------------

namespace {

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kNotPlainFile = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;

// One level of a path: no folder separator, no stream, nothing that leads up or stays in place.
bool IsPlainName(std::wstring_view name) {
  return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring_view::npos;
}

// Opens the folder itself, not what a link at its place leads to (where the platform allows that), and
// denies everyone its deletion and renaming while the handle is held.
TFileHandle OpenFolder(const std::wstring& path) {
  return TFileHandle(::CreateFileW(path.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool HasAttributes(HANDLE file, DWORD wanted, DWORD refused, DWORD* links = nullptr) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file, &info)) return false;
  if (links) *links = info.nNumberOfLinks;
  return (info.dwFileAttributes & wanted) == wanted && (info.dwFileAttributes & refused) == 0;
}

// A folder that is where it was asked to be, and no link. Wine follows a link to a folder even when
// told not to and then shows no reparse point: there the final path tells.
bool IsPlainFolderAt(HANDLE folder, std::wstring_view finalPath) {
  return HasAttributes(folder, FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_REPARSE_POINT) &&
         SamePath(FinalPathOf(folder), finalPath);
}

// One name, one file, right in the folder. Wine follows a link to a file even when told not to and
// shows no reparse point for it; its final path is then the link's target.
bool IsPlainFileOf(HANDLE file, const TDataFolder& folder, std::wstring_view name) {
  DWORD links = 0;
  return HasAttributes(file, 0, kNotPlainFile, &links) && links == 1 &&
         SamePath(FinalPathOf(file), JoinPath(folder.FinalPath(), name));
}

TFileHandle CreateDataFile(const TDataFolder& folder, std::wstring_view name, DWORD access, DWORD share,
                           DWORD disposition) {
  const std::wstring path = JoinPath(folder.Path(), name);
  return TFileHandle(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, disposition,
                                   FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

}  // namespace

TDataFolder TDataFolder::Open(const std::wstring& root, const std::vector<std::wstring>& levels) {
  TDataFolder folder;
  {
    const TFileHandle rootFolder = OpenFolder(root);
    if (!rootFolder || !HasAttributes(rootFolder.Get(), FILE_ATTRIBUTE_DIRECTORY, 0)) return {};
    folder.FFinalPath = FinalPathOf(rootFolder.Get());
  }
  if (folder.FFinalPath.empty()) return {};
  folder.FPath = root;
  for (const std::wstring& level : levels) {
    if (!IsPlainName(level)) return {};
    folder.FPath = JoinPath(folder.FPath, level);
    folder.FFinalPath = JoinPath(folder.FFinalPath, level);
    // One level at a time, in the level above, which is held and checked already: a name that exists
    // (a link too) is left alone here and looked at through its own handle.
    ::CreateDirectoryW(folder.FPath.c_str(), nullptr);
    TFileHandle handle = OpenFolder(folder.FPath);
    if (!handle || !IsPlainFolderAt(handle.Get(), folder.FFinalPath)) return {};
    folder.FLevels.push_back(std::move(handle));
  }
  return folder;
}

TFileHandle OpenDataFile(const TDataFolder& folder, std::wstring_view name, DWORD access, TDataFileOpen how,
                         DWORD share) {
  if (!folder || !IsPlainName(name)) {
    ::SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  TFileHandle file = CreateDataFile(folder, name, access, share, how == dfNew ? CREATE_NEW : OPEN_EXISTING);
  if (!file && how == dfExistingOrNew && ::GetLastError() == ERROR_FILE_NOT_FOUND)
    file = CreateDataFile(folder, name, access, share, CREATE_NEW);
  if (file && !IsPlainFileOf(file.Get(), folder, name)) {
    file.Reset();
    ::SetLastError(ERROR_ACCESS_DENIED);
  }
  return file;
}

bool ReadDataTextFile(const TDataFolder& folder, std::wstring_view name, std::wstring& text) {
  text.clear();
  const TFileHandle file = OpenDataFile(folder, name, GENERIC_READ, dfExisting);
  return file && ReadTextFromHandle(file.Get(), text);
}

bool WriteNewDataFile(const TDataFolder& folder, std::wstring_view name, const TStatBytes& bytes) {
  const TFileHandle file = OpenDataFile(folder, name, GENERIC_WRITE, dfNew);
  return file && WriteAll(file.Get(), bytes);
}

bool DeleteOpenFile(TFileHandle& file) {
  const bool deleted = DeleteWhenClosed(file.Get());
  file.Reset();
  return deleted;
}

bool RenameOpenFile(HANDLE file, const TDataFolder& folder, std::wstring_view newName, bool replace) {
  if (file == INVALID_HANDLE_VALUE || !folder || !IsPlainName(newName)) return false;
  const std::wstring target = JoinPath(folder.Path(), newName);
  const size_t nameBytes = target.size() * sizeof(wchar_t);
  // Zeroed: no root folder; the name is a full path into the held folder.
  std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, target.data(), nameBytes);
  return ::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size()));
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A file of that name may be replaced when there is none, or when it is a plain file of the folder. A
// link planted after this look is replaced itself by the rename, which never writes where it leads.
bool MayBeReplaced(const TDataFolder& folder, std::wstring_view name) {
  if (OpenDataFile(folder, name, 0, dfExisting, kShareAll)) return true;
  return ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool ReplaceDataTextFile(const TDataFolder& folder, std::wstring_view name, std::wstring_view text) {
  const std::wstring temporary = std::wstring(name) + L".tmp";
  // The leftover of a crash goes, through a checked handle; a refused one stays, and then so does the file.
  if (TFileHandle leftover = OpenDataFile(folder, temporary, DELETE, dfExisting, kShareAll)) DeleteOpenFile(leftover);
  // No sharing: a second writer at the same moment fails here instead of mixing its text in.
  TFileHandle file = OpenDataFile(folder, temporary, GENERIC_WRITE | DELETE, dfNew, 0);
  if (!file) return false;
  if (WriteAll(file.Get(), TextToUtf8Bytes(text)) && ::FlushFileBuffers(file.Get()) && MayBeReplaced(folder, name) &&
      RenameOpenFile(file.Get(), folder, name, true))
    return true;
  DeleteOpenFile(file);
  return false;
}
