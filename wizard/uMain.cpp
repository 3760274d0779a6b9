#include "wizard/uMain.h"
#include "framework/Application.h"
#include "framework/Graphics.h"
#include "framework/Strings.h"
#include "install/uInstall.h"
#include "wizard/uInputChecks.h"
#include "wizard/uStringRes.h"

namespace {
constexpr int kClientWidth = 519;

template <typename T, typename... Args>
std::unique_ptr<T> Make(TWinControl* parent, const wchar_t* name, int left, int top, int width, int height,
                        Args&&... args) {
  auto control = std::make_unique<T>(parent, name, std::forward<Args>(args)...);
  control->SetBounds(left, top, width, height);
  return control;
}
}  // namespace

TfmMain::TfmMain() : TForm(L"fmMain", LoadStr(sCaption)) {
  CreateFonts();
  CreateControls();
  FormCreate();
}

TfmMain::~TfmMain() {
  if (FOldWindowProc) ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FOldWindowProc));
}

// The form's fonts follow its DPI: they are made anew, for every control, when it changes.
void TfmMain::CreateFonts() { SetFont(FormFont(11)); }

void TfmMain::CreateControls() {
  HFONT text = FormFont(14);
  SetClientSize(kClientWidth, 400);  // the real height is fitted in FormCreate

  pcTop = Make<TPageControl>(this, L"pcTop", 0, 0, kClientWidth, 180);
  pcTop->Align = TAlign::Top;
  tsMain = pcTop->AddPage(L"tsMain");
  Image1 = Make<TImage>(tsMain, L"Image1", 12, 10, 150, 150);
  lbHeader = Make<TLabel>(tsMain, L"lbHeader", 180, 0, 292, 69);
  lbHeader->WordWrap = true;
  lbHeader->ShrinkToFit = true;
  lbHeader->SetFont(FormFont(23, true));
  lbHeader->SetText(LoadStr(sHeader));
  sLabel5 = Make<TLabel>(tsMain, L"sLabel5", 180, 77, 279, 14);
  sLabel5->SetFont(text);
  sLabel5->SetText(LoadStr(sOffer));
  sLabel6 = Make<TLabel>(tsMain, L"sLabel6", 180, 99, 310, 28);
  sLabel6->WordWrap = true;
  sLabel6->ShrinkToFit = true;
  sLabel6->SetFont(text);
  sLabel6->SetText(LoadStr(sFillOutForm));
  lbBottom = Make<TLabel>(tsMain, L"lbBottom", 180, 136, 296, 28);
  lbBottom->WordWrap = true;
  lbBottom->ShrinkToFit = true;
  lbBottom->SetFont(text);
  lbBottom->SetText(LoadStr(sDataUse));

  tsPromo1 = pcTop->AddPage(L"tsPromo1");
  PromoImage = Make<TImage>(tsPromo1, L"PromoImage", 12, 10, 150, 150);
  PromoLabel = Make<TLabel>(tsPromo1, L"PromoLabel", 180, 10, 323, 169);
  PromoLabel->WordWrap = true;
  PromoLabel->CenterVertically = true;
  PromoLabel->SetFont(text);
  PromoLabel->SetText(LoadStr(sPromoText1));

  pcBottom = Make<TPageControl>(this, L"pcBottom", 0, 180, kClientWidth, 139);
  pcBottom->Align = TAlign::Bottom;
  tsInput = pcBottom->AddPage(L"tsInput");
  sLabel1 = Make<TLabel>(tsInput, L"sLabel1", 70, 10, 55, 13);
  sLabel1->Alignment = TLabel::TAlignment::Right;
  sLabel1->SetText(LoadStr(sFirstName));
  sLabel3 = Make<TLabel>(tsInput, L"sLabel3", 71, 37, 54, 13);
  sLabel3->Alignment = TLabel::TAlignment::Right;
  sLabel3->SetText(LoadStr(sLastName));
  sLabel4 = Make<TLabel>(tsInput, L"sLabel4", 71, 65, 28, 13);
  sLabel4->Alignment = TLabel::TAlignment::Right;
  sLabel4->SetText(LoadStr(sEmail));
  // The edits and the button are created in tab order.
  editFirstName = Make<TSkinEdit>(tsInput, L"editFirstName", 140, 7, 300, 21);
  editLastName = Make<TSkinEdit>(tsInput, L"editLastName", 140, 34, 300, 21);
  editEmail = Make<TSkinEdit>(tsInput, L"editEmail", 140, 62, 300, 21);
  for (TSkinEdit* edit : {editFirstName.get(), editLastName.get(), editEmail.get()}) {
    edit->OnKeyPress = [this, edit](TWinControl*, wchar_t& key) { CommonKeyPress(edit, key); };
    edit->OnExit = [this](TWinControl*) { CommonExit(); };
  }
  btDownload = Make<TSkinButton>(tsInput, L"btDownload", 160, 93, 226, 28);
  btDownload->SetText(LoadStr(sDownloadButton));
  btDownload->Primary = true;
  btDownload->OnKeyPress = [this](TWinControl*, wchar_t& key) { btDownloadKeyPress(key); };
  btDownload->OnClick = [this](TWinControl*) { btDownloadClick(); };
  // Screen readers name each field by its label.
  sLabel1->FocusControl = editFirstName.get();
  sLabel3->FocusControl = editLastName.get();
  sLabel4->FocusControl = editEmail.get();

  tsProgress = pcBottom->AddPage(L"tsProgress");
  lbProcess = Make<TLabel>(tsProgress, L"lbProcess", 7, 2, 495, 16);
  prMain = Make<TSkinGauge>(tsProgress, L"prMain", 7, 21, 495, 30);
  // Beside the Cancel button, inside the page's designed height.
  lbAmount = Make<TLabel>(tsProgress, L"lbAmount", 7, 65, 365, 16);
  lbAmount->AutoSize = false;
  btCancel = Make<TSkinButton>(tsProgress, L"btCancel", 380, 59, 122, 28);
  btCancel->SetText(LoadStr(sCancel));
  btCancel->OnClick = [this](TWinControl*) { btCancelClick(); };
  btCancel->Cancel = true;  // Escape presses it

  tsProgressMarq = pcBottom->AddPage(L"tsProgressMarq");
  lbProgressMarguee = Make<TLabel>(tsProgressMarq, L"lbProgressMarguee", 7, 2, 495, 16);
  prMainMarquee = Make<TSkinMarquee>(tsProgressMarq, L"prMainMarquee", 7, 21, 495, 30);
  // A tab stop, unlike the design's: a keyboard user must be able to reach the sign-up's Cancel too.
  btCancelMarguee = Make<TSkinButton>(tsProgressMarq, L"btCancelMarguee", 380, 59, 122, 28);
  btCancelMarguee->SetText(LoadStr(sCancel));
  btCancelMarguee->OnClick = [this](TWinControl*) { btCancelMargueeClick(); };
  btCancelMarguee->Cancel = true;

  timerPromo = std::make_unique<TTimer>(L"timerPromo", 10000);
  timerPromo->OnTimer = [this](TWinControl*) { timerPromoTimer(); };
  timerHideHint = std::make_unique<TTimer>(L"timerHideHint", 5000);
  timerHideHint->OnTimer = [this](TWinControl*) { timerHideHintTimer(); };
  SoftwareStatisticsTracker = std::make_unique<TSoftwareStatisticsTracker>(this, L"SoftwareStatisticsTracker");
  SoftwareStatisticsTracker->SetAutoStart(false);

  OnShow = [this] { FormShow(); };
  OnClose = [this] { FormClose(); };
  // A hint that shows while the window moves to another DPI is drawn anew at the field's new place.
  OnDpiChanged = [this] {
    if (sHintManager1.Visible() && FHintControl) PlaceInputHint(FHintControl, sHintManager1.Text());
  };
}

