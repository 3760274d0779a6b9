#pragma once
// Links planted in a folder as any other program of the user could plant them. Wine's CreateSymbolicLinkW
// reports success and makes nothing, so there a symbolic link comes from the Unix side: Wine starts a
// Unix program when asked to (here ln), though without a handle to wait on, so the link is waited for.
// Elsewhere Windows makes it. A hard link is the same call on both.
#include <windows.h>
#include <string>
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "framework/SystemLibraries.h"

inline bool PathExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The Unix name of a path under Wine; empty elsewhere.
inline std::string UnixFileName(const std::wstring& path) {
  auto unixName = SystemFunction<char*(CDECL*)(const wchar_t*)>(L"kernel32.dll", "wine_get_unix_file_name");
  char* name = unixName ? unixName(path.c_str()) : nullptr;
  if (!name) return {};
  std::string text = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return text;
}

// Under Wine only: starts a Unix program with its arguments (as on a Windows command line).
inline bool StartUnixProgram(const wchar_t* program, const std::wstring& arguments) {
  std::wstring commandLine = std::wstring(program) + L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  const THandle process(info.hProcess), thread(info.hThread);
  return true;
}

// Until the path is there (or gone), for at most ten seconds; whether it is.
inline bool WaitForPath(const std::wstring& path, bool there) {
  for (int i = 0; i < 500 && PathExists(path) != there; ++i) ::Sleep(20);
  return PathExists(path) == there;
}

// A symbolic link at link that leads to target (a file or a folder); true once the link is there.
inline bool PlantSymbolicLink(const std::wstring& target, const std::wstring& link) {
  const std::wstring folder = link.substr(0, link.find_last_of(L'\\'));
  const std::string unixTarget = UnixFileName(target), unixFolder = UnixFileName(folder);
  if (unixTarget.empty() || unixFolder.empty()) {
    const bool folderLink = (::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const DWORD kind = folderLink ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    return ::CreateSymbolicLinkW(link.c_str(), target.c_str(), kind | 0x2 /* unprivileged */) && PathExists(link);
  }
  return StartUnixProgram(L"Z:\\bin\\ln", L"-s \"" + Utf8ToWide(unixTarget) + L"\" \"" + Utf8ToWide(unixFolder) + L"/" +
                                            link.substr(folder.size() + 1) + L"\"") &&
         WaitForPath(link, true);
}

inline bool PlantHardLink(const std::wstring& target, const std::wstring& link) {
  return ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr) != FALSE;
}

// Removes a test's folder with everything in it, links included; the tests' links lead to files of the
// same folder. Under Wine a deletion by a link's name deletes where it leads and leaves the link, and
// a link to a file looks like a plain file: what stays is removed from the Unix side (rm never follows
// a link).
inline void RemoveTestTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  TFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (find) {
    do {
      const std::wstring name = entry.cFileName, full = folder + L"\\" + name;
      if (name == L"." || name == L"..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (!::RemoveDirectoryW(full.c_str())) ::DeleteFileW(full.c_str());
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTestTree(full);
      } else {
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
      }
    } while (::FindNextFileW(find.Get(), &entry));
  }
  if (::RemoveDirectoryW(folder.c_str()) || !PathExists(folder)) return;
  const std::string unixFolder = UnixFileName(folder);
  if (!unixFolder.empty() && StartUnixProgram(L"Z:\\bin\\rm", L"-rf \"" + Utf8ToWide(unixFolder) + L"\""))
    WaitForPath(folder, false);
}
