#pragma once
// The statistics tracker: a non-visual component that records what the application does as events,
// keeps them as XML text in package files of a per-user data folder, and lets a background thread
// deliver the packages to the statistics service under the settings that the service hands out.
//
// Threads: Start, Finish and destruction belong to the GUI thread; TrackEvent may be called from any
// thread at any time. The published events run on the GUI thread while the sending thread waits, so the
// GUI thread must keep handling messages (Finish and the destructor do so while they wait).
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include "framework/Lock.h"
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "framework/Exceptions.h"
#include "framework/Forms.h"
#include "framework/Handles.h"
#include "framework/Thread.h"
#include "statistics/SharedClassesAndInterfaces.h"
#include "statistics/StatUtils.h"

class TSoftwareStatisticsTracker;

// ---- Version of the application -------------------------------------------------------------

struct TProductVersion {
  std::uint32_t v1 = 0;
  std::uint32_t v2 = 0;
  std::uint32_t v3 = 0;
  std::uint32_t v4 = 0;

  void Assign(const TProductVersion& source) { *this = source; }
  std::wstring ToString() const;      // 2.1.0.15
  std::wstring ToFolderName() const;  // 2_1_0_15, the version's level of the data folder
  // The fixed file version of the running executable; all zero when it has none.
  static TProductVersion OfExecutable();
};

// ---- Events ---------------------------------------------------------------------------------

enum TSoftwareStatisticsEventParamType { ptNone = 0, ptText = 1, ptNumeric = 2, ptError = 3, ptLog = 4 };
// "none", "text", "numeric", "error", "log".
std::wstring ParamTypeName(TSoftwareStatisticsEventParamType type);

constexpr size_t kMaxParamValueLength = 255;
// The number of failure events: they never draw one from the counter.
constexpr std::int32_t kFailureEventOrdinal = 2147483647;

class TSoftwareStatisticsEventParam {
public:
  // Keeps at most the first 255 characters of the value.
  TSoftwareStatisticsEventParam(std::wstring name, TSoftwareStatisticsEventParamType type, std::wstring value);
  const std::wstring& Name() const { return FName; }
  const std::wstring& Value() const { return FValue; }
  TSoftwareStatisticsEventParamType ParamType() const { return FParamType; }

private:
  std::wstring FName;
  std::wstring FValue;
  TSoftwareStatisticsEventParamType FParamType;
};

// A named, time-stamped, numbered record with an optional value and parameters. It lives only until
// the tracker has written it as XML.
class TSoftwareStatisticsEvent {
public:
  // Draws the next number of the process-wide counter.
  TSoftwareStatisticsEvent(std::wstring name, TDateTime time);
  virtual ~TSoftwareStatisticsEvent();

  const std::wstring& Name() const { return FName; }
  std::int32_t Ordinal() const { return FOrdinal; }
  const std::wstring& Value() const { return FValue; }
  TDateTime Time() const { return FTime; }
  void SetValue(std::wstring value) { FValue = std::move(value); }

  int ParamCount() const { return static_cast<int>(FParams.size()); }
  const TSoftwareStatisticsEventParam& GetParam(int index) const { return FParams.at(index); }
  void ClearParams();
  void AddParam(std::wstring name, std::wstring text);
  void AddTextParam(std::wstring name, std::wstring text);
  void AddNumericParam(std::wstring name, std::int32_t value);
  // The description of the machine, in the order the service expects it.
  void AddSystemInformation();

protected:
  // For an event that brings its own number: nothing is drawn from the counter.
  TSoftwareStatisticsEvent(std::wstring name, TDateTime time, std::int32_t presetOrdinal);

private:
  std::wstring FName;
  std::int32_t FOrdinal;
  std::wstring FValue;
  TDateTime FTime;
  std::vector<TSoftwareStatisticsEventParam> FParams;
};

// The next number of the process-wide event counter (1 for the first event of the process).
std::int32_t NextEventOrdinal();

class TStatEventAppStart : public TSoftwareStatisticsEvent {
public:
  TStatEventAppStart(const TProductVersion& version, const std::wstring& package, TDateTime time);
};

// The value of the finish and failure events is the run time, time minus start time.
class TStatEventAppFinish : public TSoftwareStatisticsEvent {
public:
  TStatEventAppFinish(TDateTime time, TDateTime startTime);
};

class TStatEventAppFailure : public TSoftwareStatisticsEvent {
public:
  TStatEventAppFailure(TDateTime time, TDateTime startTime);
};

