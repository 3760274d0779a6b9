// Queued events into package files: batches, stored packages, the final flush, the folder limit,
// file names, and a tracker without a data folder.
#include <gtest/gtest.h>
#include <windows.h>
#include "framework/Strings.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/SparseFile.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

class TrackerPackages : public ::testing::Test {
protected:
  void SetUp() override {
    FTracker.SetProductKey(kTestProductKey);
    FTracker.SetEnvironment(TestEnvironment(FRoot.Path()));
    FTracker.PrepareDataFolder();
    FTracker.NewExecutionId();
    ASSERT_EQ(FTracker.DataFolder(), TrackerDataFolder(FRoot.Path()));
  }

  std::wstring Folder() const { return FTracker.DataFolder(); }
  std::vector<std::wstring> Files() const { return PackageFiles(Folder()); }
  std::wstring Event(size_t length) { return EventTextOfLength(FTracker, length); }

  // A stored package file of another (earlier) run.
  std::wstring StorePackage(const std::wstring& number, const std::wstring& content) {
    const std::wstring fileName = JoinPath(Folder(), L"event-000101-000000-1-" + number + L".xml");
    WriteUtf8(fileName, content);
    return fileName;
  }

  // A package file of the given size that takes no disk space.
  void StoreSparsePackage(const std::wstring& number, std::uint64_t size) {
    ASSERT_TRUE(MakeSparseFile(JoinPath(Folder(), L"event-000101-000000-1-" + number + L".xml"), size));
  }

  TTestFolder FRoot{L"tracker-packages"};
  TTestTracker FTracker;
};

}  // namespace

TEST_F(TrackerPackages, ABatchEndsWithTheEntryThatPassesTheLimit) {
  EXPECT_EQ(FTracker.TakeBatch(100), L"");  // no queue
  for (const wchar_t* text : {L"aa", L"bbb", L"c", L"dddddd"}) FTracker.QueueText(text);
  EXPECT_EQ(FTracker.TakeBatch(0), L"");
  EXPECT_EQ(FTracker.TakeBatch(-5), L"");
  EXPECT_EQ(FTracker.TakeBatch(2), L"aabbb");
  EXPECT_EQ(FTracker.TakeBatch(1), L"cdddddd");  // "c" alone is at the limit, so the next one comes too
  FTracker.QueueText(L"xxxxxxxx");
  EXPECT_EQ(FTracker.TakeBatch(3), L"xxxxxxxx");  // one entry longer than the limit comes whole
  EXPECT_EQ(FTracker.QueuedCount(), 0u);
}

TEST_F(TrackerPackages, TheFirstFlushOfARunMakesAnEmptyPackageFile) {
  FTracker.FlushQueue(false);
  ASSERT_EQ(Files().size(), 1u);
  EXPECT_TRUE(FTracker.PackageFileOpen());
  EXPECT_EQ(FTracker.PackageFileName(), Files()[0]);
  EXPECT_EQ(FTracker.PackageText(), L"");
  EXPECT_EQ(ReadUtf8(Files()[0]), L"");
}

TEST_F(TrackerPackages, ThreeEntriesOf30000CharactersMakeTwoPackages) {
  const std::wstring a = Event(30000), b = Event(30000), c = Event(30000);
  ASSERT_EQ(a.size(), 30000u);
  for (const std::wstring* text : {&a, &b, &c}) FTracker.QueueText(*text);
  FTracker.FlushQueue(false);
  const std::vector<std::wstring> files = Files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(ReadUtf8(files[0]), a + b);
  EXPECT_EQ(FTracker.PackageText(), c);
  EXPECT_EQ(FTracker.PackageFileName(), files[1]);
  EXPECT_EQ(ReadUtf8(files[1]), c);
  EXPECT_EQ(ParsePackageEvents(ReadUtf8(files[0])).size(), 2u);

  // New events are appended to the current package file.
  const std::wstring d = Event(500);
  FTracker.QueueText(d);
  FTracker.FlushQueue(false);
  EXPECT_EQ(ReadUtf8(files[1]), c + d);
  EXPECT_EQ(FTracker.PackageText(), c + d);
}

TEST_F(TrackerPackages, AStoredLargePackageIsNotAddedToAPackageThatHasEvents) {
  const std::wstring stored = Event(80000);
  const std::wstring storedFile = StorePackage(L"001", stored);
  const std::wstring fresh = Event(400);
  FTracker.QueueText(fresh);
  FTracker.FlushQueue(false);
  EXPECT_EQ(FTracker.PackageText(), fresh);
  EXPECT_NE(FTracker.PackageFileName(), storedFile);
  EXPECT_EQ(ReadUtf8(storedFile), stored);
}

TEST_F(TrackerPackages, AStoredLargePackageBecomesTheEmptyPackageUnchanged) {
  const std::wstring stored = Event(80000);
  const std::wstring storedFile = StorePackage(L"001", stored);
  FTracker.FlushQueue(false);
  EXPECT_EQ(FTracker.PackageFileName(), storedFile);
  EXPECT_EQ(FTracker.PackageText(), stored);
  EXPECT_EQ(ReadUtf8(storedFile), stored);
  EXPECT_EQ(Files().size(), 1u);
}

