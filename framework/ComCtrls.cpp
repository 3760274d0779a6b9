#include "framework/ComCtrls.h"
#include "framework/Strings.h"
#include <commctrl.h>
#include <oleacc.h>
#include <algorithm>

// ---- TGauge ----

TGauge::TGauge(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name)) { SetText(L"0%"); }

void TGauge::SetMax(int max) {
  if (FMax == max) return;
  FMax = max;
  SetText(IntToStr(Percent()) + L"%");
}

void TGauge::SetPosition(int position) {
  if (FPosition == position) return;
  FPosition = position;
  SetText(IntToStr(Percent()) + L"%");
}

int TGauge::Percent() const {
  if (FMax <= 0 || FPosition <= 0) return 0;
  long long percent = static_cast<long long>(FPosition) * 100 / FMax;
  return static_cast<int>(std::min<long long>(percent, 100));
}

void TGauge::TextChanged() { NotifyReaders(EVENT_OBJECT_VALUECHANGE); }

bool TGauge::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_PROGRESSBAR;
  info.Value = FText;
  info.State = STATE_SYSTEM_READONLY;
  return true;
}

void TGauge::Paint(HDC dc, const RECT& rc) {
  ::FillRect(dc, &rc, ::GetSysColorBrush(COLOR_WINDOW));
  RECT filled = rc;
  filled.right = rc.left + (rc.right - rc.left) * Percent() / 100;
  ::FillRect(dc, &filled, ::GetSysColorBrush(COLOR_HIGHLIGHT));
  HFONT font = Font();
  TSelectObject select(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  RECT textRect = rc;
  ::DrawTextW(dc, FText.c_str(), -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

// ---- TMarqueeBar ----

TMarqueeBar::TMarqueeBar(TWinControl* parent, std::wstring name) : TWinControl(parent, std::move(name)) {
  DeclareWindow(PROGRESS_CLASSW, PBS_MARQUEE);
}

void TMarqueeBar::WindowCreated() { ::SendMessageW(FHandle, PBM_SETMARQUEE, TRUE, 30); }
