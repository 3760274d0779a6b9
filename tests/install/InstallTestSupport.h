#pragma once
// Folders, files, the product's uninstall key and the stand-in programs for the installation tests.
#include <windows.h>
#include <memory>
#include <string>
#include "install/uInstall.h"

inline constexpr wchar_t kProductUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{C5D3E1A0-7B2F-4C69-9E84-31F0A6D2B7C5}_is1";

// A Windows path for a Linux path of the test machine ("Z:" + backslashes).
std::wstring WinPath(const std::string& linuxPath);
// An empty folder of this test's own under TL_TEST_OUT (Windows path, no trailing backslash).
std::wstring FreshFolder(const std::wstring& name);
std::wstring InstallerStandIn();
std::wstring AppStandIn();

bool FileExists(const std::wstring& path);
std::wstring ReadTextFile(const std::wstring& path);  // UTF-8 file; empty when missing
void WriteTextFile(const std::wstring& path, const std::string& text);
void CopyFileOrFail(const std::wstring& from, const std::wstring& to);
// Waits (bounded) until the file exists and has content; true when it does.
bool WaitForFileContent(const std::wstring& path, DWORD timeoutMs = 10000);

// An installer file as the wizard holds it after its download: the bytes of the source written into a new
// protected folder, sealed. Settings for the installer stand-in go into its folder before it runs.
std::unique_ptr<TInstallerFile> DownloadedInstaller(const std::wstring& source);
std::string ReadBytes(const std::wstring& path);

void DeleteProductKey();  // in both registry views
void WriteProductAppPath(const std::wstring& folder);
std::wstring ReadProductAppPath(REGSAM view = 0);  // empty when the key or value is missing

// Sets an environment variable of the test process (inherited by the programs it starts) for a scope.
class TScopedEnv {
public:
  TScopedEnv(const wchar_t* name, const std::wstring& value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;
private:
  std::wstring FName, FOld;
  bool FHadOld;
};
