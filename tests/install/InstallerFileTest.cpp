// The installer's folder: below the Windows temporary folder, new, protected, held, and gone afterwards.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <sddl.h>
#include <regex>
#include "install/uInstall.h"
#include "framework/Exceptions.h"
#include "framework/FilePaths.h"
#include "framework/Strings.h"
#include "tests/install/InstallTestSupport.h"

namespace {
std::wstring WindowsTemp() {
  wchar_t folder[MAX_PATH] = {};
  ::GetWindowsDirectoryW(folder, MAX_PATH);
  return std::wstring(folder) + L"\\Temp";
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FolderSddl(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  wchar_t* text = nullptr;
  std::wstring sddl;
  if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                              nullptr, &descriptor) == ERROR_SUCCESS &&
      ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr))
    sddl = text;
  ::LocalFree(text);
  ::LocalFree(descriptor);
  return sddl;
}

bool CanOpen(const std::wstring& path, DWORD access) {
  return bool(TFileHandle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr)));
}
}  // namespace

TEST(InstallerFile, ANewProtectedFolderOfItsOwnThatNobodyElseCanChangeAndThatGoesAfterwards) {
  // The user's temporary folder (which the user's other programs can write) plays no part.
  const std::wstring userTemp = FreshFolder(L"user temp");
  TScopedEnv tmp(L"TMP", userTemp);
  TScopedEnv temp(L"TEMP", userTemp);
  std::wstring folders[2];
  {
    TInstallerFile first, second;
    for (TInstallerFile* installer : {&first, &second}) {
      const std::wstring& path = installer->Path();
      SCOPED_TRACE(WideToUtf8(path));
      ASSERT_TRUE(SamePath(path.substr(0, WindowsTemp().size()), WindowsTemp()));
      EXPECT_TRUE(std::regex_match(path.substr(WindowsTemp().size()),
                                   std::wregex(L"\\\\tl-[0-9A-F]{32}\\\\tl_[0-9A-F]{1,4}\\.exe")));
      EXPECT_EQ(installer->Folder(), path.substr(0, path.find_last_of(L'\\')));
      EXPECT_TRUE(FileExists(path));
      // Nothing inherited, no access for everyone or the users (Wine keeps what its file modes can say).
      const std::wstring sddl = FolderSddl(installer->Folder());
      EXPECT_EQ(sddl.find(L";;;WD)"), std::wstring::npos) << WideToUtf8(sddl);
      EXPECT_EQ(sddl.find(L";;;BU)"), std::wstring::npos) << WideToUtf8(sddl);
      // Held from its creation: nobody else may write, delete or rename it, nor the folder.
      EXPECT_FALSE(CanOpen(path, GENERIC_WRITE));
      EXPECT_FALSE(::DeleteFileW(path.c_str()));
      EXPECT_FALSE(::MoveFileW(installer->Folder().c_str(), (installer->Folder() + L"-moved").c_str()));
    }
    EXPECT_NE(first.Folder(), second.Folder());
    folders[0] = first.Folder();
    folders[1] = second.Folder();
    first.Write("MZ", 2);
    first.Seal();
    EXPECT_FALSE(CanOpen(first.Path(), GENERIC_WRITE));
    EXPECT_FALSE(CanOpen(first.Path(), DELETE));
    EXPECT_THROW(first.Write("x", 1), EOSError);  // sealed: not even this process writes any more
    first.Remove();
    EXPECT_FALSE(FolderExists(folders[0]));
    first.Remove();  // once is all
  }
  EXPECT_FALSE(FolderExists(folders[1]));
  WIN32_FIND_DATAW found;
  TFindHandle nothing(::FindFirstFileW((userTemp + L"\\*.*").c_str(), &found));
  do EXPECT_EQ(found.cFileName[0], L'.') << WideToUtf8(found.cFileName);
  while (::FindNextFileW(nothing.Get(), &found));
}

TEST(InstallerFile, ANameThatExistsIsNeverUsedAndNoParentMeansAClearError) {
  const std::wstring parent = FreshFolder(L"parents");
  ::CreateDirectoryW((parent + L"\\tl-taken").c_str(), nullptr);
  WriteTextFile(parent + L"\\tl-taken\\theirs.txt", "someone else's");
  WriteTextFile(parent + L"\\tl-file", "a file in the way");
  const wchar_t* names[] = {L"unusable", L"taken", L"file", L"fresh"};
  size_t next = 0;
  const auto nameSource = [&] { return std::wstring(names[next++ % 4]); };
  {
    // The first parent is missing: the next one serves, with the first name nobody had.
    TInstallerFile installer({parent + L"\\missing", parent}, nameSource);
    EXPECT_EQ(installer.Folder(), parent + L"\\tl-fresh");
    EXPECT_EQ(ReadTextFile(parent + L"\\tl-taken\\theirs.txt"), L"someone else's");
    EXPECT_EQ(ReadTextFile(parent + L"\\tl-file"), L"a file in the way");
  }
  EXPECT_FALSE(FolderExists(parent + L"\\tl-fresh"));
  try {
    TInstallerFile nowhere({parent + L"\\missing", parent + L"\\tl-file"}, TInstallerFile::RandomName);
    FAIL() << "no error raised";
  } catch (const EOSError& error) {
    EXPECT_EQ(error.Message().find(L"The installer cannot be downloaded: no folder that only administrators"), 0u)
        << WideToUtf8(error.Message());
    EXPECT_NE(error.Message().find(SysErrorMessage(error.Code())), std::wstring::npos);
  }
}

TEST(InstallerFile, TheStartedImageMustBeTheHeldFile) {
  EXPECT_TRUE(SamePath(L"C:\\windows\\Temp\\tl-1\\tl_2.exe", L"\\\\?\\C:\\WINDOWS\\temp\\tl-1\\tl_2.exe"));
  EXPECT_TRUE(SamePath(L"\\\\server\\share\\tl_2.exe", L"\\\\?\\UNC\\server\\share\\tl_2.exe"));
  EXPECT_FALSE(SamePath(L"C:\\windows\\Temp\\tl-1\\tl_2.exe", L"\\\\?\\C:\\windows\\Temp\\tl-1\\tl_3.exe"));
  EXPECT_FALSE(SamePath(L"", L""));  // a path the system could not tell matches nothing
}

namespace {
// A block of NUL-separated text as written (the literal's own last NUL left out).
template <size_t N>
std::wstring Block(const wchar_t (&text)[N]) {
  return std::wstring(text, N - 1);
}
}  // namespace

// The installer's environment: the user's TEMP and TMP (any case) give way to its folder, all else stays.
TEST(InstallerFile, TheInstallersTemporaryFolderIsItsOwn) {
  const std::wstring user = Block(L"=C:=C:\\x\0Path=C:\\bin\0temp=C:\\u\0TEMPLATE=t\0Tmp=C:\\u\0TMPX=1\0\0");
  EXPECT_EQ(EnvironmentWithTemp(user.c_str(), L"C:\\w\\tl-1"),
            Block(L"=C:=C:\\x\0Path=C:\\bin\0TEMPLATE=t\0TMPX=1\0TEMP=C:\\w\\tl-1\0TMP=C:\\w\\tl-1\0\0"));
  EXPECT_EQ(EnvironmentWithTemp(nullptr, L"F"), Block(L"TEMP=F\0TMP=F\0\0"));
}
