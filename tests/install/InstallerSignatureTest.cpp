// The check between the download and the elevated run: real Authenticode signatures made by the build,
// verified by WinVerifyTrust. (The wizard's GUI test refuses unsigned, tampered, foreign and half files.)
#include <gtest/gtest.h>
#include "install/uInstall.h"
#include "install/uInstallerSignature.h"
#include "framework/Strings.h"
#include "tests/install/InstallTestSupport.h"

namespace {
std::wstring WriteBytes(const std::wstring& path, const std::string& bytes) {
  TFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ::WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return path;
}

TInstallerVerdict VerdictOf(const std::wstring& path, std::wstring_view publisher = InstallerPublisher) {
  TFileHandle held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(held) << "cannot open " << std::string(path.begin(), path.end());
  return VerifyInstallerSignature(held.Get(), path, publisher);
}
}  // namespace

TEST(InstallerSignature, OnlyTheVendorsCompleteInstallerIsGenuine) {
  const std::wstring folder = FreshFolder(L"signature");
  const std::string genuine = ReadBytes(InstallerStandIn());
  EXPECT_EQ(VerdictOf(InstallerStandIn()), TInstallerVerdict::Genuine);
  EXPECT_EQ(VerdictOf(InstallerStandIn(), L"Corvanta"), TInstallerVerdict::NotSignedByVendor);
  // The wizard as the release script signs it (with the build's throw-away certificate) verifies too.
  EXPECT_EQ(VerdictOf(WinPath(TL_SIGNED_WIZARD), L"Throwaway Release Signer"), TInstallerVerdict::Genuine);
  // Cut inside the signature itself: the verification fails in its own ways, the verdict stays "damaged".
  EXPECT_EQ(VerdictOf(WriteBytes(folder + L"\\cut.exe", genuine.substr(0, genuine.size() - 100))),
            TInstallerVerdict::Damaged);
}

TEST(InstallerSignature, TheCheckSealsTheFileThatThenRuns) {
  const std::string genuine = ReadBytes(InstallerStandIn());
  TInstallerFile installer;
  installer.Write(genuine.data(), genuine.size());
  EXPECT_EQ(CheckInstallerModal(installer), L"");
  EXPECT_FALSE(TFileHandle(::CreateFileW(installer.Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr)));
  EXPECT_FALSE(::DeleteFileW(installer.Path().c_str()));
  EXPECT_FALSE(::MoveFileW(installer.Path().c_str(), (installer.Folder() + L"\\moved.exe").c_str()));
  TScopedEnv target(L"TL_INSTALL_DIR", FreshFolder(L"held") + L"\\app");
  TScopedEnv notes(L"TL_STANDIN_FOLDER", FreshFolder(L"held notes"));  // the installer's folder holds it alone
  std::wstring errorText;
  EXPECT_TRUE(RunInstallerModal(installer, errorText)) << WideToUtf8(errorText);
  DeleteProductKey();
  // Once removed (a close), nothing is checked and nothing runs; nothing of it stays.
  installer.Remove();
  EXPECT_EQ(::GetFileAttributesW(installer.Folder().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(CheckInstallerModal(installer), L"");

  TInstallerFile tampered;
  const std::string changed = genuine.substr(0, 2000) + "X" + genuine.substr(2001);
  tampered.Write(changed.data(), changed.size());
  EXPECT_EQ(CheckInstallerModal(tampered),
            L"The downloaded installer is damaged, so it was not run. Please try again.");
}
