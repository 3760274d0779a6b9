// The installer's folder full or unwritable while the installer is downloaded: a clear message, nothing
// left open or behind. The tracker's data folder on a
// full disk loses no stored package. The folders come from the CTest fixture disk_fixture.sh (a 1 MiB
// tmpfs and a read-only one where mounting is allowed).
#include "tests/reliability/ReliabilitySupport.h"
#include <cstdlib>
#include "install/uInstall.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {
std::string DiskFaultDir() {
  const char* dir = std::getenv("TL_DISK_FAULT_DIR");
  return dir && *dir ? dir : "";
}

bool HasKind(const std::string& kind) {
  return ReadLinuxFile(DiskFaultDir() + "/kinds").find(kind) != std::string::npos;
}

// Names of the files in a folder (Linux path).
std::vector<std::wstring> FilesIn(const std::string& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((WindowsPath(folder) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (found.cFileName[0] != L'.') names.push_back(found.cFileName);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}
}  // namespace

TEST(DiskFaults, FullInstallerFolderStopsTheDownloadWithTheSystemsText) {
  if (!HasKind("full=tmpfs")) GTEST_SKIP() << "no small file system could be mounted here";
  const std::string full = DiskFaultDir() + "/full";
  {
    TInstallerFile installer({WindowsPath(full)}, TInstallerFile::RandomName);
    ASSERT_EQ(0u, installer.Path().rfind(WindowsPath(full), 0)) << WideToUtf8(installer.Path());
    std::wstring errorText;
    const DWORD start = ::GetTickCount();
    HttpDownloadToStreamModal(TFileServer::Url("/gen/4000000"), installer, nullptr, errorText, nullptr);
    EXPECT_LT(::GetTickCount() - start, 20000u);
    EXPECT_EQ(SysErrorMessage(ERROR_DISK_FULL), errorText);
  }
  // The partial file and its folder went with the installer, and the space came back.
  EXPECT_TRUE(FilesIn(full).empty());
  TInstallerFile again({WindowsPath(full)}, TInstallerFile::RandomName);
  std::wstring errorText;
  HttpDownloadToStreamModal(TFileServer::Url("/gen/500000"), again, nullptr, errorText, nullptr);
  EXPECT_EQ(L"", errorText);
}

TEST(DiskFaults, UnwritableInstallerFolderStopsTheStepWithAMessage) {
  if (!HasKind("readonly=tmpfs")) GTEST_SKIP() << "no read-only file system could be mounted here";
  const std::string folder = DiskFaultDir() + "/readonly";
  try {
    TInstallerFile installer({WindowsPath(folder)}, TInstallerFile::RandomName);
    ADD_FAILURE() << "an installer folder was made in a read-only folder";
  } catch (const Exception& error) {
    EXPECT_EQ(0u, error.Message().find(L"The installer cannot be downloaded")) << WideToUtf8(error.Message());
  }
  EXPECT_TRUE(FilesIn(folder).empty());
}

TEST(DiskFaults, InstallerFileThatCannotBeCreatedRaisesWithTheNameAndStartsNoTransfer) {
  if (!HasKind("readonly=tmpfs")) GTEST_SKIP() << "no read-only file system could be mounted here";
  const std::string folder = DiskFaultDir() + "/readonly";
  const std::wstring installer = WindowsPath(folder) + L"\\tl_1234.exe";
  std::wstring errorText;
  try {
    HttpDownloadFileModal(TFileServer::Url("/gen/1000"), installer, nullptr, errorText, nullptr);
    ADD_FAILURE() << "no error for a file in a read-only folder";
  } catch (const EFCreateError& error) {
    EXPECT_EQ(0u, error.Message().find(L"Cannot create file \"" + installer + L"\". ")) << WideToUtf8(error.Message());
    EXPECT_GT(error.Message().size(), installer.size() + 22);  // the system's text follows
  }
  EXPECT_EQ(L"", errorText);
  EXPECT_TRUE(FilesIn(folder).empty());
}

TEST(DiskFaults, AMergeOfStoredPackagesThatCannotBeWrittenLeavesThemWhereTheyWere) {
  if (!HasKind("full=tmpfs")) GTEST_SKIP() << "no small file system could be mounted here";
  const std::wstring root = WindowsPath(DiskFaultDir() + "/full");
  TTestTracker tracker;
  tracker.SetProductKey(kTestProductKey);
  tracker.SetEnvironment(TestEnvironment(root));
  tracker.PrepareDataFolder();
  const std::wstring older = EventTextOfLength(tracker, 20000), newer = EventTextOfLength(tracker, 20000);
  const std::wstring olderFile = JoinPath(tracker.DataFolder(), L"event-000101-000000-1-001.xml");
  WriteUtf8(olderFile, older);
  WriteUtf8(JoinPath(tracker.DataFolder(), L"event-000101-000000-1-002.xml"), newer);
  {
    TFileHandle filler(::CreateFileW((root + L"\\filler").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    const std::string block(4096, 'x');
    DWORD written = 0;
    while (::WriteFile(filler.Get(), block.data(), 4096, &written, nullptr) && written > 0) {}
    tracker.FlushQueue(false);  // merging needs room that is not there
  }
  // Long texts: compared without printing them.
  EXPECT_TRUE(ReadUtf8(olderFile) == older) << "a merged file was lost";
  EXPECT_TRUE(ReadUtf8(tracker.PackageFileName()) == newer && tracker.PackageText() == newer);
  tracker.DiscardPackage(true);
  RemoveFolderTree(root + L"\\Software Statistics Service");
}