// ---- Settings of the statistics service -----------------------------------------------------

// name=value items as the service delivers them, with the result code of the last exchange and the
// permission to deliver beside them; those two are taken out of the text and never stored.
class TTrackerSettings {
public:
  wchar_t Delimiter = L',';
  std::int32_t ErrorCode = 0;
  bool SendData = false;

  const std::vector<std::wstring>& Items() const { return FItems; }
  void Clear() { FItems.clear(); }
  // Items separated by the delimiter; blanks and control characters around an item are skipped and
  // end an unquoted item; "..." may hold anything, "" standing for one double quote.
  void SetDelimitedText(std::wstring_view text);
  // Items holding a blank, a control character, a double quote or the delimiter are quoted.
  std::wstring DelimitedText() const;
  // The text after the first "=" of the first item whose name matches, ignoring case.
  std::wstring Values(std::wstring_view name) const;
  bool HasName(std::wstring_view name) const { return IndexOfName(name) >= 0; }
  // Replaces the item or appends name=value; an empty value removes the item.
  void SetValue(std::wstring_view name, std::wstring_view value);

private:
  int IndexOfName(std::wstring_view name) const;
  std::vector<std::wstring> FItems;
};

constexpr std::uint32_t kMaxWaitTimeoutSeconds = 604800;  // 7 days

// Replaces all items by those of the text; takes "error_code" into ErrorCode and "send_data" into SendData.
void ParseSettings(TTrackerSettings& settings, std::wstring_view text);
// The text form, after adding "prev_conn_time" = now when it is missing.
std::wstring SettingsToText(TTrackerSettings& settings, TDateTime nowWholeSeconds);
bool SettingsCollectData(const TTrackerSettings& settings);
// Seconds; not a number is 0, above 7 days (a negative number too) is 7 days.
std::uint32_t SettingsWaitTimeout(const TTrackerSettings& settings);
// When the settings were last fetched; an unreadable text or a time after now counts as now.
TDateTime SettingsPrevConnTime(const TTrackerSettings& settings, TDateTime nowWholeSeconds);
// From when a settings request is due: the last fetch plus the wait the service asked for.
TDateTime NextSettingsTime(const TTrackerSettings& settings, TDateTime nowWholeSeconds);
// The user's default date and time format, and back.
std::wstring FormatSettingsDateTime(TDateTime value);
bool ParseSettingsDateTime(std::wstring_view text, TDateTime& value);

// ---- Delivery rules -------------------------------------------------------------------------

struct TDeliveryPacing {
  bool SendData = false;
  bool LastSendFailed = false;
  TDateTime LastSendAttempt = 0;  // zero: no attempt since the tracker was made
  TDateTime StartTime = 0;
};
// Whether a delivery may be attempted at the time: at once when finishing after no failure, the first
// one more than 2 s after the start, then more than 15 s apart, or an hour after a failed exchange.
bool IsSendDue(const TDeliveryPacing& pacing, bool finishing, TDateTime now);

// "OK", "Invalid project", ... "Unknown error".
std::wstring ResultCodeText(std::int32_t code);

struct TResultCodeEffect {
  bool Failed = false;             // 50 and 252 to 255: retry after an hour
  bool DropPackage = false;        // 0, 10, 30, 31, 40
  bool DeleteAllPackages = false;  // 10
  bool StopSending = false;        // 10, 20, 35
};
TResultCodeEffect ResultCodeEffect(std::int32_t code);
// The code of a failed exchange: 252 to 255.
std::int32_t FailedExchangeCode(TStatHttpResult result);
// The code of a delivery: the reply's number, 50 when it is not one; a failed exchange as above.
std::int32_t DeliveryResultCode(TStatHttpResult result, std::wstring_view reply);

// The number of a package file name: upper-case hexadecimal, at least 3 digits (001, 00A, FFF, 1000).
std::wstring PackageFileNumberText(std::uint32_t number);

constexpr wchar_t kTrackerVersion[] = L"1.0.0.1";
// The document a package is delivered as: the XML declaration, the package element and the events.
std::wstring PackageDocument(std::wstring_view packageText);

// ---- The tracker ----------------------------------------------------------------------------

