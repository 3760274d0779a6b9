#include "tests/install/InstallTestSupport.h"
#include <gtest/gtest.h>
#include <filesystem>
#include "framework/Handles.h"
#include "framework/Strings.h"

std::wstring WinPath(const std::string& linuxPath) {
  std::wstring path = L"Z:" + Utf8ToWide(linuxPath);
  for (auto& ch : path)
    if (ch == L'/') ch = L'\\';
  return path;
}

std::wstring FreshFolder(const std::wstring& name) {
  const char* out = std::getenv("TL_TEST_OUT");
  std::wstring folder = WinPath(out ? out : "/tmp/tl-test-out") + L"\\install\\" + name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

std::wstring InstallerStandIn() { return WinPath(TL_INSTALLER_STANDIN); }
std::wstring AppStandIn() { return WinPath(TL_APP_STANDIN); }

bool FileExists(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ReadTextFile(const std::wstring& path) {
  TFileHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
  if (!in) return {};
  std::string bytes(::GetFileSize(in.Get(), nullptr), '\0');
  DWORD got = 0;
  if (!::ReadFile(in.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return {};
  bytes.resize(got);
  return Utf8ToWide(bytes);
}

void WriteTextFile(const std::wstring& path, const std::string& text) {
  TFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ASSERT_TRUE(out && ::WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

void CopyFileOrFail(const std::wstring& from, const std::wstring& to) {
  ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << "copy to " << WideToUtf8(to);
}

bool WaitForFileContent(const std::wstring& path, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (!ReadTextFile(path).empty()) return true;
    ::Sleep(50);
  }
  return false;
}

std::string ReadBytes(const std::wstring& path) {
  TFileHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes(in ? ::GetFileSize(in.Get(), nullptr) : 0, '\0');
  DWORD got = 0;
  if (!bytes.empty()) ::ReadFile(in.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

std::unique_ptr<TInstallerFile> DownloadedInstaller(const std::wstring& source) {
  auto installer = std::make_unique<TInstallerFile>();
  const std::string bytes = ReadBytes(source);
  installer->Write(bytes.data(), bytes.size());
  installer->Seal();
  return installer;
}

void DeleteProductKey() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, view, 0);
}

void WriteProductAppPath(const std::wstring& folder) {
  TRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                              nullptr), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.Get(), L"Inno Setup: App Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                             static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
}

std::wstring ReadProductAppPath(REGSAM view) {
  wchar_t buffer[MAX_PATH] = {};
  DWORD size = sizeof(buffer);
  TRegKey key;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, KEY_READ | view, key.Out()) != ERROR_SUCCESS ||
      ::RegGetValueW(key.Get(), nullptr, L"Inno Setup: App Path", RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS)
    return {};
  return buffer;
}

TScopedEnv::TScopedEnv(const wchar_t* name, const std::wstring& value) : FName(name) {
  wchar_t old[MAX_PATH] = {};
  DWORD n = ::GetEnvironmentVariableW(name, old, MAX_PATH);
  FHadOld = n > 0 && n < MAX_PATH;
  if (FHadOld) FOld = old;
  ::SetEnvironmentVariableW(name, value.c_str());
}

TScopedEnv::~TScopedEnv() { ::SetEnvironmentVariableW(FName.c_str(), FHadOld ? FOld.c_str() : nullptr); }
