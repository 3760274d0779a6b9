#include <gtest/gtest.h>
#include "statistics/StatUtils.h"
#include <algorithm>
#include <cstring>
#include "tests/statistics/PlantLink.h"
#include "tests/statistics/SparseFile.h"

namespace {

// A fresh folder per test below the Windows temporary folder of the test prefix.
class StatFiles : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::wstring name(info->name(), info->name() + std::strlen(info->name()));
    FFolder = JoinPath(temp, L"statfiles-" + name + L"-" + std::to_wstring(::GetCurrentProcessId()));
    RemoveFolder();
    ASSERT_TRUE(::CreateDirectoryW(FFolder.c_str(), nullptr));
  }
  void TearDown() override { RemoveFolder(); }

  std::wstring Path(const wchar_t* name) const { return JoinPath(FFolder, name); }

  TFileHandle Open(const wchar_t* name, DWORD disposition = OPEN_ALWAYS) const {
    return TFileHandle(::CreateFileW(Path(name).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  void MakeSparseFile(const wchar_t* name, std::uint64_t size) const {
    ASSERT_TRUE(::MakeSparseFile(Path(name), size));
  }

  std::uint64_t SizeOf(const wchar_t* name) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Path(name).c_str(), GetFileExInfoStandard, &data)) return ~0ull;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  void RemoveFolder() { RemoveTestTree(FFolder); }

  std::wstring FFolder;
};

}  // namespace