TEST_F(TrackerPackages, StoredPackagesAreMergedOldestFirstUpToTheTargetSize) {
  const std::wstring oldest = Event(20000), older = Event(20000), newest = Event(20000), tooMuch = Event(20000);
  StorePackage(L"001", tooMuch);
  StorePackage(L"002", oldest);
  StorePackage(L"003", older);
  const std::wstring newestFile = StorePackage(L"004", newest);
  const std::wstring fresh = Event(300);
  FTracker.QueueText(fresh);
  FTracker.FlushQueue(false);
  // 004, 003 and 002 are taken (the text is still short of 51200 before 002); then it is full.
  EXPECT_EQ(FTracker.PackageText(), oldest + older + newest + fresh);
  EXPECT_EQ(FTracker.PackageFileName(), newestFile);
  EXPECT_EQ(ReadUtf8(newestFile), FTracker.PackageText());
  ASSERT_EQ(Files().size(), 2u);
  EXPECT_EQ(ReadUtf8(Files()[0]), tooMuch);
  EXPECT_EQ(ParsePackageEvents(FTracker.PackageText()).size(), 4u);
}

TEST_F(TrackerPackages, TheFinalFlushWritesEveryQueuedEventIntoFiles) {
  std::vector<std::wstring> queued;
  for (int i = 0; i < 120; ++i) {
    queued.push_back(Event(1000));
    FTracker.QueueText(queued.back());
  }
  FTracker.FlushQueue(true);
  EXPECT_FALSE(FTracker.PackageFileOpen());
  EXPECT_EQ(FTracker.PackageText(), L"");
  EXPECT_EQ(FTracker.QueuedCount(), 0u);
  const std::vector<std::wstring> files = Files();
  ASSERT_EQ(files.size(), 3u);
  std::wstring all;
  for (const std::wstring& file : files) all += ReadUtf8(file);
  std::wstring expected;
  for (const std::wstring& text : queued) expected += text;
  EXPECT_EQ(all, expected);
  EXPECT_EQ(ParsePackageEvents(ReadUtf8(files[0])).size(), 52u);  // up to the entry passing 51200
  EXPECT_EQ(ParsePackageEvents(ReadUtf8(files[1])).size(), 52u);
  EXPECT_EQ(ParsePackageEvents(ReadUtf8(files[2])).size(), 16u);
}

TEST_F(TrackerPackages, AFullFolderLosesTheSmallestNameFirstOneFileAtATime) {
  constexpr std::uint64_t kSeven = 7u << 20;
  StoreSparsePackage(L"00c", kSeven);
  StoreSparsePackage(L"00B", kSeven);
  StoreSparsePackage(L"00a", kSeven);
  FTracker.AppendToPackage(Event(300), false);
  const std::vector<std::wstring> names = ListFiles(Folder(), L"event-000101-*");
  EXPECT_EQ(names.size(), 2u);
  EXPECT_FALSE(FileExists(JoinPath(Folder(), L"event-000101-000000-1-00a.xml")));
  EXPECT_TRUE(FileExists(JoinPath(Folder(), L"event-000101-000000-1-00B.xml")));
  EXPECT_TRUE(FTracker.PackageFileOpen());
  FTracker.EnforceFolderLimit();  // 14 MiB left: nothing more goes
  EXPECT_EQ(ListFiles(Folder(), L"event-000101-*").size(), 2u);
}

TEST_F(TrackerPackages, AFlushOfManyPackagesCountsItsOwnFilesTowardsTheLimit) {
  StoreSparsePackage(L"001", kMaxPackageFolderBytes - 60000);
  for (int i = 0; i < 120; ++i) FTracker.QueueText(Event(1000));
  FTracker.FlushQueue(true);
  // Under the limit before the first two new files (52000 bytes each), over it before the third.
  EXPECT_FALSE(FileExists(JoinPath(Folder(), L"event-000101-000000-1-001.xml")));
  EXPECT_EQ(Files().size(), 3u);
}

TEST_F(TrackerPackages, FileNumbersAreUpperCaseHexWithAtLeastThreeDigits) {
  EXPECT_EQ(PackageFileNumberText(1), L"001");
  EXPECT_EQ(PackageFileNumberText(10), L"00A");
  EXPECT_EQ(PackageFileNumberText(0xFFF), L"FFF");
  EXPECT_EQ(PackageFileNumberText(0x1000), L"1000");

  // The counter belongs to the process: walk it on to the 4097th name.
  const std::wstring prefix = JoinPath(Folder(), L"event-" + FTracker.ExecutionId() + L"-");
  std::wstring name;
  unsigned long number = 0;
  do {
    name = FTracker.NewPackageFileName();
    ASSERT_EQ(name.rfind(prefix, 0), 0u) << WideToUtf8(name);
    number = std::stoul(name.substr(prefix.size()), nullptr, 16);
  } while (number < 0x1001);
  EXPECT_EQ(number, 0x1001u);
  EXPECT_EQ(name, prefix + L"1001.xml");
}

