// The check between the download and the elevated run: real Authenticode signatures made by the build,
// verified by WinVerifyTrust. (The wizard's GUI test refuses unsigned, tampered, foreign and half files.)
#include <gtest/gtest.h>
#include "install/uInstall.h"
#include "install/uInstallerSignature.h"
#include "tests/install/InstallTestSupport.h"

namespace {
std::string ReadBytes(const std::wstring& path) {
  TFileHandle in(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  std::string bytes(::GetFileSize(in.Get(), nullptr), '\0');
  DWORD got = 0;
  ::ReadFile(in.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  bytes.resize(got);
  return bytes;
}

std::wstring WriteBytes(const std::wstring& path, const std::string& bytes) {
  TFileHandle out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  ::WriteFile(out.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  return path;
}

TInstallerVerdict VerdictOf(const std::wstring& path, std::wstring_view publisher = InstallerPublisher) {
  TFileHandle held = HoldInstallerFile(path);
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

TEST(InstallerSignature, TheHeldFileCannotChangeButStillRuns) {
  const std::wstring folder = FreshFolder(L"held");
  const std::wstring installer = folder + L"\\tl_held.exe";
  CopyFileOrFail(InstallerStandIn(), installer);
  TFileHandle held = HoldInstallerFile(installer);
  ASSERT_TRUE(held);
  EXPECT_EQ(CheckInstallerModal(held, installer), L"");

  TFileHandle writer(::CreateFileW(installer.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer);
  EXPECT_FALSE(::DeleteFileW(installer.c_str()));
  EXPECT_FALSE(::MoveFileW(installer.c_str(), (folder + L"\\moved.exe").c_str()));
  TScopedEnv target(L"TL_INSTALL_DIR", folder + L"\\app");
  EXPECT_EQ(RunProcessAndWait(L"\"" + installer + L"\" /VERYSILENT"), 0u);
  DeleteProductKey();
  held.Reset();
  EXPECT_TRUE(::DeleteFileW(installer.c_str()));
  TFileHandle missing = HoldInstallerFile(installer);
  EXPECT_EQ(CheckInstallerModal(missing, installer),
            L"The downloaded installer is damaged, so it was not run. Please try again.");
}
