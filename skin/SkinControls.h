#pragma once
// The wizard's skin: buttons, edits and the gauge drawn in the window's palette, with the keyboard
// focus always visible.
#include "framework/ComCtrls.h"
#include "framework/StdCtrls.h"

namespace skin {
constexpr COLORREF kWindow = RGB(7, 104, 137);
constexpr COLORREF kLabel = RGB(199, 248, 255);
constexpr COLORREF kEdit = RGB(208, 251, 255);
constexpr COLORREF kInk = RGB(4, 46, 62);         // text on light faces, borders
constexpr COLORREF kFocus = RGB(255, 196, 64);    // the amber of the logo
constexpr COLORREF kFace = RGB(236, 252, 255);
constexpr COLORREF kFaceHot = RGB(255, 255, 255);
constexpr COLORREF kFacePressed = RGB(178, 232, 244);
constexpr COLORREF kPrimary = RGB(255, 193, 61);
constexpr COLORREF kPrimaryHot = RGB(255, 210, 110);
constexpr COLORREF kPrimaryPressed = RGB(235, 168, 30);
constexpr COLORREF kDisabledFace = RGB(96, 150, 168);
constexpr COLORREF kBar = RGB(30, 162, 204);

// The colours the controls draw with: the skin's, or the system's where Windows asks for high contrast.
struct TColors {
  COLORREF Window, Ink, Focus, FocusOnPrimary, Face, FaceHot, FacePressed, Primary, PrimaryHot, PrimaryPressed,
      DisabledFace, DisabledInk, Track, TrackInk, Bar, BarInk;
};
TColors Colors(bool highContrast);
}  // namespace skin

class TSkinButton : public TButton {
public:
  TSkinButton(TWinControl* parent, std::wstring name, bool tabStop = true) : TButton(parent, std::move(name), tabStop) {}
  bool Primary = false;  // the call to action: amber face
protected:
  void DrawButton(HDC dc, const RECT& rc, const TState& state) override;
  bool IsDefault() const override { return Primary; }
};

class TSkinEdit : public TEdit {
public:
  using TEdit::TEdit;
protected:
  void PaintBorder(HDC dc, const RECT& rc, bool focused) override;
};

class TSkinGauge : public TGauge {
public:
  using TGauge::TGauge;
protected:
  void Paint(HDC dc, const RECT& rc) override;
};

// The indeterminate bar of the sign-up and installation pages: a light track with a segment that
// glides across it while the bar is visible.
class TSkinMarquee : public TPaintedControl {
public:
  TSkinMarquee(TWinControl* parent, std::wstring name);
  ~TSkinMarquee() override;
  int Phase() const { return FPhase; }  // 0..999 across the track
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc, const RECT& rc) override;
  void WindowCreated() override;
  bool Describe(TAccessibleInfo& info) const override;
private:
  int FPhase = 0;
};