void TfmMain::FormCreate() {
  SoftwareStatisticsTracker->SetProductKey(kStatisticsProjectKey);
  // The tracker starts after the first paint (WMStartTracker): nothing of it delays the window.
  Application->SetTitle(Text());
  HideTabs();
  FitTopHeight();
  ShowBottomPage(tsInput);
  ShowTopPage(tsMain);
  // The window-procedure wrapper: the original procedure handles everything first.
  FOldWindowProc = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(FHandle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TfmMain::HookedWndProcThunk)));
  lbProcess->SetText(L"");
  lbProgressMarguee->SetText(L"");
  FPromoIndex = 0;
  LoadWelcomeImage();
}

void TfmMain::FormShow() {
  ::PostMessageW(FHandle, WM_FOCUSFIRSTFIELD, 0, 0);
  // Posted messages come before any input, so the start event stays the run's first.
  if (!::PostMessageW(FHandle, WM_STARTTRACKER, 0, 0)) WMStartTracker();
}

void TfmMain::WMStartTracker() {
  ::RedrawWindow(FHandle, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);  // the first paint comes first
  SoftwareStatisticsTracker->Start();
}

void TfmMain::WMFocusFirstField() {
  if (pcBottom->ActivePage() == tsInput && editFirstName->CanFocus()) editFirstName->SetFocus();
}