TEST_F(TrackerPackages, DiscardingDeletesThePackageFileOrEveryPackageFile) {
  const std::wstring stored = StorePackage(L"001", Event(60000));
  WriteUtf8(JoinPath(Folder(), L"other.xml"), L"<x/>");
  FTracker.QueueText(Event(200));
  FTracker.FlushQueue(false);
  const std::wstring current = FTracker.PackageFileName();
  FTracker.DiscardPackage(false);
  EXPECT_FALSE(FileExists(current));
  EXPECT_TRUE(FileExists(stored));
  EXPECT_EQ(FTracker.PackageText(), L"");
  FTracker.DiscardPackage(true);
  EXPECT_TRUE(Files().empty());
  EXPECT_TRUE(FileExists(JoinPath(Folder(), L"other.xml")));
}

TEST_F(TrackerPackages, ClosingAnEmptyPackageLeavesNoEmptyFile) {
  FTracker.FlushQueue(false);  // the run's empty file, as after a delivery
  ASSERT_EQ(Files().size(), 1u);
  FTracker.ClosePackage(L"");
  EXPECT_TRUE(Files().empty());
  EXPECT_FALSE(FTracker.PackageFileOpen());

  FTracker.FlushQueue(false);
  FTracker.FlushQueue(true);  // a run's last flush with nothing queued
  EXPECT_TRUE(Files().empty());
}

TEST_F(TrackerPackages, ClosingWithoutAFileWritesANewOne) {
  FTracker.ClosePackage(L"");
  EXPECT_TRUE(Files().empty());  // nothing to write
  const std::wstring text = Event(700);
  FTracker.ClosePackage(text);
  ASSERT_EQ(Files().size(), 1u);
  EXPECT_EQ(ReadUtf8(Files()[0]), text);
}

// Without a data folder nothing is listed, written or deleted: the current folder of an elevated
// process may be any folder of the user's.
class TrackerWithoutDataFolder : public ::testing::Test {
protected:
  void SetUp() override {
    wchar_t current[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, current);
    FPreviousFolder = current;
    ASSERT_TRUE(::SetCurrentDirectoryW(FCurrent.Path().c_str()));
    WriteUtf8(FCurrent / L"event-mine.xml", L"my own file");
    WriteUtf8(FRoot / L"blocked", L"a file where the data folder would go");
    TStatEnvironment environment = TestEnvironment(FRoot / L"blocked");
    FTracker.SetProductKey(kTestProductKey);
    FTracker.SetEnvironment(environment);
  }
  void TearDown() override { ::SetCurrentDirectoryW(FPreviousFolder.c_str()); }

  std::vector<std::wstring> CurrentFolderFiles() const { return ListFiles(FCurrent.Path(), L"*"); }

  TTestFolder FRoot{L"tracker-nofolder-root"};
  TTestFolder FCurrent{L"tracker-nofolder-current"};
  std::wstring FPreviousFolder;
  TTestTracker FTracker;
};

TEST_F(TrackerWithoutDataFolder, PackagesStayInMemoryAndTheCurrentFolderIsLeftAlone) {
  FTracker.PrepareDataFolder();
  ASSERT_EQ(FTracker.DataFolder(), L"");
  const std::wstring a = EventTextOfLength(FTracker, 30000), b = EventTextOfLength(FTracker, 30000),
                     c = EventTextOfLength(FTracker, 30000);
  for (const std::wstring* text : {&a, &b, &c}) FTracker.QueueText(*text);
  FTracker.FlushQueue(false);
  EXPECT_EQ(FTracker.PackageText(), a + b);
  EXPECT_EQ(FTracker.QueuedCount(), 1u);  // waits for room in the package
  FTracker.FlushQueue(true);
  EXPECT_EQ(FTracker.PackageText(), a + b);
  FTracker.DiscardPackage(true);  // as for "Invalid project"
  FTracker.ClosePackage(L"x");
  EXPECT_EQ(CurrentFolderFiles(), std::vector<std::wstring>{L"event-mine.xml"});
  EXPECT_EQ(ReadUtf8(FCurrent / L"event-mine.xml"), L"my own file");
}

TEST_F(TrackerWithoutDataFolder, ARunWritesNoFileAnywhere) {
  FTracker.Start();
  ASSERT_TRUE(FTracker.Running());
  EXPECT_EQ(FTracker.DataFolder(), L"");
  FTracker.TrackEvent(TSSEvent(L"Downloading", L"Begin", 1));
  FTracker.Finish(0);
  EXPECT_EQ(CurrentFolderFiles(), std::vector<std::wstring>{L"event-mine.xml"});
  EXPECT_EQ(ListFiles(FRoot.Path(), L"*"), std::vector<std::wstring>{L"blocked"});
}