using TExceptionEvent = std::function<void(TSoftwareStatisticsTracker* sender, const Exception& error)>;
using TGetTrackerSettingsEvent = std::function<void(TSoftwareStatisticsTracker* sender, const std::wstring& errorText)>;
using TSendEventDataEvent = std::function<void(TSoftwareStatisticsTracker* sender, const std::wstring& eventDataXml,
                                               const std::wstring& errorText)>;
using TProxyAuthenticationRequiredEvent =
    std::function<void(TSoftwareStatisticsTracker* sender, const std::wstring& proxy)>;
using TProxyNameResolutionFailureEvent =
    std::function<void(TSoftwareStatisticsTracker* sender, const std::wstring& proxy)>;

// What the tracker takes from its surroundings. The program keeps the defaults (the real clock, the
// user's folder, the machine, the built-in service host); tests put in their own.
struct TStatEnvironment {
  std::function<TDateTime()> Now = NowLocal;  // local time with milliseconds
  std::function<std::wstring()> LocalAppDataFolder = GetLocalAppDataFolder;
  std::function<std::wstring(std::wstring_view productKey)> MachineInstallationId = ComputeMachineInstallationId;
  std::wstring ServiceHost;  // host[:port]; empty: the built-in production or test host
};

class TStatEventThread;

constexpr size_t kMaxQueuedEvents = 20000;
constexpr size_t kPackageTargetLength = 51200;            // characters
constexpr std::uint64_t kMaxPackageFolderBytes = 20971520;  // 20 MiB
constexpr DWORD kDefaultAutoFinishTimeout = 1000;
constexpr wchar_t kSettingsFileName[] = L"settings.txt";

class TSoftwareStatisticsTracker : public TComponent {
public:
  // Registers itself with the owning form (when given) under its name.
  explicit TSoftwareStatisticsTracker(TForm* owner = nullptr, std::wstring name = L"SoftwareStatisticsTracker");
  // With AutoFinish: Finish(AutoFinishTimeout); then the thread is stopped and the marker removed.
  ~TSoftwareStatisticsTracker() override;
  TSoftwareStatisticsTracker(const TSoftwareStatisticsTracker&) = delete;
  TSoftwareStatisticsTracker& operator=(const TSoftwareStatisticsTracker&) = delete;

  // Published properties. Change them while the tracker is stopped.
  const TStatProxySettings& ProxySettings() const { return FProxySettings; }
  void SetProxySettings(const TStatProxySettings& value) { FProxySettings.Assign(value); }
  bool AutoStart() const { return FAutoStart; }
  void SetAutoStart(bool value) { FAutoStart = value; }
  bool AutoFinish() const { return FAutoFinish; }
  void SetAutoFinish(bool value) { FAutoFinish = value; }
  DWORD AutoFinishTimeout() const { return FAutoFinishTimeout; }
  void SetAutoFinishTimeout(DWORD value) { FAutoFinishTimeout = value; }
  bool Active() const { return FActive; }
  void SetActive(bool value) { FActive = value; }
  bool UseSandbox() const { return FUseSandbox; }
  void SetUseSandbox(bool value) { FUseSandbox = value; }
  const std::wstring& ProductKey() const { return FProductKey; }
  void SetProductKey(std::wstring value) { FProductKey = std::move(value); }
  const std::wstring& ProductPackage() const { return FProductPackage; }
  void SetProductPackage(std::wstring value) { FProductPackage = std::move(value); }

  // Published events; each runs on the GUI thread while the sending thread waits for it.
  TExceptionEvent OnException;
  TGetTrackerSettingsEvent OnGetTrackerSettings;
  TSendEventDataEvent OnSendEventData;
  TProxyAuthenticationRequiredEvent OnProxyAuthenticationRequired;
  TProxyNameResolutionFailureEvent OnProxyNameResolutionFailure;
  // Runs last in the destructor, so that whoever keeps a pointer to the tracker lets go of it. Must not throw.
  std::function<void(const TSoftwareStatisticsTracker* gone)> OnDestroy;

  void SetEnvironment(TStatEnvironment environment) { FEnvironment = std::move(environment); }
  const TStatEnvironment& Environment() const { return FEnvironment; }

