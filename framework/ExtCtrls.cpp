#include "framework/ExtCtrls.h"
#include "framework/Application.h"
#include "framework/Graphics.h"
#include <oleacc.h>

// ---- TPageControl ----

TPageControl::TPageControl(TWinControl* parent, std::wstring name) : TContainer(parent, std::move(name)) {}

TTabSheet* TPageControl::AddPage(std::wstring name) {
  auto page = std::make_unique<TTabSheet>(this, std::move(name));
  page->SetVisible(false);  // first: a hidden page makes no window until it is shown
  page->SetBounds(0, 0, FWidth, FHeight);
  FPages.push_back(std::move(page));
  return FPages.back().get();
}

TTabSheet* TPageControl::Page(const std::wstring& name) const {
  for (auto& page : FPages)
    if (page->Name() == name) return page.get();
  return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
  FActive = page;
  for (auto& p : FPages)
    if (p.get() != page) p->SetVisible(false);
  if (page) page->SetVisible(true);
}

void TPageControl::Resized() {
  for (auto& page : FPages) page->SetBounds(0, 0, FWidth, FHeight);
}

// ---- TImage ----

TImage::TImage(TWinControl* parent, std::wstring name) : TPaintedControl(parent, std::move(name), false) {}

void TImage::SetBitmap(TGdiObject bitmap) {
  FBitmap = std::move(bitmap);
  FScaled.Reset();
  Invalidate();
}

void TImage::DpiChanged() {
  FScaled.Reset();  // made again from the decoded picture, never from the last scaled copy
  TPaintedControl::DpiChanged();
}

bool TImage::Describe(TAccessibleInfo& info) const {
  info.Role = ROLE_SYSTEM_GRAPHIC;
  info.State = STATE_SYSTEM_READONLY;
  return true;
}

void TImage::Paint(HDC dc, const RECT& rc) {
  PaintBackground(dc, rc);
  BITMAP bm{};
  if (FBitmap && ::GetObjectW(FBitmap.Get(), sizeof(bm), &bm)) {
    int w = Scale(bm.bmWidth), h = Scale(bm.bmHeight);
    // Above 96 DPI the picture is resampled smoothly once, then drawn 1:1.
    if ((w != bm.bmWidth || h != bm.bmHeight) && !FScaled)
      FScaled = ScaleBitmap(static_cast<HBITMAP>(FBitmap.Get()), w, h);
    HGDIOBJ picture = FScaled ? FScaled.Get() : FBitmap.Get();
    BITMAP drawn{};
    ::GetObjectW(picture, sizeof(drawn), &drawn);
    int x = (rc.right - w) / 2, y = (rc.bottom - h) / 2;
    TMemoryDC mem(::CreateCompatibleDC(dc));
    TSelectObject select(mem.Get(), picture);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(dc, x, y, w, h, mem.Get(), 0, 0, drawn.bmWidth, drawn.bmHeight, blend);
  }
}

// ---- TTimer ----

TTimer::TTimer(std::wstring name, UINT interval) : FName(std::move(name)), FInterval(interval) {}

TTimer::~TTimer() {
  FEnabled = false;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  FEnabled = enabled;
  Update();
}

void TTimer::SetInterval(UINT interval) {
  FInterval = interval;
  Update();
}

void TTimer::Update() {
  HWND owner = Application ? Application->UtilityWindow() : nullptr;
  if (FId) {
    ::KillTimer(owner, FId);
    FId = 0;
  }
  // The timer's id is the object itself, so the callback needs no lookup table.
  if (FEnabled && FInterval > 0 && owner)
    FId = ::SetTimer(owner, reinterpret_cast<UINT_PTR>(this), FInterval, &TTimer::TimerProc);
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept {
  auto* timer = reinterpret_cast<TTimer*>(id);
  if (timer->FEnabled && timer->OnTimer) GuardedCall([timer] { timer->OnTimer(nullptr); });
}
