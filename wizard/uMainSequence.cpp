// The main sequence of the wizard: sign-up, download, installation, application start.
#include "wizard/uMain.h"
#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "framework/Strings.h"
#include "http/uWinInetRequest.h"
#include "install/uInstall.h"
#include "install/uInstallStrings.h"
#include "install/uInstallerSignature.h"
#include "signup/uResponseData.h"
#include "signup/uSignUp.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "wizard/uPromo.h"
#include "wizard/uStringRes.h"
#include <cstdint>

int SecondsBetween(DWORD startTick, DWORD nowTick) {
  int seconds = static_cast<int>((nowTick - startTick) / 1000);  // unsigned: right across the wrap
  return seconds == 0 ? 1 : seconds;
}

int SecondsSince(DWORD startTick) { return SecondsBetween(startTick, ::GetTickCount()); }


bool TfmMain::SendSignUp(std::wstring& text) {
  ShowBottomPage(tsProgressMarq);
  lbProgressMarguee->SetText(LoadStr(sSendingRequest));
  FCancelled = false;
  TStrings fields = BuildSignUpFields(editFirstName->Text(), editLastName->Text(), editEmail->Text());
  TTransferEnd end = TTransferEnd::Completed;
  const bool failed = PostSignUp(SignUpUrl, fields, btCancelMarguee.get(), text, &end);
  // A stop without a click (Return released on the button, a press dragged off it) is a cancel all the same.
  if (end == TTransferEnd::StoppedByUser) FCancelled = true;
  return failed;
}

void TfmMain::btDownloadClick() {
  // One press, one run: a key that reaches the button while a run goes on (a held-down Return) starts
  // nothing, nor does anything once the window is closing.
  if (FRunning || FClosing) return;
  FRunning = true;
  struct TRunEnd {
    bool& Running;
    ~TRunEnd() { Running = false; }
  } runEnd{FRunning};
  RunMainSequence();
}

void TfmMain::RunMainSequence() {
  if (!ValidateInput()) return;
  const DWORD t0 = ::GetTickCount();
  std::wstring replyOrError;
  const bool failed = SendSignUp(replyOrError);
  if (FCancelled) return ShowFailure(L"");
  if (failed) return ShowFailure(replyOrError);
  TrackEventValue(L"RequestLicense", L"FullTime", SecondsSince(t0));
  StartPromo();

  TResponseData response(replyOrError);
  if (!response.IsSuccess()) {
    TrackEventText(L"RequestLicense", L"Result", response.ResultText());
    return ShowFailure(response.ErrorMessage());
  }
  TrackEventText(L"RequestLicense", L"Result", response.StatusText);

  prMain->SetPosition(0);
  lbProcess->SetText(LoadStr(sDownloading));
  lbAmount->SetText(L"");
  ShowBottomPage(tsProgress);
  // The installer's folder and file go whichever way the sequence ends (a close removes them itself).
  try {
    FInstaller = std::make_unique<TInstallerFile>();
  } catch (const Exception& error) {
    return DownloadFailed(error.Message());
  }
  const struct TInstallerEnd {
    std::unique_ptr<TInstallerFile>& Installer;
    ~TInstallerEnd() { Installer.reset(); }
  } installerEnd{FInstaller};

  const DWORD t1 = ::GetTickCount();
  StartDownloadStatus(t1);
  TrackEventValue(L"Downloading", L"Begin", 1);
  std::wstring errorText;
  const auto progress = [this](THttpRequest* request, int32_t max, int32_t position) {
    DownloadProgress(request, max, position);
  };
  if (HttpDownloadToStreamModal(response.DownloadUrl, *FInstaller, btCancel.get(), errorText, progress) ==
      TTransferEnd::StoppedByUser)
    FCancelled = true;  // as for the sign-up: a stop without a click is a cancel
  TrackDownloadRetries();
  if (FCancelled) return DownloadCancelled(t1);
  if (!Trim(errorText).empty()) return DownloadFailed(errorText);
  // The installer runs with administrator rights: only the vendor's intact file may, and from here on
  // nobody can change it until it has started.
  const std::wstring refusal = CheckInstallerModal(*FInstaller);
  if (FCancelled) return DownloadCancelled(t1);
  if (!refusal.empty()) return DownloadFailed(refusal);
  TrackEventValue(L"Downloading", L"End", 1);
  TrackEventValue(L"Downloading", L"FullTime", SecondsSince(t1));
  ShowBottomPage(tsProgressMarq);
  lbProgressMarguee->SetText(LoadStr(sInstalling));
  FCancelled = false;
  btCancelMarguee->SetVisible(false);  // the installation cannot be cancelled; nothing shows it again

  bool restartRequired = false;
  if (!RunInstallerModal(*FInstaller, errorText, &restartRequired)) return ShowFailure(errorText);
  if (restartRequired) {
    // Installed, but the application can only run after the restart; the user chooses when.
    TrackEventValue(L"Installation", L"RestartRequired", 1);
    TrackEventValue(L"Installation", L"OverallTime", SecondsSince(t0));
    OfferRestart();
    return Close();
  }
  StartInstalledApplication();
  TrackEventValue(L"Installation", L"OverallTime", SecondsSince(t0));
  Close();
}

