// The current package and the package files: queued events move into packages of about 51200
// characters, each mirrored in a file of the data folder until it has been delivered. Used by the
// sending thread only (and by Start and Finish while no thread runs), so no lock is needed here.
//
// Without a data folder the package stays in memory: no file is listed, created or deleted, because
// the only other place would be the process's current folder, which may be any folder of the user.
#include "statistics/StatMgr.h"
#include "framework/Strings.h"
#include <algorithm>
#include <atomic>

namespace {

constexpr wchar_t kPackageMask[] = L"event-*.xml";

// The number in package (and held marker) file names: per process, zero at program start, raised before
// each new name.
std::atomic<std::uint32_t> PackageFileCounter{0};

// With DELETE access, so that a merged file can be deleted through the handle that keeps it ours. A stored
// file is opened only if it still exists: another tracker may have delivered and deleted it since the
// folder was listed, and opening it "always" would bring it back as an empty file.
TFileHandle OpenPackageFile(const TDataFolder& folder, const std::wstring& name, TDataFileOpen how) {
  return OpenDataFile(folder, name, GENERIC_READ | GENERIC_WRITE | DELETE, how);
}

// For deleting only, sharing as a deletion by name would: a file another tracker holds stays.
TFileHandle OpenPackageFileToDelete(const TDataFolder& folder, const std::wstring& name) {
  return OpenDataFile(folder, name, DELETE, dfExisting, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
}

// Ascending, ignoring the case of ASCII letters: the oldest run's files come first.
std::vector<std::wstring> SortedPackageNames(const std::wstring& folder) {
  std::vector<std::wstring> names = ListFiles(folder, kPackageMask);
  std::sort(names.begin(), names.end(),
            [](const std::wstring& a, const std::wstring& b) { return LowerAscii(a) < LowerAscii(b); });
  return names;
}

}  // namespace

std::wstring PackageFileNumberText(std::uint32_t number) {
  return IntToHex(number, 3);
}

void TSoftwareStatisticsTracker::FlushQueue(bool final) {
  std::wstring batch = TakeBatch(static_cast<std::int64_t>(kPackageTargetLength) -
                                 static_cast<std::int64_t>(FPackageText.size()));
  if (!FDataFolder) {
    // In memory only: take no more than fits; the rest waits in the queue for the next delivery.
    FPackageText += batch;
    return;
  }
  FCountingFolderBytes = true;
  FKnownFolderBytes.reset();  // other trackers may have written since the last flush
  if (final) ClosePackage(batch);
  else AppendToPackage(batch, true);  // with an empty batch too: adopts stored files, makes the run's file
  for (;;) {
    batch = TakeBatch(kPackageTargetLength);
    if (batch.empty()) break;
    ClosePackage(L"");
    if (final) ClosePackage(batch);  // every further batch becomes a file of its own
    else AppendToPackage(batch, false);
  }
  FCountingFolderBytes = false;
  FKnownFolderBytes.reset();
}

void TSoftwareStatisticsTracker::AppendToPackage(const std::wstring& text, bool scan) {
  FPackageText += text;
  if (FPackageFile) {
    if (!text.empty()) AppendTextToHandle(FPackageFile.Get(), text);
    return;
  }
  if (!FDataFolder) return;
  if (scan) {
    const std::wstring added = FPackageText;
    std::wstring adopted;
    std::vector<TFileHandle> merged = TakeInStoredPackages(adopted);
    if (FPackageFile) {
      // Only once the package file holds their events may the merged files go: a crash or a full disk
      // before that leaves their events where they were. They stay open until then, so that no other
      // tracker takes them in as well.
      if (RewriteTextToHandle(FPackageFile.Get(), FPackageText)) {
        for (TFileHandle& package : merged) DeleteOpenFile(package);
      } else {
        // The adopted file gets back what it held; the added text stays in memory, as in a package
        // whose file could not be written.
        RewriteTextToHandle(FPackageFile.Get(), adopted);
        FPackageText = adopted + added;
      }
      return;
    }
  }
  EnforceFolderLimit();
  const std::wstring name = NewPackageName();
  FPackageFileName = DataFile(name);
  FPackageFile = OpenPackageFile(FDataFolder, name, dfNew);
  if (!FPackageFile) return;
  const TStatBytes bytes = TextToUtf8Bytes(FPackageText);
  if (RewriteBytesToHandle(FPackageFile.Get(), bytes)) CountNewPackageBytes(bytes.size());
}

std::vector<TFileHandle> TSoftwareStatisticsTracker::TakeInStoredPackages(std::wstring& adoptedContent) {
  const std::vector<std::wstring> names = SortedPackageNames(FDataFolder.Path());
  std::vector<TFileHandle> merged;
  // Newest first, each in front of what is already taken: older events end up first.
  for (auto name = names.rbegin(); name != names.rend() && FPackageText.size() < kPackageTargetLength; ++name) {
    // Not taken: another tracker's current package, no access, or a link or anything else that is not
    // plainly a package file of the folder. It stays on disk as it is.
    TFileHandle file = OpenPackageFile(FDataFolder, *name, dfExisting);
    if (!file) continue;
    std::wstring content;
    if (!ReadTextFromHandle(file.Get(), content)) continue;
    if (!FPackageText.empty() && content.size() > kPackageTargetLength) continue;
    FPackageText = content + FPackageText;
    if (!FPackageFile) {
      FPackageFileName = DataFile(*name);
      FPackageFile = std::move(file);
      adoptedContent = std::move(content);
    } else {
      merged.push_back(std::move(file));  // its events belong to the current package now
    }
  }
  return merged;
}

void TSoftwareStatisticsTracker::ClosePackage(const std::wstring& text) {
  if (FPackageFile) {
    FPackageText += text;
    // A package without events is no package: left on disk, every later run would open and merge it.
    if (FPackageText.empty()) DeleteOpenFile(FPackageFile);
    else RewriteTextToHandle(FPackageFile.Get(), FPackageText);
    FPackageFile.Reset();
  } else if (FDataFolder && !(FPackageText.empty() && text.empty())) {
    FPackageText += text;
    EnforceFolderLimit();
    const TStatBytes bytes = TextToUtf8Bytes(FPackageText);
    if (WriteNewDataFile(FDataFolder, NewPackageName(), bytes)) CountNewPackageBytes(bytes.size());
  }
  FPackageText.clear();
  FPackageFileName.clear();
}

void TSoftwareStatisticsTracker::DiscardPackage(bool deleteAll) {
  if (FPackageFile) {
    // Deleted through its handle: between a close and a delete by name another tracker could take in the
    // delivered file and deliver it again.
    DeleteOpenFile(FPackageFile);
  }
  FPackageText.clear();
  FPackageFileName.clear();
  if (!deleteAll || !FDataFolder) return;
  for (const std::wstring& name : ListFiles(FDataFolder.Path(), kPackageMask)) {
    TFileHandle file = OpenPackageFileToDelete(FDataFolder, name);
    if (file) DeleteOpenFile(file);
  }
}

std::wstring TSoftwareStatisticsTracker::NewPackageFileName() { return DataFile(NewPackageName()); }

std::wstring TSoftwareStatisticsTracker::NewRunName(std::wstring_view prefix, std::wstring_view extension) {
  const std::uint32_t number = ++PackageFileCounter;
  return std::wstring(prefix) + ExecutionId() + L"-" + PackageFileNumberText(number) + std::wstring(extension);
}

void TSoftwareStatisticsTracker::EnforceFolderLimit() {
  if (!FDataFolder) return;
  const std::uint64_t total =
      FKnownFolderBytes ? *FKnownFolderBytes : GetFilesSize(FDataFolder.Path(), kPackageMask);
  if (total <= kMaxPackageFolderBytes) {
    if (FCountingFolderBytes) FKnownFolderBytes = total;
    return;
  }
  FKnownFolderBytes.reset();
  // One file per call: the oldest that can be deleted (a file held open by a tracker cannot).
  for (const std::wstring& name : SortedPackageNames(FDataFolder.Path())) {
    TFileHandle file = OpenPackageFileToDelete(FDataFolder, name);
    if (file && DeleteOpenFile(file)) return;
  }
}

void TSoftwareStatisticsTracker::CountNewPackageBytes(std::uint64_t bytes) {
  if (FKnownFolderBytes) *FKnownFolderBytes += bytes;
}