void TfmMain::FormClose() {
  // The tracker's finish handles messages while it waits: a second close then finds this one under way.
  if (FClosing) return;
  FClosing = true;
  HideInputHint();
  ::ShowWindow(FHandle, SW_HIDE);  // the user who closes sees the window go at once
  // The sequence below this call never resumes: its installer goes now (or, while it runs, at the next
  // restart).
  if (FInstaller) FInstaller->Remove();
  // The run's events are written out and its marker removed first, so that a closed run is neither
  // lost nor reported as a crash. Bounded whatever hangs: the tracker's time-out for its last delivery,
  // then as long again for its thread, which a network call may hold past its abort (the events are on
  // disk all the same).
  SoftwareStatisticsTracker->Finish(SoftwareStatisticsTracker->AutoFinishTimeout(),
                                    SoftwareStatisticsTracker->AutoFinishTimeout());
  ::TerminateProcess(::GetCurrentProcess(), 0);
}

void TfmMain::btDownloadKeyPress(wchar_t& key) {
  if (key == L'\r') key = L' ';
}

void TfmMain::btCancelClick() { FCancelled = true; }
void TfmMain::btCancelMargueeClick() { FCancelled = true; }

LRESULT CALLBACK TfmMain::HookedWndProcThunk(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  auto* self = dynamic_cast<TfmMain*>(TWinControl::FromHandle(wnd));
  if (!self) return ::DefWindowProcW(wnd, msg, wParam, lParam);
  return GuardedCall(LRESULT{0}, [&] { return self->HookedWndProc(msg, wParam, lParam); });
}

LRESULT TfmMain::HookedWndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = ::CallWindowProcW(FOldWindowProc, FHandle, msg, wParam, lParam);
  switch (msg) {
    case WM_FOCUSFIRSTFIELD:
      WMFocusFirstField();
      break;
    case WM_STARTTRACKER:
      WMStartTracker();
      break;
    case WM_KILLFOCUS:
    case WM_ACTIVATEAPP:
    case WM_SYSCOMMAND:
    case WM_MOVING:
      HideInputHint();
      break;
  }
  return result;
}

void TfmMain::ShowBottomPage(TTabSheet* page) {
  // No control of the page that goes keeps the focus: keys sent to a hidden button would still press it.
  HWND focus = ::GetFocus();
  if (focus && ::IsChild(pcBottom->Handle(), focus) && !::IsChild(page->Handle(), focus)) ::SetFocus(FHandle);
  pcBottom->SetVisible(false);
  try {
    pcBottom->SetActivePage(page);
    FitWindowHeight();
  } catch (...) {
    pcBottom->SetVisible(true);
    throw;
  }
  pcBottom->SetVisible(true);
  // Back on the input page the keyboard goes on where it left it. A progress page takes no focus by
  // itself, so that a key still held or repeated from the download button presses nothing there;
  // Escape presses its Cancel, Tab reaches it.
  if (page == tsInput) RestoreFocus(*page);
  // The taskbar button follows: nothing on the input page, a moving bar while the size is unknown.
  if (page == tsInput) FTaskbar.Clear();
  else if (page == tsProgress) FTaskbar.SetValue(0, 1);
  else FTaskbar.Indeterminate();
}

void TfmMain::ShowTopPage(TTabSheet* page) { pcTop->SetActivePage(page); }

void TfmMain::FitWindowHeight() {
  pcBottom->SetHeight(BottomPageHeight(pcBottom->ActivePage()));
  SetClientSize(kClientWidth, pcTop->Height() + pcBottom->Height());
}