void TfmMain::DownloadCancelled(DWORD t1) {
  TrackEventValue(L"Downloading", L"CancelCount", 1);
  TrackEventValue(L"Downloading", L"CancelTime", SecondsSince(t1));
  ShowFailure(L"");
}

void TfmMain::DownloadFailed(const std::wstring& message) {
  TrackEventValue(L"Downloading", L"ErrorCount", 1);
  ShowFailure(message);
}

void TfmMain::DownloadProgress(THttpRequest* request, int max, int position) {
  prMain->SetMax(max);
  prMain->SetPosition(position);
  FTaskbar.SetValue(position, max);
  // While a retry is awaited the step says so; the transfer going on again brings the step back.
  const int retryWait = request->RetryWait;
  lbProcess->SetText(retryWait == 0 ? LoadStr(sDownloading)
                                    : FormatText(LoadStr(sTryingAgain), {IntToStr(retryWait),
                                                                         IntToStr(request->RetryPolicy.MaxRetries)}));
  FDownloadRetries = request->RetryCount;
  FResumedBytes = request->ResumedBytes;
  FDownloadStatus.Report(::GetTickCount(), position, max, retryWait > 0);
  lbAmount->SetText(FDownloadStatus.Text());
  Application->ProcessMessages();
}

void TfmMain::StartDownloadStatus(DWORD tick) {
  FDownloadStatus.Start(tick);
  FDownloadRetries = 0;
  FResumedBytes = 0;
}

void TfmMain::TrackDownloadRetries() {
  if (FDownloadRetries > 0) TrackEventValue(L"Downloading", L"RetryCount", FDownloadRetries);
  constexpr long long kLargestValue = INT32_MAX;
  if (FResumedBytes > 0)
    TrackEventValue(L"Downloading", L"ResumedBytes",
                    static_cast<int32_t>(FResumedBytes < kLargestValue ? FResumedBytes : kLargestValue));
}

void TfmMain::ShowFailure(const std::wstring& message) {
  FInstaller.reset();  // gone before the input page offers another try
  ShowBottomPage(tsInput);
  StopPromo();
  // Back where the run began, so that Return or Space tries again (the focus waited on the form).
  if (::GetFocus() == FHandle && btDownload->CanFocus()) btDownload->SetFocus();
  if (!message.empty())
    ::MessageBoxW(FHandle, message.c_str(), Application->Title().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void TfmMain::StartInstalledApplication() { ::StartInstalledApplication(); }

void TfmMain::OfferRestart() {
  if (::MessageBoxW(FHandle, LoadInstallStr(sRestartToFinish).c_str(), Application->Title().c_str(),
                    MB_YESNO | MB_ICONINFORMATION) == IDYES)
    RestartWindows();
}

// ---- Slideshow ----

void TfmMain::StartPromo() {
  timerPromo->SetEnabled(false);
  timerPromo->SetInterval(1);
  FPromoIndex = 0;
  timerPromo->SetEnabled(true);
}

void TfmMain::timerPromoTimer() {
  timerPromo->SetInterval(10000);
  ShowNextSlide();
}

void TfmMain::ShowNextSlide() {
  if (++FPromoIndex > 10) FPromoIndex = 1;
  if (TPromoInfoItem* item = PromoInfo().GetItem(FPromoIndex - 1)) {
    ShowPromoItem(*item, *PromoImage, *PromoLabel);
    ShowTopPage(tsPromo1);
  }
}

void TfmMain::StopPromo() {
  timerPromo->SetEnabled(false);
  ShowTopPage(tsMain);
}
