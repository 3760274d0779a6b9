#pragma once
// The extra controls: the picture box, the timer, and the page control with its sheets.
#include <memory>
#include <string>
#include <vector>
#include "framework/Controls.h"

class TTabSheet : public TContainer {
public:
  using TContainer::TContainer;
  bool TabVisible = true;  // kept for the form's design; tabs are never drawn
protected:
  bool WaitsUntilShown() const override { return !FVisible; }
};

// Pages stacked in one place; only the active page shows. No tabs are drawn.
class TPageControl : public TContainer {
public:
  TPageControl(TWinControl* parent, std::wstring name);
  TTabSheet* AddPage(std::wstring name);
  TTabSheet* ActivePage() const { return FActive; }
  void SetActivePage(TTabSheet* page);
  TTabSheet* Page(const std::wstring& name) const;
  const std::vector<std::unique_ptr<TTabSheet>>& Pages() const { return FPages; }
protected:
  void Resized() override;
private:
  std::vector<std::unique_ptr<TTabSheet>> FPages;
  TTabSheet* FActive = nullptr;
};

// A picture box that draws its bitmap centred, drawn by its page.
class TImage : public TPaintedControl {
public:
  TImage(TWinControl* parent, std::wstring name);
  void SetBitmap(TGdiObject bitmap);  // a 32-bit premultiplied DIB section, owned from now on
  HBITMAP Bitmap() const { return static_cast<HBITMAP>(FBitmap.Get()); }
protected:
  void Paint(HDC dc, const RECT& rc) override;
  void DpiChanged() override;
  bool Describe(TAccessibleInfo& info) const override;
private:
  TGdiObject FBitmap;
  TGdiObject FScaled;  // the picture at the window's DPI, made from FBitmap when first drawn at it
};

// A window timer; fires OnTimer on the GUI thread while enabled.
class TTimer {
public:
  explicit TTimer(std::wstring name, UINT interval = 1000);
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  UINT Interval() const { return FInterval; }
  void SetInterval(UINT interval);
  TNotifyEvent OnTimer;
  const std::wstring& Name() const { return FName; }
private:
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) noexcept;
  void Update();
  std::wstring FName;
  UINT FInterval;
  bool FEnabled = false;
  UINT_PTR FId = 0;
};