int TfmMain::BottomPageHeight(TTabSheet* page) const {
  constexpr int kBelow = 18;
  auto bottomOf = [](const TWinControl& c) { return c.Top() + c.Height() + kBelow; };
  if (page == tsInput) return bottomOf(*btDownload);
  if (page == tsProgress) return bottomOf(*btCancel);
  if (page == tsProgressMarq) return btCancelMarguee->Visible() ? bottomOf(*btCancelMarguee) : bottomOf(*prMainMarquee);
  return pcBottom->Height();
}

void TfmMain::FitTopHeight() { pcTop->SetHeight(lbBottom->Top() + lbBottom->Height() + 10); }

void TfmMain::HideTabs() {
  for (auto* pc : {pcBottom.get(), pcTop.get()})
    for (auto& page : pc->Pages()) page->TabVisible = false;
}

void TfmMain::LoadWelcomeImage() { Image1->SetBitmap(LoadPngResource(L"WELCOME")); }

// ---- Input checks, key filtering and hints ----

bool TfmMain::IsCtrlDown() const {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  return (keys[VK_CONTROL] & 0x80) != 0;
}

bool TfmMain::IsKeyAllowed(wchar_t ch) const { return IsCtrlDown() || IsNameCharAccepted(ch); }

void TfmMain::ShowInputHint(TWinControl* control, const std::wstring& text) {
  HideInputHint();
  PlaceInputHint(control, text);
  // Off and on again, so the five seconds start anew.
  timerHideHint->SetEnabled(false);
  timerHideHint->SetEnabled(true);
}

void TfmMain::PlaceInputHint(TWinControl* control, const std::wstring& text) {
  RECT rc;
  ::GetWindowRect(control->Handle(), &rc);
  POINT spot{rc.left + (rc.right - rc.left) / 2, rc.top + (rc.bottom - rc.top) / 3};
  sHintManager1.Show(spot, text, Dpi(), HighContrast());
  FHintControl = control;
}

void TfmMain::HideInputHint() { sHintManager1.Hide(); }

void TfmMain::timerHideHintTimer() {
  HideInputHint();
  timerHideHint->SetEnabled(false);
}

void TfmMain::CommonKeyPress(TEdit* edit, wchar_t& key) {
  if (IsKeyAllowed(key)) {
    if (key == L'\r') {
      key = 0;
      ::PostMessageW(edit->Handle(), WM_KEYDOWN, VK_TAB, 0);  // on to the next field, as Tab would
    } else {
      HideInputHint();
    }
  } else if (edit != editEmail.get()) {
    key = 0;
    ShowInputHint(edit, LoadStr(edit == editLastName.get() ? sLastNameLatinOnly : sFirstNameLatinOnly));
  }
}

void TfmMain::CommonExit() { HideInputHint(); }

bool TfmMain::ValidateField(TEdit* edit, const std::wstring& emptyText, const std::wstring& badCharText) {
  std::wstring text = edit->Text();
  bool valid = true;
  if (text.empty()) {
    ShowInputHint(edit, emptyText);
    valid = false;
  } else if (!badCharText.empty()) {
    for (wchar_t ch : text)
      if (!IsKeyAllowed(ch)) {
        ShowInputHint(edit, badCharText);
        valid = false;
        break;
      }
  }
  if (!valid && edit->CanFocus()) edit->SetFocus();
  return valid;
}

bool TfmMain::ValidateInput() {
  HideInputHint();
  for (TEdit* edit : {editFirstName.get(), editLastName.get(), editEmail.get()}) edit->SetText(Trim(edit->Text()));
  if (!ValidateField(editFirstName.get(), LoadStr(sEnterFirstName), LoadStr(sFirstNameLatinOnly))) return false;
  if (!ValidateField(editLastName.get(), LoadStr(sEnterLastName), LoadStr(sLastNameLatinOnly))) return false;
  if (!ValidateField(editEmail.get(), LoadStr(sEnterEmail), L"")) return false;
  if (IsEmailInvalid(editEmail->Text())) {
    ShowInputHint(editEmail.get(), LoadStr(sEnterEmailCorrectly));
    if (editEmail->CanFocus()) editEmail->SetFocus();
    return false;
  }
  return true;
}
