// The local application-data folder and whole-file access.
#include "statistics/StatUtils.h"
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

bool DeleteWhenClosed(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return file != INVALID_HANDLE_VALUE &&
         ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

void DeleteOpenFile(TFileHandle& file, const std::wstring& fileName) {
  const bool deleted = DeleteWhenClosed(file.Get());
  file.Reset();
  if (!deleted) ::DeleteFileW(fileName.c_str());
}

bool RenameOpenFile(HANDLE file, const std::wstring& newName) {
  if (file == INVALID_HANDLE_VALUE) return false;
  const size_t nameBytes = newName.size() * sizeof(wchar_t);
  // Zeroed: no replacing of an existing file, no root folder.
  std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->FileNameLength = static_cast<DWORD>(nameBytes);
  std::memcpy(info->FileName, newName.data(), nameBytes);
  return ::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size()));
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

bool ReplaceTextFile(const std::wstring& fileName, std::wstring_view text) {
  const std::wstring temporary = fileName + L".tmp";
  {
    // No sharing: a second writer at the same moment fails here instead of mixing its text in.
    TFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (!WriteAll(file.Get(), TextToUtf8Bytes(text)) || !::FlushFileBuffers(file.Get())) {
      file.Reset();
      ::DeleteFileW(temporary.c_str());
      return false;
    }
  }
  if (::MoveFileExW(temporary.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  ::DeleteFileW(temporary.c_str());
  return false;
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
  constexpr DWORD kSkipped = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
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
