// The tracker component: its run (Start, Finish), the data folder, the identifiers, the process
// marker files and the event queue.
#include "statistics/StatMgr.h"
#include "Endpoints.h"
#include "framework/Application.h"
#include "framework/Strings.h"
#include "statistics/StatHttpRequest.h"
#include "statistics/StatXmlWriter.h"
#include <cmath>

namespace {

constexpr wchar_t kServiceFolderName[] = L"Software Statistics Service";
constexpr wchar_t kMarkerPrefix[] = L"proc-";
constexpr wchar_t kMarkerMask[] = L"proc-*";
constexpr wchar_t kInstallationKeyFileName[] = L"installation.key";
constexpr std::int64_t kMarkerUpdateIntervalMs = 60000;
constexpr DWORD kServeSliceMs = 100;

std::int64_t MillisecondsBetween(TDateTime from, TDateTime to) {
  return std::llround((to - from) * static_cast<double>(kMSecsPerDay));
}

// Waits for the handle; on the GUI thread it keeps handling messages, so that the sending thread's calls
// of the published events are served meanwhile. Short slices: a quit message seen by one slice must not
// stop the serving for the rest of the wait.
bool WaitServingGuiCalls(HANDLE handle, DWORD timeoutMs) {
  if (!Application || ::GetCurrentThreadId() != Application->MainThreadID())
    return ::WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD slice = kServeSliceMs;
    if (timeoutMs != INFINITE) {
      const DWORD elapsed = ::GetTickCount() - start;
      if (elapsed >= timeoutMs) return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
      slice = std::min(slice, timeoutMs - elapsed);
    }
    if (Application->WaitPumping(handle, slice)) return true;
  }
}

}  // namespace

TSoftwareStatisticsTracker::TSoftwareStatisticsTracker(TForm* owner, std::wstring name)
    : TComponent(std::move(name)),
      FXmlWriterClass(&TStatXmlWriterImpl::Create),
      FHttpRequestClass(&TStatHttpRequestImpl::Create),
      FVersion(TProductVersion::OfExecutable()),
      FFinishingCleared(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
  FSettings.Delimiter = L'&';
  if (owner) owner->AddComponent(this);
}

TSoftwareStatisticsTracker::~TSoftwareStatisticsTracker() {
  if (FAutoFinish) Finish(FAutoFinishTimeout);
  StopThread();
  RemoveMarker();
  if (OnDestroy) OnDestroy(this);
}

void TSoftwareStatisticsTracker::Loaded() {
  if (FAutoStart) Start();
}

// ---- The run ---------------------------------------------------------------------------------

void TSoftwareStatisticsTracker::Start() {
  if (!FActive || FProductKey.empty() || FNestedCallsBlocked > 0) return;
  if (Running()) Finish(0);
  StopThread();  // a thread that outlived its run's Finish still uses what this run replaces
  FStartTime = NowWhole();
  BuildServiceUrls();
  PrepareDataFolder();
  LoadSettings();
  DetermineInstallationId();
  NewExecutionId();
  // A package whose thread ended by an error still has its file open, and the file holds its events:
  // closed, it is taken in again from there by the next scan, and only from there.
  if (FPackageFile) ClosePackage(L"");
  FPackageFileName.clear();
  ReportEndedRuns();
  CreateMarker();
  UpdateMarker();
  try {
    // Set before it runs: the thread reads Thread.
    FThread = std::make_unique<TStatEventThread>(*this);
    FThread->Start();
  } catch (const Exception&) {
    FThread.reset();  // no thread: events stay queued for a later run
  }
  TrackEvent(TStatEventAppStart(FVersion, FProductPackage, FStartTime));
}

