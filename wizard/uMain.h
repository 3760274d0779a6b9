#pragma once
// The wizard window: the welcome and slide pages above, the input and progress pages below.
#include <windows.h>
#include <memory>
#include <string>
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "skin/HintBubble.h"
#include "skin/SkinControls.h"
#include "statistics/StatMgr.h"
#include "wizard/uDownloadStatus.h"
#include "wizard/uTaskbarProgress.h"

constexpr UINT WM_FOCUSFIRSTFIELD = WM_USER + 101;
// Posted by the window to itself when it shows: the tracker starts once the window has been painted.
constexpr UINT WM_STARTTRACKER = WM_USER + 102;
// The statistics project key of the product.
constexpr wchar_t kStatisticsProjectKey[] = L"3f1c9a7e52d04b86a1e7c2f9d06b58e4a17";

// Whole seconds from start to now on the 32-bit millisecond tick count (across its wrap); never 0.
int SecondsBetween(DWORD startTick, DWORD nowTick);
int SecondsSince(DWORD startTick);

class THttpRequest;
class TInstallerFile;

class TfmMain : public TForm {
public:
  TfmMain();
  ~TfmMain() override;

  // Controls, in the order of the form's design; all owned by the form.
  std::unique_ptr<TPageControl> pcTop;
  TTabSheet* tsMain = nullptr;
  std::unique_ptr<TImage> Image1;
  std::unique_ptr<TLabel> lbHeader, sLabel5, sLabel6, lbBottom;
  TTabSheet* tsPromo1 = nullptr;
  std::unique_ptr<TImage> PromoImage;
  std::unique_ptr<TLabel> PromoLabel;
  std::unique_ptr<TPageControl> pcBottom;
  TTabSheet* tsInput = nullptr;
  std::unique_ptr<TLabel> sLabel1, sLabel3, sLabel4;
  std::unique_ptr<TSkinEdit> editFirstName, editLastName, editEmail;
  std::unique_ptr<TSkinButton> btDownload;
  TTabSheet* tsProgress = nullptr;
  std::unique_ptr<TLabel> lbProcess;
  std::unique_ptr<TSkinGauge> prMain;
  std::unique_ptr<TLabel> lbAmount;  // the amount and the time left, under the gauge
  std::unique_ptr<TSkinButton> btCancel;
  TTabSheet* tsProgressMarq = nullptr;
  std::unique_ptr<TLabel> lbProgressMarguee;
  std::unique_ptr<TSkinMarquee> prMainMarquee;
  std::unique_ptr<TSkinButton> btCancelMarguee;
  std::unique_ptr<TTimer> timerPromo, timerHideHint;
  std::unique_ptr<TSoftwareStatisticsTracker> SoftwareStatisticsTracker;

  // Handlers.
  void FormCreate();
  void FormShow();
  void FormClose();
  void WMFocusFirstField();
  void WMStartTracker();
  void btDownloadClick();
  void btDownloadKeyPress(wchar_t& key);
  void btCancelClick();
  void btCancelMargueeClick();

  // Page switching and window sizing.
  void ShowBottomPage(TTabSheet* page);
  void ShowTopPage(TTabSheet* page);
  void FitWindowHeight();
  int BottomPageHeight(TTabSheet* page) const;
  void FitTopHeight();
  void HideTabs();
  void LoadWelcomeImage();

  // The main sequence and its helpers.
  void RunMainSequence();
  bool SendSignUp(std::wstring& text);  // true when the exchange failed
  void DownloadCancelled(DWORD t1);
  void DownloadFailed(const std::wstring& message);
  void DownloadProgress(THttpRequest* request, int max, int position);  // the transfer's request
  void ShowFailure(const std::wstring& message);
  void StartInstalledApplication();
  void OfferRestart();  // after an installation that needs Windows restarted to finish

  // Slideshow.
  void StartPromo();
  void timerPromoTimer();
  void ShowNextSlide();
  void StopPromo();
  int PromoIndex() const { return FPromoIndex; }

  // Input checks, key filtering and hints.
  bool IsCtrlDown() const;
  bool IsKeyAllowed(wchar_t ch) const;
  void ShowInputHint(TWinControl* control, const std::wstring& text);
  void HideInputHint();
  void timerHideHintTimer();
  void CommonKeyPress(TEdit* edit, wchar_t& key);
  void CommonExit();
  bool ValidateField(TEdit* edit, const std::wstring& emptyText, const std::wstring& badCharText);
  bool ValidateInput();

private:
  void CreateControls();
  void StartDownloadStatus(DWORD tick);
  void TrackDownloadRetries();
  void CreateFonts();
  void PlaceInputHint(TWinControl* control, const std::wstring& text);
  static LRESULT CALLBACK HookedWndProcThunk(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT HookedWndProc(UINT msg, WPARAM wParam, LPARAM lParam);

  bool FCancelled = false;
  bool FRunning = false;  // the main sequence runs (its waits handle messages, so a press could nest)
  bool FClosing = false;  // the close handler waits for the tracker to finish
  WNDPROC FOldWindowProc = nullptr;
  int FPromoIndex = 0;
  THintBubble sHintManager1;  // the input hint
  TWinControl* FHintControl = nullptr;  // the field the hint points at; not owned
  TTaskbarProgress FTaskbar{FHandle};
  TDownloadStatus FDownloadStatus;
  int FDownloadRetries = 0;       // as the download's last report told
  long long FResumedBytes = 0;
  std::unique_ptr<TInstallerFile> FInstaller;  // the running sequence's installer, while it has one
};