  // To be called once the owner has set the properties: starts the tracker when AutoStart is on.
  void Loaded();
  // Begins a run; does nothing while Active is off or ProductKey is empty. A run in progress is
  // finished first without waiting.
  void Start();
  // Ends the run: queues the finish event, gives the sending thread up to timeoutMs to deliver the
  // current package, stops the thread (which writes everything still queued into package files) and
  // removes the marker. Does nothing while no run is in progress.
  // Start and Finish do nothing while called from a message handled during one of the tracker's own
  // waits (Finish, stopping the thread) or from a published event: the wait is for the thread that
  // the nested call would free or replace, and the event's thread waits for the handler to return.
  // The thread gets stopTimeoutMs to end after its abort: a network call that the abort does not end
  // (proxy discovery, a name look-up, a stalled TLS handshake) may hold it longer. It is then left
  // running, the events still queued go into a package file of their own, and the next Start or the
  // destructor waits for it; a process that ends meanwhile loses nothing of the run.
  void Finish(DWORD timeoutMs, DWORD stopTimeoutMs = INFINITE);
  // Writes the event as XML with the tracker's identifiers and queues the text. Any thread, any time.
  void TrackEvent(const TSoftwareStatisticsEvent& event);
  void TrackEvent(std::unique_ptr<TSoftwareStatisticsEvent> event);
  // Cancels the statistics request in progress, if any.
  void AbortRequest();

  bool Running() const { return FStartTime > 0; }
  TDateTime StartTime() const { return FStartTime; }
  const std::wstring& DataFolder() const { return FDataFolder.Path(); }
  const TProductVersion& Version() const { return FVersion; }
  const std::wstring& SendUrl() const { return FSendUrl; }
  const std::wstring& SettingsUrl() const { return FSettingsUrl; }
  std::wstring InstallationId() const;
  std::wstring ExecutionId() const;

protected:
  friend class TStatEventThread;

  // Steps of Start.
  void BuildServiceUrls();
  void PrepareDataFolder();
  void LoadSettings();
  void DetermineInstallationId();
  void NewExecutionId();
  void ReportEndedRuns();
  void CreateMarker();
  void UpdateMarker();
  void RemoveMarker();
  // False when the thread has not ended within the time-out (see Finish).
  bool StopThread(DWORD timeoutMs = INFINITE);

  // Events as XML and the queue.
  std::wstring EventToXml(const TSoftwareStatisticsEvent& event) const;
  void QueueText(std::wstring text);
  std::wstring TakeBatch(std::int64_t limit);
  size_t QueuedCount() const;
  std::vector<std::wstring> QueuedTexts() const;

  // The current package and the package files (sending thread only while a run is in progress).
  void FlushQueue(bool final);
  void AppendToPackage(const std::wstring& text, bool scan);
  void ClosePackage(const std::wstring& text);
  void DiscardPackage(bool deleteAll);
  std::wstring NewPackageFileName();
  void EnforceFolderLimit();
  const std::wstring& PackageText() const { return FPackageText; }
  const std::wstring& PackageFileName() const { return FPackageFileName; }
  bool PackageFileOpen() const { return static_cast<bool>(FPackageFile); }

  // Settings and delivery (sending thread).
  void FetchSettings();
  bool SendPendingPackage(bool finishing);
  TStatHttpResult SendPackage(const std::wstring& text, std::wstring& reply);
  bool IsSendDue(bool finishing, TDateTime now) const;
  // From when a settings request is due, seen at the time now (one reading of the clock per decision).
  TDateTime NextSettingsTime(TDateTime now) const;
  void ApplyResultCode(std::int32_t code);
  void ApplyResultCodeEffect(const TResultCodeEffect& effect);
  void ReplaceSettings(std::wstring_view text);
  TTrackerSettings SettingsCopy() const;
  bool SettingsKnown() const;

  TDateTime Now() const { return FEnvironment.Now(); }
  TDateTime NowWhole() const;
  std::wstring DataFile(std::wstring_view name) const;
  // Runs a published event on the GUI thread and waits for it.
  void CallEvent(const std::function<void()>& call);
  // The request in progress, reachable for AbortRequest; one that begins while the thread is asked to
  // end is cancelled at once, so that no exchange can hold up the end of a run.
  void BeginRequest(TStatHttpRequest* request);
  void EndRequest();
  void ReportThreadException(const Exception& error);

  // One fresh writer per event and one fresh request per exchange.
  TStatXmlWriterClass FXmlWriterClass;
  TStatHttpRequestClass FHttpRequestClass;

private:
  // Counts the waits and event calls during which Start and Finish do nothing, for its scope.
  class TNestedCallBlock {
  public:
    explicit TNestedCallBlock(TSoftwareStatisticsTracker& tracker) : FCount(tracker.FNestedCallsBlocked) { ++FCount; }
    ~TNestedCallBlock() { --FCount; }
    TNestedCallBlock(const TNestedCallBlock&) = delete;
    TNestedCallBlock& operator=(const TNestedCallBlock&) = delete;