void TSoftwareStatisticsTracker::Finish(DWORD timeoutMs, DWORD stopTimeoutMs) {
  if (!Running() || FNestedCallsBlocked > 0) return;
  TNestedCallBlock block(*this);
  ::ResetEvent(FFinishingCleared.Get());
  FFinishing = true;
  TrackEvent(TStatEventAppFinish(NowWhole(), FStartTime));
  if (FThread) {
    FThread->Wake();
    if (timeoutMs > 0) WaitServingGuiCalls(FFinishingCleared.Get(), timeoutMs);
  }
  StopThread(stopTimeoutMs);
  // Also when the thread was left running: the run's events are on disk and it ended as it should.
  RemoveMarker();
  FStartTime = 0;
}

bool TSoftwareStatisticsTracker::StopThread(DWORD timeoutMs) {
  if (FThread) {
    TNestedCallBlock block(*this);
    // The end request comes before the abort: an exchange that begins after it is cancelled at once.
    FThread->Terminate();
    FThread->Wake();
    AbortRequest();
    if (!WaitServingGuiCalls(FThread->Handle(), timeoutMs)) {
      // The thread keeps its current package and the failure records it holds (on disk, under names
      // that the next start reports); only the queue is shared, and taking from it is guarded.
      KeepQueueInPackageFiles();
      return false;
    }
    FThread.reset();
  }
  SettleReportedRuns();  // those of a thread that did not get through its settings step
  return true;
}

void TSoftwareStatisticsTracker::KeepQueueInPackageFiles() {
  if (!FDataFolder) return;  // without a folder the queue lives in memory only
  // Not counted against the folder's limit: that count belongs to the thread, and this is one run's rest.
  for (std::wstring batch; !(batch = TakeBatch(kPackageTargetLength)).empty();)
    WriteNewDataFile(FDataFolder, NewPackageName(), TextToUtf8Bytes(batch));
}

void TSoftwareStatisticsTracker::AbortRequest() {
  TLocked guard(FLock);
  if (FCurrentRequest) FCurrentRequest->Cancel();
  FCurrentRequest = nullptr;
}

void TSoftwareStatisticsTracker::BeginRequest(TStatHttpRequest* request) {
  TLocked guard(FLock);
  FCurrentRequest = request;
  if (ThreadAskedToEnd()) request->Cancel();
}

void TSoftwareStatisticsTracker::EndRequest() {
  TLocked guard(FLock);
  FCurrentRequest = nullptr;
}

bool TSoftwareStatisticsTracker::ThreadAskedToEnd() const { return FThread && FThread->Terminated(); }

void TSoftwareStatisticsTracker::ClearFinishing() {
  FFinishing = false;
  ::SetEvent(FFinishingCleared.Get());
}

TDateTime TSoftwareStatisticsTracker::NowWhole() const { return WholeSeconds(Now()); }

std::wstring TSoftwareStatisticsTracker::DataFile(std::wstring_view name) const {
  return JoinPath(FDataFolder.Path(), name);
}

// ---- Steps of Start --------------------------------------------------------------------------

void TSoftwareStatisticsTracker::BuildServiceUrls() {
  std::wstring host = FEnvironment.ServiceHost;
  if (host.empty()) host = FUseSandbox ? TL_STAT_SANDBOX_HOST : TL_STAT_HOST;
  FSendUrl = L"http://" + host + L"/index.php?version=2&key=" + FProductKey;
  FSettingsUrl = L"http://" + host + L"/get_settings.php?key=" + FProductKey + L"&version=" + FVersion.ToString() +
                 L"&tracker=" + kTrackerVersion;
}

void TSoftwareStatisticsTracker::PrepareDataFolder() {
  const std::wstring root = FEnvironment.LocalAppDataFolder();
  if (root.empty()) return;
  // A folder that cannot be made, or is refused, leaves the one held so far: it cannot have been
  // redirected while it was held.
  TDataFolder folder = TDataFolder::Open(root, {kServiceFolderName, FProductKey, FVersion.ToFolderName()});
  if (folder) FDataFolder = std::move(folder);
}

void TSoftwareStatisticsTracker::LoadSettings() {
  if (!FDataFolder) return;
  std::wstring text;
  ReadDataTextFile(FDataFolder, kSettingsFileName, text);  // missing, refused or unreadable: empty
  ReplaceSettings(text);
}