TEST_F(StatFiles, ReadFileBytesOfAMissingFileLeavesAnEmptyFile) {
  TStatBytes bytes = {1, 2, 3};
  EXPECT_TRUE(ReadFileBytes(Path(L"settings.txt"), bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(SizeOf(L"settings.txt"), 0u);
}

TEST_F(StatFiles, ReadersFailWhereNoFileCanBeOpened) {
  TStatBytes bytes = {1};
  EXPECT_FALSE(ReadFileBytes(Path(L"no-such-folder\\x.txt"), bytes));
  EXPECT_TRUE(bytes.empty());
  std::wstring text = L"old";
  EXPECT_FALSE(ReadTextFile(Path(L"no-such-folder\\x.txt"), text));
  EXPECT_EQ(text, L"");
  EXPECT_FALSE(ReadTextFromHandle(INVALID_HANDLE_VALUE, text));
  EXPECT_FALSE(WriteTextFile(Path(L"no-such-folder\\x.txt"), L"x"));
  EXPECT_FALSE(RewriteTextToHandle(INVALID_HANDLE_VALUE, L"x"));
  EXPECT_FALSE(AppendTextToHandle(INVALID_HANDLE_VALUE, L""));
}

TEST_F(StatFiles, TextWrittenByNameReadsBackEqual) {
  const std::wstring text = L"send_data=1\r\nname=\x0141\x00F3" L"d\xD83D\xDE00\r\n";
  ASSERT_TRUE(WriteTextFile(Path(L"a.txt"), text));
  std::wstring back;
  ASSERT_TRUE(ReadTextFile(Path(L"a.txt"), back));
  EXPECT_EQ(back, text);
  EXPECT_EQ(SizeOf(L"a.txt"), TextToUtf8Bytes(text).size());  // UTF-8 without byte-order mark

  ASSERT_TRUE(WriteTextFile(Path(L"a.txt"), L"short"));  // replaces, does not overlay
  ASSERT_TRUE(ReadTextFile(Path(L"a.txt"), back));
  EXPECT_EQ(back, L"short");
  ASSERT_TRUE(WriteTextFile(Path(L"a.txt"), L""));
  EXPECT_EQ(SizeOf(L"a.txt"), 0u);
}

TEST_F(StatFiles, ByNameAccessSharesReadingOnly) {
  ASSERT_TRUE(WriteTextFile(Path(L"held.txt"), L"x"));
  std::wstring text;
  {
    // A reader elsewhere that shares only reading: reading along is fine, replacing is not.
    TFileHandle reader(::CreateFileW(Path(L"held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    EXPECT_TRUE(ReadTextFile(Path(L"held.txt"), text));
    EXPECT_EQ(text, L"x");
    EXPECT_FALSE(WriteTextFile(Path(L"held.txt"), L"y"));
  }
  {
    // A writer elsewhere, even one that shares everything: the by-name functions do not let it write along.
    TFileHandle writer(::CreateFileW(Path(L"held.txt").c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_FALSE(ReadTextFile(Path(L"held.txt"), text));
    EXPECT_FALSE(WriteTextFile(Path(L"held.txt"), L"y"));
  }
  ASSERT_TRUE(ReadTextFile(Path(L"held.txt"), text));
  EXPECT_EQ(text, L"x");
}

TEST_F(StatFiles, HandleRewriteAppendAndRead) {
  TFileHandle file = Open(L"package.xml", CREATE_ALWAYS);
  ASSERT_TRUE(file);
  ASSERT_TRUE(RewriteTextToHandle(file.Get(), L"<events>long first content</events>"));
  ASSERT_TRUE(RewriteTextToHandle(file.Get(), L"<e/>"));
  ASSERT_TRUE(AppendTextToHandle(file.Get(), L"<f/>\x20AC"));
  std::wstring text;
  ASSERT_TRUE(ReadTextFromHandle(file.Get(), text));  // reads from the start whatever the position
  EXPECT_EQ(text, L"<e/><f/>\x20AC");
  ASSERT_TRUE(RewriteTextToHandle(file.Get(), L""));
  ASSERT_TRUE(ReadTextFromHandle(file.Get(), text));
  EXPECT_EQ(text, L"");
}

TEST_F(StatFiles, RewriteThroughAWriteOnlyHandleLeavesNoStaleTail) {
  // Marker files are held for writing only.
  TFileHandle file(::CreateFileW(Path(L"proc-1").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  const auto content = [this] {
    TFileHandle reader(::CreateFileW(Path(L"proc-1").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::wstring text;
    EXPECT_TRUE(ReadTextFromHandle(reader.Get(), text));
    return text;
  };
  ASSERT_TRUE(RewriteTextToHandle(file.Get(), L"<event value=\"100\"/>"));
  ASSERT_TRUE(RewriteTextToHandle(file.Get(), L"<event/>"));
  EXPECT_EQ(content(), L"<event/>");
  ASSERT_TRUE(RewriteTextToHandle(file.Get(), L"<event value=\"100000\"/>"));
  EXPECT_EQ(content(), L"<event value=\"100000\"/>");
}

TEST_F(StatFiles, AFileMarkedForDeletionIsGoneOnceClosedAndCannotBeOpenedBefore) {
  {
    TFileHandle file(::CreateFileW(Path(L"merged.xml").c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                   FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    ASSERT_TRUE(DeleteWhenClosed(file.Get()));
    TFileHandle other(::CreateFileW(Path(L"merged.xml").c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(other);
  }
  EXPECT_EQ(::GetFileAttributesW(Path(L"merged.xml").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(DeleteWhenClosed(INVALID_HANDLE_VALUE));
}

TEST_F(StatFiles, AppendOfEmptyTextDoesNotTouchTheHandle) {
  // An event cannot be positioned: any file operation on it fails.
  THandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  EXPECT_TRUE(AppendTextToHandle(event.Get(), L""));
  EXPECT_FALSE(AppendTextToHandle(event.Get(), L"x"));
  EXPECT_FALSE(RewriteTextToHandle(event.Get(), L""));
  TStatBytes bytes;
  EXPECT_FALSE(ReadBytesFromHandle(event.Get(), bytes));
}

TEST_F(StatFiles, FilesAboveTheReadLimitAreRefused) {
  MakeSparseFile(L"big.xml", kMaxReadableFileSize + 1);
  ASSERT_EQ(SizeOf(L"big.xml"), kMaxReadableFileSize + 1);
  TStatBytes bytes = {1};
  EXPECT_FALSE(ReadFileBytes(Path(L"big.xml"), bytes));
  EXPECT_TRUE(bytes.empty());
  TFileHandle file = Open(L"big.xml", OPEN_EXISTING);
  ASSERT_TRUE(file);
  std::wstring text = L"old";
  EXPECT_FALSE(ReadTextFromHandle(file.Get(), text));
  EXPECT_EQ(text, L"");
}

TEST_F(StatFiles, FilesAboveFourGiBAreNotReadAsTheirLowSize) {
  // 4 GiB + 5 bytes: the low 32 bits of the size alone would say 5.
  MakeSparseFile(L"huge.xml", (1ull << 32) + 5);
  TStatBytes bytes;
  EXPECT_FALSE(ReadFileBytes(Path(L"huge.xml"), bytes));
  EXPECT_TRUE(bytes.empty());
}

TEST_F(StatFiles, ListFilesKeepsOnlyPlainFiles) {
  ASSERT_TRUE(WriteTextFile(Path(L"proc-1234"), L"12"));
  ASSERT_TRUE(WriteTextFile(Path(L"proc-77"), L"12345"));
  ASSERT_TRUE(WriteTextFile(Path(L"proc-9"), L"1234567"));
  ASSERT_TRUE(WriteTextFile(Path(L"proc-8"), L"1234567"));
  ASSERT_TRUE(WriteTextFile(Path(L"event-1.xml"), L"123"));
  ASSERT_TRUE(::CreateDirectoryW(Path(L"proc-old").c_str(), nullptr));
  ASSERT_TRUE(::SetFileAttributesW(Path(L"proc-9").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesW(Path(L"proc-8").c_str(), FILE_ATTRIBUTE_SYSTEM));
  ASSERT_NE(::GetFileAttributesW(Path(L"proc-9").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  ASSERT_NE(::GetFileAttributesW(Path(L"proc-8").c_str()) & FILE_ATTRIBUTE_SYSTEM, 0u);

  std::vector<std::wstring> names = ListFiles(FFolder, L"proc-*");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"proc-1234", L"proc-77"}));
  EXPECT_EQ(GetFilesSize(FFolder, L"proc-*"), 7u);
  EXPECT_EQ(GetFilesSize(FFolder + L"\\", L"\\*"), 10u);
  EXPECT_EQ(ListFiles(FFolder, L"event-?.xml"), (std::vector<std::wstring>{L"event-1.xml"}));
}

TEST_F(StatFiles, ListingAMissingFolderGivesNothing) {
  EXPECT_TRUE(ListFiles(Path(L"missing"), L"*").empty());
  EXPECT_EQ(GetFilesSize(Path(L"missing"), L"*"), 0u);
  EXPECT_TRUE(ListFiles(FFolder, L"nothing-*").empty());
}

TEST_F(StatFiles, GetFilesSizeCountsBeyondFourGiB) {
  MakeSparseFile(L"event-a.xml", (1ull << 32) + 10);
  ASSERT_TRUE(WriteTextFile(Path(L"event-b.xml"), L"abc"));
  EXPECT_EQ(GetFilesSize(FFolder, L"event-*"), (1ull << 32) + 13);
}

TEST(StatDataFolder, AllLookupsAgreeAndNoneEndsWithABackslash) {
  const std::wstring folder = GetLocalAppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\');
  EXPECT_NE(::GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  std::wstring special, folderPath, known;
  ASSERT_TRUE(TrySpecialFolderLocalAppData(special));
  ASSERT_TRUE(TryFolderPathLocalAppData(folderPath));
  EXPECT_EQ(special, folder);
  EXPECT_EQ(folderPath, folder);
  if (TryKnownFolderLocalAppData(known)) {
    EXPECT_EQ(known, folder);
  }
}

TEST_F(StatFiles, ReplaceDataTextFileGoesThroughATemporaryFileAndReplacesTheOldOneWhole) {
  const TDataFolder folder = TDataFolder::Open(FFolder, {});
  ASSERT_TRUE(folder);
  ASSERT_TRUE(WriteTextFile(Path(L"settings.txt"), std::wstring(5000, L'o')));
  ASSERT_TRUE(ReplaceDataTextFile(folder, L"settings.txt", L"new"));
  std::wstring text;
  ASSERT_TRUE(ReadDataTextFile(folder, L"settings.txt", text));
  EXPECT_EQ(text, L"new");
  EXPECT_EQ(SizeOf(L"settings.txt.tmp"), ~0ull) << "the temporary file stays behind";
  {
    // While the temporary name cannot be written, the old file stays as it was.
    TFileHandle held(::CreateFileW(Path(L"settings.txt.tmp").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(ReplaceDataTextFile(folder, L"settings.txt", L"lost"));
    ASSERT_TRUE(ReadDataTextFile(folder, L"settings.txt", text));
    EXPECT_EQ(text, L"new");
  }
  EXPECT_FALSE(ReplaceDataTextFile(TDataFolder(), L"x.txt", L"x"));
  EXPECT_FALSE(ReplaceDataTextFile(folder, L"no-such-folder\\x.txt", L"x"));
}

TEST_F(StatFiles, ALeftoverTemporaryFileOfACrashIsHarmless) {
  const TDataFolder folder = TDataFolder::Open(FFolder, {});
  ASSERT_TRUE(WriteTextFile(Path(L"installation.key"), L"{OLD}"));
  ASSERT_TRUE(WriteTextFile(Path(L"installation.key.tmp"), L"{HALF"));  // a crash before the rename
  std::wstring text;
  ASSERT_TRUE(ReadDataTextFile(folder, L"installation.key", text));
  EXPECT_EQ(text, L"{OLD}");
  ASSERT_TRUE(ReplaceDataTextFile(folder, L"installation.key", L"{NEW}"));
  ASSERT_TRUE(ReadDataTextFile(folder, L"installation.key", text));
  EXPECT_EQ(text, L"{NEW}");
  EXPECT_EQ(SizeOf(L"installation.key.tmp"), ~0ull);
}

TEST_F(StatFiles, TheDataFolderIsMadeOneLevelAtATimeHeldAndRefusedBehindALink) {
  {
    const TDataFolder folder = TDataFolder::Open(FFolder, {L"a", L"b"});
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder.Path(), Path(L"a\\b"));
    EXPECT_FALSE(::MoveFileW(Path(L"a").c_str(), Path(L"moved").c_str())) << "a held level was renamed";
    EXPECT_FALSE(::RemoveDirectoryW(Path(L"a\\b").c_str()));
  }
  ASSERT_TRUE(::CreateDirectoryW(Path(L"elsewhere").c_str(), nullptr));
  ASSERT_TRUE(PlantSymbolicLink(Path(L"elsewhere"), Path(L"a\\link")));
  EXPECT_FALSE(TDataFolder::Open(FFolder, {L"a", L"link", L"c"}));
  EXPECT_FALSE(PathExists(Path(L"elsewhere\\c"))) << "a folder was made behind the link";
  EXPECT_FALSE(TDataFolder::Open(FFolder, {L"a", L"..", L"c"}));
  ASSERT_TRUE(WriteTextFile(Path(L"file"), L""));
  EXPECT_FALSE(TDataFolder::Open(Path(L"file"), {L"c"}));
  EXPECT_FALSE(TDataFolder::Open(FFolder, {L"file"}));
}

// Links to files elsewhere, symbolic and hard, are refused by the tracker's runs (StatFaultTest.cpp).
TEST_F(StatFiles, AFileOfTheFolderIsOpenedOnlyUnderItsOwnNameAndGoesThroughItsHandle) {
  const TDataFolder folder = TDataFolder::Open(FFolder, {});
  ASSERT_TRUE(WriteTextFile(Path(L"plain.txt"), L"plain"));
  ASSERT_TRUE(PlantSymbolicLink(Path(L"plain.txt"), Path(L"alias.txt")));  // a link within the folder
  EXPECT_FALSE(OpenDataFile(folder, L"alias.txt", GENERIC_READ, dfExisting));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(OpenDataFile(folder, L"alias.txt", GENERIC_WRITE, dfNew)) << "an existing name was replaced";
  EXPECT_FALSE(ReplaceDataTextFile(folder, L"alias.txt", L"overwritten"));
  EXPECT_FALSE(OpenDataFile(folder, L"..\\x.txt", GENERIC_WRITE, dfExistingOrNew));
  TFileHandle created = OpenDataFile(folder, L"new.txt", GENERIC_WRITE | DELETE, dfExistingOrNew);
  ASSERT_TRUE(created);
  EXPECT_TRUE(RenameOpenFile(created.Get(), folder, L"renamed.txt"));
  EXPECT_FALSE(RenameOpenFile(created.Get(), folder, L"plain.txt")) << "renamed over an existing file";
  EXPECT_TRUE(DeleteOpenFile(created));
  EXPECT_FALSE(PathExists(Path(L"renamed.txt")));
  std::wstring text;
  ASSERT_TRUE(ReadDataTextFile(folder, L"plain.txt", text));
  EXPECT_EQ(text, L"plain");
}
