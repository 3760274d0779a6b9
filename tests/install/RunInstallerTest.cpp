#include <gtest/gtest.h>
#include "install/uInstall.h"
#include "framework/Strings.h"
#include "tests/install/InstallTestSupport.h"

namespace {
// The stand-in's settings and log live in a folder of the test's own: the installer's folder holds the
// installer alone. Every test here may install the product; none leaves its uninstall entry behind.
class RunInstaller : public ::testing::Test {
protected:
  void SetUp() override { DeleteProductKey(); }
  void TearDown() override { DeleteProductKey(); }

  // The installer stand-in, downloaded and sealed, with these settings.
  std::unique_ptr<TInstallerFile> StandInInstaller(const std::string& settings = "") {
    ::DeleteFileW((FNotes + L"\\installer_standin.log").c_str());
    WriteTextFile(FNotes + L"\\installer_standin.cfg", settings);
    return DownloadedInstaller(InstallerStandIn());
  }
  std::wstring InstallerLog() const { return ReadTextFile(FNotes + L"\\installer_standin.log"); }

private:
  std::wstring FNotes = FreshFolder(L"installer notes");
  TScopedEnv FNotesEnv{L"TL_STANDIN_FOLDER", FNotes};
};

int gTimerTicks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++gTimerTicks; }
}  // namespace

// An installer in 32-bit or 64-bit mode registers in that registry view, which need not be the wizard's. The
// application runs as the user: the desktop shell starts it, not the (elevated) wizard.
TEST_F(RunInstaller, SilentRunInstallsAndTheApplicationStartsAsTheUserFromTheUninstallEntryOfEitherView) {
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
    auto installer = StandInInstaller(c.Settings);

    std::wstring errorText;
    EXPECT_TRUE(RunInstallerModal(*installer, errorText));
    EXPECT_EQ(errorText, L"");
    EXPECT_EQ(InstallerLog(), L"\"" + installer->Path() + L"\" /VERYSILENT /NORESTART /RESTARTEXITCODE=3010\n");
    const std::wstring installerFolder = installer->Folder();
    installer.reset();
    EXPECT_EQ(::GetFileAttributesW(installerFolder.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing of it stays
    EXPECT_EQ(ReadProductAppPath(c.View), appFolder) << c.Settings;
    std::wstring application = appFolder + L"\\Mercantix_Manager.exe";
    EXPECT_EQ(InstalledApplicationPath(), application) << c.Settings;

    StartInstalledApplication();
    ASSERT_TRUE(WaitForFileContent(appFolder + L"\\started.txt"));
    EXPECT_NE(ReadTextFile(appFolder + L"\\started.txt").find(application), std::wstring::npos);
    EXPECT_EQ(ReadTextFile(appFolder + L"\\parents.txt"), L"explorer.exe\n");
    if (c.View) {
      WriteProductAppPath(folder);  // the process's own view comes first: here a folder without the application
      EXPECT_EQ(InstalledApplicationPath(), L"");
    }
  }
}

TEST_F(RunInstaller, NonZeroExitCodeFailsWithATextNamingTheCode) {
  std::wstring folder = FreshFolder(L"exit code");
  TScopedEnv target(L"TL_INSTALL_DIR", folder + L"\\app");
  for (const char* code : {"3", "1603"}) {
    SCOPED_TRACE(code);
    auto installer = StandInInstaller(std::string("exit") + code);
    std::wstring errorText;
    EXPECT_FALSE(RunInstallerModal(*installer, errorText));
    EXPECT_NE(errorText.find(L"The installation did not complete"), std::wstring::npos) << WideToUtf8(errorText);
    EXPECT_NE(errorText.find(L"exit code " + Utf8ToWide(code) + L"."), std::wstring::npos) << WideToUtf8(errorText);
    EXPECT_EQ(ReadProductAppPath(), L"");
  }
  // "Installed; Windows must restart to finish" is a success that says so.
  auto installer = StandInInstaller("reboot");
  std::wstring errorText;
  bool restartRequired = false;
  EXPECT_TRUE(RunInstallerModal(*installer, errorText, &restartRequired));
  EXPECT_EQ(errorText, L"");
  EXPECT_TRUE(restartRequired);
}

TEST_F(RunInstaller, AnInstallerThatCannotStartOrIsNotSealedFailsWithAText) {
  const std::string page = "<html>an error page saved as the installer</html>";
  TInstallerFile notAProgram;
  notAProgram.Write(page.data(), page.size());
  std::wstring errorText;
  EXPECT_FALSE(RunInstallerModal(notAProgram, errorText));  // not sealed: nothing starts
  EXPECT_FALSE(Trim(errorText).empty());
  notAProgram.Seal();
  errorText.clear();
  EXPECT_FALSE(RunInstallerModal(notAProgram, errorText));
  EXPECT_FALSE(Trim(errorText).empty());
}

TEST_F(RunInstaller, AnEarlierErrorTextIsNoVerdictOnTheRun) {
  auto installer = StandInInstaller("noop");
  std::wstring errorText = L" ";  // a download's blank error text counts as a complete download
  EXPECT_TRUE(RunInstallerModal(*installer, errorText));
  EXPECT_EQ(errorText, L"");
  EXPECT_FALSE(InstallerLog().empty());  // it did run
}

TEST_F(RunInstaller, MessagesAreHandledWhileTheInstallerRunsAndItsFolderStaysUntilItEnds) {
  std::wstring folder = FreshFolder(L"responsive");
  TScopedEnv target(L"TL_INSTALL_DIR", folder + L"\\app");
  auto installer = StandInInstaller("sleep1500");
  gTimerTicks = 0;
  UINT_PTR timer = ::SetTimer(nullptr, 0, 50, &CountTick);
  ASSERT_NE(timer, 0u);
  std::wstring errorText;
  DWORD start = ::GetTickCount();
  EXPECT_TRUE(RunInstallerModal(*installer, errorText)) << WideToUtf8(errorText);
  DWORD elapsed = ::GetTickCount() - start;
  ::KillTimer(nullptr, timer);
  EXPECT_GE(elapsed, 1400u);
  // A 50 ms timer over at least 1.4 s: a blocked GUI thread would see at most one tick.
  EXPECT_GE(gTimerTicks, 10) << "elapsed " << elapsed << " ms";

  // A close while the installer runs leaves it alone: it finishes from its file, which goes at the restart.
  auto running = StandInInstaller("sleep1500");
  THandle process = running->Start(L"\"" + running->Path() + L"\" /VERYSILENT");
  running->Remove();
  EXPECT_TRUE(FileExists(running->Path()));
  EXPECT_EQ(WaitForExitCode(process.Get()), 0u);
  TRegKey pending;
  std::wstring operations(4096, L'\0');
  DWORD size = static_cast<DWORD>(operations.size() * sizeof(wchar_t));
  ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ,
                            pending.Out()), ERROR_SUCCESS);
  ASSERT_EQ(::RegQueryValueExW(pending.Get(), L"PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(operations.data()), &size), ERROR_SUCCESS);
  operations.resize(size / sizeof(wchar_t));
  for (auto& ch : operations) ch = ch ? ch : L'|';
  EXPECT_NE(operations.find(running->Path()), std::wstring::npos) << WideToUtf8(operations);
  EXPECT_NE(operations.find(running->Folder() + L"|"), std::wstring::npos) << WideToUtf8(operations);
  // No restart comes in a test: later tests of the same prefix must find no installer folder.
  EXPECT_TRUE(::DeleteFileW(running->Path().c_str()));
  EXPECT_TRUE(::RemoveDirectoryW(running->Folder().c_str()));
}