void TSoftwareStatisticsTracker::DetermineInstallationId() {
  std::wstring id = FEnvironment.MachineInstallationId(FProductKey);
  if (id.empty()) {
    if (!FDataFolder) return;  // the identifier of the last run stays
    ReadDataTextFile(FDataFolder, kInstallationKeyFileName, id);
    if (id.empty()) {
      id = CreateGuidText();
      if (id.empty()) id = CreateTimeStampId();
      if (!ReplaceDataTextFile(FDataFolder, kInstallationKeyFileName, id)) id.clear();
    }
  }
  TLocked guard(FLock);
  FInstallationId = std::move(id);
}

void TSoftwareStatisticsTracker::NewExecutionId() {
  std::wstring id = CreateTimeStampId();
  TLocked guard(FLock);
  FExecutionId = std::move(id);
}

std::wstring TSoftwareStatisticsTracker::InstallationId() const {
  TLocked guard(FLock);
  return FInstallationId;
}

std::wstring TSoftwareStatisticsTracker::ExecutionId() const {
  TLocked guard(FLock);
  return FExecutionId;
}

// ---- Process markers -------------------------------------------------------------------------

void TSoftwareStatisticsTracker::ReportEndedRuns() {
  if (!FDataFolder) return;
  for (const std::wstring& name : ListFiles(FDataFolder.Path(), kMarkerMask)) {
    // A running process holds its marker open for writing and shares reading only: this open fails for it.
    TFileHandle marker = OpenDataFile(FDataFolder, name, GENERIC_READ | GENERIC_WRITE | DELETE, dfExisting);
    if (!marker) continue;
    std::wstring text;
    ReadTextFromHandle(marker.Get(), text);
    if (text.empty()) {
      DeleteOpenFile(marker);
      continue;
    }
    // The record stays a marker, held open under a name of this run (never that of a live process), until
    // the settings step settles it: a crash before then leaves it to the next start, it is reported once,
    // and no other tracker takes it meanwhile. Where it cannot be renamed, it is held under its own name.
    RenameOpenFile(marker.Get(), FDataFolder, NewRunName(kMarkerPrefix, L""));
    FReportedRuns.push_back(std::move(marker));
  }
}

void TSoftwareStatisticsTracker::SettleReportedRuns() {
  if (FReportedRuns.empty()) return;
  bool keep;
  {
    TLocked guard(FLock);
    keep = CollectsLocked();
  }
  for (TFileHandle& record : FReportedRuns) {
    if (!keep) DeleteOpenFile(record);
    else RenameOpenFile(record.Get(), FDataFolder, NewPackageName());  // failing: reported by the next start
  }
  FReportedRuns.clear();
}

void TSoftwareStatisticsTracker::CreateMarker() {
  FProcFile.Reset();
  if (!FDataFolder) return;
  // With DELETE access: the marker of a run that finished is deleted through its own handle. One left by
  // an earlier process of the same id that no start could take in is emptied, as a new marker is.
  FProcFile = OpenDataFile(FDataFolder, kMarkerPrefix + IntToStr(::GetCurrentProcessId()), GENERIC_WRITE | DELETE,
                           dfExistingOrNew);
  if (FProcFile) RewriteTextToHandle(FProcFile.Get(), L"");
}

void TSoftwareStatisticsTracker::UpdateMarker() {
  if (!FProcFile) return;
  const TDateTime now = Now();
  if (MillisecondsBetween(FLastProcUpdate, now) < kMarkerUpdateIntervalMs) return;
  RewriteTextToHandle(FProcFile.Get(), EventToXml(TStatEventAppFailure(now, FStartTime)));
  FLastProcUpdate = now;
}

void TSoftwareStatisticsTracker::RemoveMarker() {
  // Through its handle: between a close and a delete by name another tracker could open it, and the
  // run that finished would be reported as a failure.
  if (FProcFile) DeleteOpenFile(FProcFile);
}

// ---- Events and the queue --------------------------------------------------------------------

void TSoftwareStatisticsTracker::TrackEvent(const TSoftwareStatisticsEvent& event) { QueueText(EventToXml(event)); }

