#pragma once
// The common controls: the gauge and the marquee progress bar.
#include <string>
#include "framework/Controls.h"

// A gauge that prints its percentage followed by "%"; screen readers read it as a progress bar whose
// value is that text.
class TGauge : public TPaintedControl {
public:
  TGauge(TWinControl* parent, std::wstring name);
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMax(int max);
  void SetPosition(int position);
  int Percent() const;
protected:
  // Draws the bar and its text (the control's text, "<percent>%"); a skin draws its own.
  void Paint(HDC dc, const RECT& rc) override;
  void TextChanged() override;
  bool Describe(TAccessibleInfo& info) const override;
private:
  int FMax = 100;
  int FPosition = 0;
};

// An indeterminate (marquee) progress bar.
class TMarqueeBar : public TWinControl {
public:
  TMarqueeBar(TWinControl* parent, std::wstring name);
protected:
  void WindowCreated() override;
};