  private:
    std::atomic<int>& FCount;
  };
  // The failure records of ended runs go the way of queued events once the settings step is done: they
  // become package files while the service lets the tracker collect, and are dropped otherwise.
  void SettleReportedRuns();
  // With the sending thread held up past its stop: what is still queued goes into new package files
  // beside whatever the thread owns (its current package is on disk already).
  void KeepQueueInPackageFiles();
  // The queueing rule; with Lock held.
  bool CollectsLocked() const { return !FSettingsKnown || FCollectData; }
  // A new file name "<prefix><ExecutionId>-<number><extension>" (without the folder); the number is
  // shared by every file of the process.
  std::wstring NewRunName(std::wstring_view prefix, std::wstring_view extension);
  // The name of a new package file, without the folder.
  std::wstring NewPackageName() { return NewRunName(L"event-", L".xml"); }
  // Takes stored package files into the current package; returns the open files whose events it merged,
  // to be deleted once the current package file holds them, and what the adopted file held.
  std::vector<TFileHandle> TakeInStoredPackages(std::wstring& adoptedContent);
  void CountNewPackageBytes(std::uint64_t bytes);
  bool ThreadAskedToEnd() const;
  void ClearFinishing();
  void DropQueueUnlessCollecting();

  TStatProxySettings FProxySettings;
  bool FAutoStart = true;
  bool FAutoFinish = true;
  DWORD FAutoFinishTimeout = kDefaultAutoFinishTimeout;
  bool FActive = true;
  bool FUseSandbox = false;
  std::wstring FProductKey;
  std::wstring FProductPackage;
  TStatEnvironment FEnvironment;

  // Guards the queue, the settings as other threads read them, SettingsKnown, CurrentRequest and the
  // two identifiers.
  mutable TLock FLock;
  TDateTime FStartTime = 0;
  std::wstring FSendUrl;
  std::wstring FSettingsUrl;
  TDataFolder FDataFolder;  // held from the Start that opened it until another one replaces it
  TTrackerSettings FSettings;
  bool FCollectData = false;  // collect_data of FSettings, for the queueing threads
  TProductVersion FVersion;
  std::wstring FInstallationId;
  std::wstring FExecutionId;
  std::deque<std::wstring> FEventQueue;
  bool FSettingsKnown = false;
  TFileHandle FProcFile;
  TDateTime FLastProcUpdate = 0;
  // Failure records of ended runs, held open under names of this run until SettleReportedRuns: Start
  // fills the list before the thread runs, the thread settles it, StopThread settles what is left.
  std::vector<TFileHandle> FReportedRuns;
  std::unique_ptr<TStatEventThread> FThread;
  std::atomic<int> FNestedCallsBlocked{0};
  TStatHttpRequest* FCurrentRequest = nullptr;  // not owned: the sending thread's request
  std::atomic<bool> FFinishing{false};
  THandle FFinishingCleared;  // set when the sending thread clears Finishing
  std::wstring FPackageText;
  std::wstring FPackageFileName;
  TFileHandle FPackageFile;
  // The bytes of the package files while a flush runs: read from the folder once, then kept up to date
  // with the new files of the same flush, so that a flush of many packages does not list the folder
  // again before every new file. Empty outside a flush and after every deletion.
  std::optional<std::uint64_t> FKnownFolderBytes;
  bool FCountingFolderBytes = false;
  // Delivery state of the sending thread.
  TDateTime FLastSendAttempt = 0;
  bool FLastSendFailed = false;
};

// The tracker's sending thread: takes the service's settings, then about once a second moves queued
// events into package files, refreshes the marker and delivers the current package when it is due.
class TStatEventThread : public TThread {
public:
  explicit TStatEventThread(TSoftwareStatisticsTracker& tracker);  // created suspended
  ~TStatEventThread() override { EndBeforeDestruction(); }
  // Cuts the pause between two cycles short (Finish and the end request).
  void Wake() { ::SetEvent(FWake.Get()); }
  static void RunOnGuiThread(const std::function<void()>& call) { Synchronize(call); }

protected:
  void Execute() override;

private:
  void Cycle();
  TSoftwareStatisticsTracker& FTracker;  // not owned: the tracker owns the thread
  THandle FWake;
};
