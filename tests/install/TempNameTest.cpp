#include <gtest/gtest.h>
#include <regex>
#include "install/uInstall.h"
#include "framework/Exceptions.h"
#include "framework/Strings.h"
#include "tests/install/InstallTestSupport.h"

namespace {
std::wstring TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, folder);
  return folder;
}

std::wstring WithExtension(const std::wstring& path, const std::wstring& extension) {
  return path.substr(0, path.size() - 4) + extension;
}
}  // namespace

TEST(MakeInstallerTempName, FreshExeNameBesideTheEmptyReservedTmpFile) {
  std::wstring first = MakeInstallerTempName();
  std::wstring second = MakeInstallerTempName();
  for (const auto& name : {first, second}) {
    SCOPED_TRACE(WideToUtf8(name));
    std::wstring folder = TempFolder();
    ASSERT_EQ(name.compare(0, folder.size(), folder), 0);
    EXPECT_TRUE(std::regex_match(name.substr(folder.size()), std::wregex(L"tl_[0-9A-Fa-f]{1,4}\\.exe")));
    EXPECT_FALSE(FileExists(name));  // the download creates it
    std::wstring reserved = WithExtension(name, L".tmp");
    EXPECT_TRUE(FileExists(reserved));
    EXPECT_TRUE(ReadTextFile(reserved).empty());
    ::DeleteFileW(reserved.c_str());
  }
  EXPECT_NE(first, second);
}

TEST(MakeInstallerTempName, FollowsTheTemporaryFolderEvenWithBlanksInItsPath) {
  std::wstring folder = FreshFolder(L"temp name\\with blanks");
  TScopedEnv tmp(L"TMP", folder);
  TScopedEnv temp(L"TEMP", folder);
  std::wstring name = MakeInstallerTempName();
  EXPECT_EQ(name.compare(0, folder.size() + 4, folder + L"\\tl_"), 0) << WideToUtf8(name);
  EXPECT_TRUE(FileExists(WithExtension(name, L".tmp")));
}

TEST(MakeInstallerTempName, MissingTemporaryFolderRaisesWithTheSystemText) {
  std::wstring folder = FreshFolder(L"temp gone") + L"\\missing";
  TScopedEnv tmp(L"TMP", folder);
  TScopedEnv temp(L"TEMP", folder);
  try {
    MakeInstallerTempName();
    FAIL() << "no error raised";
  } catch (const EOSError& error) {
    EXPECT_NE(error.Code(), 0u);
    EXPECT_FALSE(error.Message().empty());
    EXPECT_EQ(error.Message(), SysErrorMessage(error.Code()));
  }
}
