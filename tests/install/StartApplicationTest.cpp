#include <gtest/gtest.h>
#include "install/uInstall.h"
#include "framework/Handles.h"
#include "tests/install/InstallTestSupport.h"

namespace {
class StartApplication : public ::testing::Test {
protected:
  void SetUp() override { DeleteProductKey(); }
  void TearDown() override { DeleteProductKey(); }
};

void SetProductValue(DWORD type, const void* data, DWORD size) {
  TRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                              nullptr), ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key.Get(), L"Inno Setup: App Path", 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
}
}  // namespace

TEST_F(StartApplication, MissingKeyValueOrFileFindsNothingAndReportsNothing) {
  std::wstring emptyFolder = FreshFolder(L"no application");
  EXPECT_EQ(InstalledApplicationPath(), L"");  // no key
  StartInstalledApplication();

  TRegKey key;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                              nullptr), ERROR_SUCCESS);
  EXPECT_EQ(InstalledApplicationPath(), L"");  // key without the value
  StartInstalledApplication();

  DWORD number = 1;
  SetProductValue(REG_DWORD, &number, sizeof(number));
  EXPECT_EQ(InstalledApplicationPath(), L"");  // not a string

  WriteProductAppPath(emptyFolder);
  EXPECT_EQ(InstalledApplicationPath(), L"");  // folder without the application
  StartInstalledApplication();
}

TEST_F(StartApplication, ValueWithoutTerminatorIsReadToItsEnd) {
  std::wstring folder = FreshFolder(L"unterminated");
  CopyFileOrFail(AppStandIn(), folder + L"\\Mercantix_Manager.exe");
  SetProductValue(REG_SZ, folder.data(), static_cast<DWORD>(folder.size() * sizeof(wchar_t)));
  EXPECT_EQ(InstalledApplicationPath(), folder + L"\\Mercantix_Manager.exe");
}

TEST_F(StartApplication, APlantedProgramAtTheUnquotedPrefixNeverRuns) {
  std::wstring folder = FreshFolder(L"app quoting");
  std::wstring appFolder = folder + L"\\Program Files";
  ::CreateDirectoryW(appFolder.c_str(), nullptr);
  std::wstring application = appFolder + L"\\Mercantix_Manager.exe";
  CopyFileOrFail(AppStandIn(), application);
  CopyFileOrFail(AppStandIn(), folder + L"\\Program.exe");  // the decoy records in folder\started.txt
  WriteProductAppPath(appFolder);

  StartInstalledApplication();
  ASSERT_TRUE(WaitForFileContent(appFolder + L"\\started.txt"));
  EXPECT_EQ(ReadTextFile(appFolder + L"\\started.txt"), L"\"" + application + L"\"\n");
  EXPECT_FALSE(FileExists(folder + L"\\started.txt"));
}
