#pragma once
// Helpers of the tracker tests: a folder of the test's own, a tracker whose inner operations can be
// called directly, a clock the test moves, and a real XML parser (MSXML) for every package.
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "statistics/StatMgr.h"

// A new empty folder below the Windows temporary folder, removed with everything in it at the end.
class TTestFolder {
public:
  explicit TTestFolder(const std::wstring& stem);
  ~TTestFolder();
  TTestFolder(const TTestFolder&) = delete;
  TTestFolder& operator=(const TTestFolder&) = delete;
  const std::wstring& Path() const { return FPath; }
  std::wstring operator/(std::wstring_view name) const { return JoinPath(FPath, name); }

private:
  std::wstring FPath;
};

void RemoveFolderTree(const std::wstring& folder);
bool FileExists(const std::wstring& fileName);
// The whole file as UTF-8 text; empty when it cannot be read. Never creates the file.
std::wstring ReadUtf8(const std::wstring& fileName);
void WriteUtf8(const std::wstring& fileName, const std::wstring& text);
// The package files of a folder, sorted by name, with their folder.
std::vector<std::wstring> PackageFiles(const std::wstring& folder);

// A clock that only moves when the test moves it.
class TFakeClock {
public:
  explicit TFakeClock(TDateTime start) : FNow(start) {}
  TDateTime Now() const { return FNow.load(); }
  void Advance(double seconds) { FNow.store(FNow.load() + seconds / kSecondsPerDay); }

private:
  std::atomic<double> FNow;
};

// The tracker with its inner operations open to the tests.
class TTestTracker : public TSoftwareStatisticsTracker {
public:
  using TSoftwareStatisticsTracker::TSoftwareStatisticsTracker;
  using TSoftwareStatisticsTracker::AppendToPackage;
  using TSoftwareStatisticsTracker::ClosePackage;
  using TSoftwareStatisticsTracker::DiscardPackage;
  using TSoftwareStatisticsTracker::EnforceFolderLimit;
  using TSoftwareStatisticsTracker::EventToXml;
  using TSoftwareStatisticsTracker::FlushQueue;
  using TSoftwareStatisticsTracker::NewExecutionId;
  using TSoftwareStatisticsTracker::NewPackageFileName;
  using TSoftwareStatisticsTracker::PackageFileName;
  using TSoftwareStatisticsTracker::PackageFileOpen;
  using TSoftwareStatisticsTracker::PackageText;
  using TSoftwareStatisticsTracker::PrepareDataFolder;
  using TSoftwareStatisticsTracker::QueueText;
  using TSoftwareStatisticsTracker::QueuedCount;
  using TSoftwareStatisticsTracker::QueuedTexts;
  using TSoftwareStatisticsTracker::SettingsCopy;
  using TSoftwareStatisticsTracker::SettingsKnown;
  using TSoftwareStatisticsTracker::TakeBatch;
  void UseXmlWriter(TStatXmlWriterClass writerClass) { FXmlWriterClass = writerClass; }
  void UseHttpRequest(TStatHttpRequestClass requestClass) { FHttpRequestClass = requestClass; }
};

constexpr wchar_t kTestProductKey[] = L"tracker-test-key";
constexpr wchar_t kTestMachineId[] = L"AAAA-BBBB-CCCC";
// A statistics host where nothing listens: no test reaches a service by accident.
constexpr wchar_t kClosedServiceHost[] = L"127.0.0.1:9";

// Data folder below the root, as the tracker builds it for the test executable (version 2.1.0.15).
std::wstring TrackerDataFolder(const std::wstring& root, const std::wstring& productKey = kTestProductKey);
// An environment rooted in the test folder, with a fixed machine identifier and no reachable service.
TStatEnvironment TestEnvironment(const std::wstring& root);
// Settings that allow collecting (or, with "0", forbid it) and ask for no settings request for a week.
void WriteCollectingSettings(const std::wstring& dataFolder, const wchar_t* collectData = L"1");

// Handles messages until the condition holds or the time is up; true when it holds.
bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs);

// ---- XML ----

struct TXmlElement {
  std::wstring Name;
  std::map<std::wstring, std::wstring> Attributes;
  std::vector<TXmlElement> Children;
  std::wstring Attribute(const std::wstring& name) const;
  bool HasAttribute(const std::wstring& name) const { return Attributes.count(name) > 0; }
};

// Parses a whole XML document with MSXML; false with the parser's reason when it is not well-formed.
bool ParseXml(const std::wstring& document, TXmlElement& root, std::wstring& error);
// The events of package text (events without the package header), parsed as a package document.
// Fails the current test when the document is not well-formed.
std::vector<TXmlElement> ParsePackageEvents(const std::wstring& packageText);
// The events of every package file of the folder, oldest file first.
std::vector<TXmlElement> EventsInPackageFiles(const std::wstring& folder);

// Event XML padded through its value to exactly the given length.
std::wstring EventTextOfLength(TTestTracker& tracker, size_t length, const std::wstring& name = L"Padded");