void TSoftwareStatisticsTracker::TrackEvent(std::unique_ptr<TSoftwareStatisticsEvent> event) {
  if (!event) return;
  std::wstring text = EventToXml(*event);
  event.reset();
  QueueText(std::move(text));
}

std::wstring TSoftwareStatisticsTracker::EventToXml(const TSoftwareStatisticsEvent& event) const {
  std::wstring installation, execution;
  {
    TLocked guard(FLock);
    installation = FInstallationId;
    execution = FExecutionId;
  }
  std::unique_ptr<TStatXmlWriter> writer = FXmlWriterClass();
  writer->StartElement(L"event");
  writer->WriteAttribute(L"name", event.Name());
  writer->WriteAttribute(L"dt", FormatStatDateTime(event.Time()));
  writer->WriteAttribute(L"ord", IntToStr(event.Ordinal()));
  writer->WriteAttribute(L"installation", installation);
  writer->WriteAttribute(L"execution", execution);
  if (!event.Value().empty()) writer->WriteAttribute(L"value", event.Value());
  for (int i = 0; i < event.ParamCount(); ++i) {
    const TSoftwareStatisticsEventParam& param = event.GetParam(i);
    if (param.Name().empty() || param.Value().empty()) continue;
    writer->StartElement(L"param");
    writer->WriteAttribute(L"name", param.Name());
    if (param.ParamType() != ptNone) writer->WriteAttribute(L"type", ParamTypeName(param.ParamType()));
    writer->WriteAttribute(L"value", param.Value());
    writer->EndElement(L"param");
  }
  writer->EndElement(L"event");
  return writer->GetText();
}

void TSoftwareStatisticsTracker::QueueText(std::wstring text) {
  if (text.empty()) return;  // an empty marker: nothing to report
  TLocked guard(FLock);
  if (!CollectsLocked()) return;
  FEventQueue.push_back(std::move(text));
  if (FEventQueue.size() > kMaxQueuedEvents) FEventQueue.pop_front();
}

size_t TSoftwareStatisticsTracker::QueuedCount() const {
  TLocked guard(FLock);
  return FEventQueue.size();
}

std::vector<std::wstring> TSoftwareStatisticsTracker::QueuedTexts() const {
  TLocked guard(FLock);
  return {FEventQueue.begin(), FEventQueue.end()};
}

std::wstring TSoftwareStatisticsTracker::TakeBatch(std::int64_t limit) {
  if (limit <= 0) return {};
  TLocked guard(FLock);
  size_t taken = 0;
  std::int64_t sum = 0;
  // An entry is taken while the entries before it add up to at most the limit.
  while (taken < FEventQueue.size() && sum <= limit) sum += static_cast<std::int64_t>(FEventQueue[taken++].size());
  if (sum <= 0) return {};
  std::wstring batch;
  batch.reserve(static_cast<size_t>(sum));
  for (size_t i = 0; i < taken; ++i) {
    batch += FEventQueue.front();
    FEventQueue.pop_front();
  }
  if (FEventQueue.empty()) FEventQueue = {};  // give the memory back
  return batch;
}

// ---- Settings as the other threads see them --------------------------------------------------

void TSoftwareStatisticsTracker::ReplaceSettings(std::wstring_view text) {
  TTrackerSettings settings;
  settings.Delimiter = L'&';
  ParseSettings(settings, text);
  TLocked guard(FLock);
  FSettings = std::move(settings);
  FCollectData = SettingsCollectData(FSettings);
}

TTrackerSettings TSoftwareStatisticsTracker::SettingsCopy() const {
  TLocked guard(FLock);
  return FSettings;
}

bool TSoftwareStatisticsTracker::SettingsKnown() const {
  TLocked guard(FLock);
  return FSettingsKnown;
}

void TSoftwareStatisticsTracker::DropQueueUnlessCollecting() {
  TLocked guard(FLock);
  FSettingsKnown = true;
  if (!FCollectData) FEventQueue = {};
}
