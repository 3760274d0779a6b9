#include <gtest/gtest.h>
#include "install/uInstall.h"
#include "framework/Strings.h"
#include "tests/install/InstallTestSupport.h"

namespace {
// Every test here may install the product; none leaves its uninstall entry behind.
class RunInstaller : public ::testing::Test {
protected:
  void SetUp() override { DeleteProductKey(); }
  void TearDown() override { DeleteProductKey(); }
};

std::wstring PlaceInstaller(const std::wstring& folder, const std::wstring& fileName) {
  std::wstring path = folder + L"\\" + fileName;
  CopyFileOrFail(InstallerStandIn(), path);
  return path;
}

int gTimerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++gTimerTicks; }
}  // namespace

// An installer in 32-bit or 64-bit mode registers in that registry view, which need not be the wizard's.
TEST_F(RunInstaller, SilentRunInstallsAndTheApplicationStartsFromTheUninstallEntryOfEitherView) {
  const bool is64Bit = sizeof(void*) == 8;
  const struct {
    const char* Settings;
    REGSAM View;
  } cases[] = {{"", 0}, {is64Bit ? "view32" : "view64", is64Bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY}};
  for (const auto& c : cases) {
    DeleteProductKey();
    std::wstring folder = FreshFolder(c.View ? L"success in the other view" : L"success");
    std::wstring appFolder = folder + L"\\Program Files\\Tradeloom";
    TScopedEnv target(L"TL_INSTALL_DIR", appFolder);
    std::wstring installer = PlaceInstaller(folder, L"tl_1A2B.exe");
    WriteTextFile(folder + L"\\installer_standin.cfg", c.Settings);

    std::wstring errorText;
    EXPECT_TRUE(RunInstallerModal(installer, errorText));
    EXPECT_EQ(errorText, L"");
    EXPECT_EQ(ReadTextFile(folder + L"\\installer_standin.log"), L"\"" + installer + L"\" /VERYSILENT\n");
    EXPECT_TRUE(FileExists(installer));  // the step leaves the installer where it is
    EXPECT_EQ(ReadProductAppPath(c.View), appFolder) << c.Settings;
    std::wstring application = appFolder + L"\\Mercantix_Manager.exe";
    EXPECT_EQ(InstalledApplicationPath(), application) << c.Settings;

    StartInstalledApplication();
    ASSERT_TRUE(WaitForFileContent(appFolder + L"\\started.txt"));
    EXPECT_EQ(ReadTextFile(appFolder + L"\\started.txt"), L"\"" + application + L"\"\n");
    if (c.View) {
      WriteProductAppPath(folder);  // the process's own view comes first: here a folder without the application
      EXPECT_EQ(InstalledApplicationPath(), L"");
    }
  }
}

TEST_F(RunInstaller, NonZeroExitCodeFailsWithATextNamingTheCode) {
  std::wstring folder = FreshFolder(L"exit code");
  TScopedEnv target(L"TL_INSTALL_DIR", folder + L"\\app");
  struct TCase { const wchar_t* FileName; const char* Settings; const wchar_t* Code; };
  for (const TCase& c : {TCase{L"setup_exit3.exe", "", L"exit code 3."},
                         TCase{L"tl_77.exe", "exit1603", L"exit code 1603."}}) {
    SCOPED_TRACE(WideToUtf8(c.FileName));
    WriteTextFile(folder + L"\\installer_standin.cfg", c.Settings);
    std::wstring errorText;
    EXPECT_FALSE(RunInstallerModal(PlaceInstaller(folder, c.FileName), errorText));
    EXPECT_NE(errorText.find(L"The installation did not complete"), std::wstring::npos) << WideToUtf8(errorText);
    EXPECT_NE(errorText.find(c.Code), std::wstring::npos) << WideToUtf8(errorText);
    EXPECT_EQ(ReadProductAppPath(), L"");
  }
}

TEST_F(RunInstaller, InstallerThatCannotStartFailsWithTheSystemText) {
  std::wstring folder = FreshFolder(L"cannot start");
  std::wstring errorText;
  EXPECT_FALSE(RunInstallerModal(folder + L"\\tl_gone.exe", errorText));
  EXPECT_EQ(errorText, SysErrorMessage(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(errorText.empty());

  std::wstring notAProgram = folder + L"\\tl_text.exe";
  WriteTextFile(notAProgram, "<html>an error page saved as the installer</html>");
  errorText.clear();
  EXPECT_FALSE(RunInstallerModal(notAProgram, errorText));
  EXPECT_FALSE(Trim(errorText).empty());
}

TEST_F(RunInstaller, AnEarlierErrorTextIsNoVerdictOnTheRun) {
  std::wstring folder = FreshFolder(L"earlier text");
  std::wstring installer = PlaceInstaller(folder, L"setup_noop.exe");
  std::wstring errorText = L" ";  // a download's blank error text counts as a complete download
  EXPECT_TRUE(RunInstallerModal(installer, errorText));
  EXPECT_EQ(errorText, L"");
  EXPECT_FALSE(ReadTextFile(folder + L"\\installer_standin.log").empty());  // it did run
}

TEST_F(RunInstaller, MessagesAreHandledWhileTheInstallerRuns) {
  std::wstring folder = FreshFolder(L"responsive");
  TScopedEnv target(L"TL_INSTALL_DIR", folder + L"\\app");
  WriteTextFile(folder + L"\\installer_standin.cfg", "sleep1500");
  gTimerTicks = 0;
  UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &CountTick);
  ASSERT_NE(timer, 0u);
  std::wstring errorText;
  DWORD start = ::GetTickCount();
  EXPECT_TRUE(RunInstallerModal(PlaceInstaller(folder, L"tl_slow.exe"), errorText)) << WideToUtf8(errorText);
  DWORD elapsed = ::GetTickCount() - start;
  ::KillTimer(nullptr, timer);
  EXPECT_GE(elapsed, 1400u);
  // A 50 ms timer over at least 1.4 s: a blocked GUI thread would see at most one tick.
  EXPECT_GE(gTimerTicks, 10) << "elapsed " << elapsed << " ms";
}

// Unquoted, "...\with blanks\tl_1.exe /VERYSILENT" first runs "...\with.exe" if there is one.
TEST_F(RunInstaller, APlantedProgramAtTheUnquotedPrefixNeverRuns) {
  std::wstring folder = FreshFolder(L"quoting");
  std::wstring tempFolder = folder + L"\\with blanks";
  ::CreateDirectoryW(tempFolder.c_str(), nullptr);
  CopyFileOrFail(AppStandIn(), folder + L"\\with.exe");  // the decoy records its start in folder\started.txt
  TScopedEnv tmp(L"TMP", tempFolder);
  TScopedEnv temp(L"TEMP", tempFolder);
  TScopedEnv target(L"TL_INSTALL_DIR", folder + L"\\app");
  std::wstring installer = MakeInstallerTempName();
  CopyFileOrFail(InstallerStandIn(), installer);

  // The decoy is live: the system's search of an unquoted command line finds it.
  RunProcessAndWait(installer + L" /VERYSILENT");
  ASSERT_TRUE(WaitForFileContent(folder + L"\\started.txt"));
  ::DeleteFileW((folder + L"\\started.txt").c_str());

  std::wstring errorText;
  EXPECT_TRUE(RunInstallerModal(installer, errorText)) << WideToUtf8(errorText);
  EXPECT_EQ(ReadTextFile(tempFolder + L"\\installer_standin.log"), L"\"" + installer + L"\" /VERYSILENT\n");
  EXPECT_FALSE(FileExists(folder + L"\\started.txt"));
}
