#pragma once
// The standard controls: label, edit and button.
#include <optional>
#include <string>
#include "framework/Controls.h"

// A label, drawn by its page: aligned and optionally word-wrapped. Screen readers read it as static text.
class TLabel : public TPaintedControl {
public:
  enum class TAlignment { Left, Right, Center };
  TLabel(TWinControl* parent, std::wstring name);
  TAlignment Alignment = TAlignment::Left;
  bool WordWrap = false;
  bool CenterVertically = false;
  // A label that does not wrap grows to its text, keeping its right edge when right-aligned.
  bool AutoSize = true;
  // A wrapped text that does not fit its box is drawn in a smaller size of the same font.
  bool ShrinkToFit = false;
  COLORREF FontColor = RGB(199, 248, 255);
  // The control this label names (for screen readers: an edit is read by its label); not owned.
  TWinControl* FocusControl = nullptr;
  RECT DeviceBounds() const override;
protected:
  void Paint(HDC dc, const RECT& rc) override;
  void FontChanged() override;
  void TextChanged() override;
  void DpiChanged() override;
  void Resized() override { FFitted.reset(); }
  bool Describe(TAccessibleInfo& info) const override;
private:
  HFONT PaintFont(HDC dc, const RECT& box, UINT flags);
  TGdiObject FittingFont(HDC dc, HFONT font, const std::wstring& text, RECT box, UINT flags) const;
  std::optional<TGdiObject> FFitted;  // the smaller font a ShrinkToFit text needs (empty: its own fits)
};

class TEdit : public TWinControl {
public:
  TEdit(TWinControl* parent, std::wstring name);
  COLORREF Color = RGB(208, 251, 255);
  bool TakesFocus() const override { return true; }
  LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void WindowCreated() override;
  void FontChanged() override;
  bool Describe(TAccessibleInfo& info) const override;
  // Draws the one-pixel frame around the edit (window coordinates); a skin draws its own.
  virtual void PaintBorder(HDC dc, const RECT& rc, bool focused);
private:
  TSolidBrush FBrush;
};

class TButton : public TWinControl {
public:
  struct TState {
    bool Pressed, Focused, Hot, Enabled;
  };
  TButton(TWinControl* parent, std::wstring name, bool tabStop = true);
  TNotifyEvent OnClick;
  // The button Escape presses, when it shows.
  bool Cancel = false;
  bool TakesFocus() const override { return true; }
  void Click();  // runs OnClick as a press would
  // Presses the button as the keyboard does (focus, then Space), so that whatever watches it sees the press.
  void PressByKeyboard();
  LRESULT HandleParentNotify(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool Describe(TAccessibleInfo& info) const override;
  void DoDefaultAction() override;
  // The button draws itself (owner-drawn); a skin draws its own.
  virtual void DrawButton(HDC dc, const RECT& rc, const TState& state);
  // A default button (the call to action) tells screen readers so.
  virtual bool IsDefault() const { return false; }
private:
  bool FHot = false;
};
