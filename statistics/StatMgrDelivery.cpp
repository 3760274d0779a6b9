// The sending thread: the settings step at its start, then the cycle of flush, marker update and send
// step; the result codes and the calls of the published events on the GUI thread.
#include "statistics/StatMgr.h"
#include "framework/Strings.h"
#include "statistics/StatHttpRequest.h"
#include <exception>
#include <limits>

namespace {

constexpr DWORD kCyclePauseMs = 1000;

// The system's proxy list for the proxy events. A list that cannot be read is reported as empty: ending
// the sending thread over it would lose the run's events.
std::wstring SystemProxyText() {
  try {
    return StatHttp::GetSystemProxy();
  } catch (const StatHttp::EWinInetException&) {
    return {};
  }
}

// Runs the clean-up when the scope ends, also when an error passes.
class TScopeExit {
public:
  explicit TScopeExit(std::function<void()> cleanUp) : FCleanUp(std::move(cleanUp)) {}
  ~TScopeExit() { FCleanUp(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

private:
  std::function<void()> FCleanUp;
};

}  // namespace

// ---- The thread ------------------------------------------------------------------------------

TStatEventThread::TStatEventThread(TSoftwareStatisticsTracker& tracker)
    : FTracker(tracker), FWake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

void TStatEventThread::Execute() {
  try {
    FTracker.FetchSettings();
    while (!Terminated()) Cycle();
    FTracker.FlushQueue(true);
  } catch (const Exception& error) {
    FTracker.ReportThreadException(error);
  } catch (const std::exception& error) {
    FTracker.ReportThreadException(Exception(Utf8ToWide(error.what())));
  }
}

void TStatEventThread::Cycle() {
  FTracker.FlushQueue(false);
  if (Terminated()) return;
  FTracker.UpdateMarker();
  if (Terminated()) return;
  FTracker.SendPendingPackage(FTracker.FFinishing);
  if (Terminated()) return;
  // Also while a package waits for its turn: the next delivery is seconds or an hour away, and a
  // cycle without a pause would only spin. Finish and the end request cut the pause short.
  ::WaitForSingleObject(FWake.Get(), kCyclePauseMs);
}

void TSoftwareStatisticsTracker::CallEvent(const std::function<void()>& call) {
  TStatEventThread::RunOnGuiThread([&] {
    TNestedCallBlock block(*this);  // a Finish in the handler would wait for this thread, which waits for it
    call();
  });
}

void TSoftwareStatisticsTracker::ReportThreadException(const Exception& error) {
  if (OnException) CallEvent([&] { OnException(this, error); });
}

// ---- Settings step ---------------------------------------------------------------------------

TDateTime TSoftwareStatisticsTracker::NextSettingsTime(TDateTime now) const {
  if (!FThread) return std::numeric_limits<TDateTime>::max();
  return ::NextSettingsTime(FSettings, WholeSeconds(now));
}

void TSoftwareStatisticsTracker::FetchSettings() {
  // One reading of the clock: read a second time for the due time, it could be in the next second
  // already, and a request that is due would be skipped.
  const TDateTime now = Now();
  if (FHttpRequestClass && now >= NextSettingsTime(now)) {
    std::unique_ptr<TStatHttpRequest> request = FHttpRequestClass();
    TStatBytes response;
    TStatHttpResult result;
    {
      BeginRequest(request.get());
      TScopeExit unreachable([this] { EndRequest(); });
      result = request->Execute(FSettingsUrl, FProxySettings, response, {});
    }
    std::int32_t code = FailedExchangeCode(result);
    if (result == hrOK) {
      ReplaceSettings(Utf8BytesToText(response));
      code = FSettings.ErrorCode;
    } else if (result == hrProxyAuthRequired && OnProxyAuthenticationRequired) {
      const std::wstring proxy = SystemProxyText();
      CallEvent([&] { OnProxyAuthenticationRequired(this, proxy); });
    } else if (result == hrProxyNameResolutionFailure && OnProxyNameResolutionFailure) {
      const std::wstring proxy = SystemProxyText();
      CallEvent([&] { OnProxyNameResolutionFailure(this, proxy); });
    }
    {
      TLocked guard(FLock);
      FSettings.ErrorCode = code;
    }
    if (OnGetTrackerSettings) {
      const std::wstring text = ResultCodeText(code);
      CallEvent([&] { OnGetTrackerSettings(this, text); });
    }
    // The answer is about the settings, not about a package still held from an earlier run of this
    // process (in memory, without a data folder): only "Invalid project" drops that.
    TResultCodeEffect effect = ResultCodeEffect(code);
    effect.DropPackage = effect.DeleteAllPackages;
    ApplyResultCodeEffect(effect);
    if (result == hrOK && FDataFolder) {
      std::wstring text;
      {
        TLocked guard(FLock);
        text = SettingsToText(FSettings, NowWhole());
      }
      ReplaceDataTextFile(FDataFolder, kSettingsFileName, text);
    }
  }
  DropQueueUnlessCollecting();
  SettleReportedRuns();
}

// ---- Send step -------------------------------------------------------------------------------

bool TSoftwareStatisticsTracker::IsSendDue(bool finishing, TDateTime now) const {
  TDeliveryPacing pacing;
  pacing.SendData = FSettings.SendData;
  pacing.LastSendFailed = FLastSendFailed;
  pacing.LastSendAttempt = FLastSendAttempt;
  pacing.StartTime = FStartTime;
  return ::IsSendDue(pacing, finishing, now);
}

bool TSoftwareStatisticsTracker::SendPendingPackage(bool finishing) {
  const bool hadData = !FPackageText.empty();
  if (hadData) {
    const TDateTime now = Now();
    if (IsSendDue(finishing, now)) {
      FLastSendAttempt = now;
      std::wstring reply;
      const TStatHttpResult result = SendPackage(FPackageText, reply);
      const std::int32_t code = DeliveryResultCode(result, reply);
      {
        TLocked guard(FLock);
        FSettings.ErrorCode = code;
      }
      std::exception_ptr callFailed;
      if (OnSendEventData) {
        const std::wstring text = ResultCodeText(code);
        try {
          CallEvent([&] { OnSendEventData(this, FPackageText, text); });
        } catch (const Exception&) {
          callFailed = std::current_exception();  // not handed over: the thread ends, after the answer holds
        }
      }
      // Also when the event call failed: a delivered package that stayed would go out a second time.
      ApplyResultCode(code);
      if (callFailed) std::rethrow_exception(callFailed);
    }
  }
  if (finishing) ClearFinishing();
  return hadData;
}

TStatHttpResult TSoftwareStatisticsTracker::SendPackage(const std::wstring& text, std::wstring& reply) {
  reply.clear();
  if (!FHttpRequestClass) return hrHttpError;
  std::unique_ptr<TStatHttpRequest> request = FHttpRequestClass();
  const TStatBytes body = TextToUtf8Bytes(PackageDocument(text));
  TStatBytes response;
  TStatHttpResult result;
  {
    BeginRequest(request.get());
    TScopeExit unreachable([this] { EndRequest(); });
    result = request->Execute(FSendUrl, FProxySettings, response, body);
  }
  reply = Utf8BytesToText(response);
  return result;
}

void TSoftwareStatisticsTracker::ApplyResultCode(std::int32_t code) { ApplyResultCodeEffect(ResultCodeEffect(code)); }

void TSoftwareStatisticsTracker::ApplyResultCodeEffect(const TResultCodeEffect& effect) {
  FLastSendFailed = effect.Failed;
  if (effect.DropPackage) DiscardPackage(effect.DeleteAllPackages);
  if (effect.StopSending) {
    TLocked guard(FLock);
    FSettings.SendData = false;
  }
}
