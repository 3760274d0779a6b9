#pragma once
// The form: the top-level window that owns the controls, with its DPI, fonts and high-contrast handling.
#include <functional>
#include <string>
#include <vector>
#include "framework/Controls.h"

// A top-level, fixed-size window: the framework's form. It follows the DPI of the monitor it is on
// (WM_DPICHANGED) and the system's high-contrast setting.
class TForm : public TContainer {
public:
  TForm(std::wstring name, std::wstring caption);
  ~TForm() override;
  // The window class of every form, for finding a form of another process.
  static const wchar_t* WindowClassName();
  void SetClientSize(int width, int height);
  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  void Show();
  void Close();
  std::function<void()> OnShow;
  // Runs on a close request (title-bar button, Alt+F4, system menu, Close()); without a handler the
  // window is destroyed and the message loop ends.
  std::function<void()> OnClose;
  // Runs after the form and its controls have been placed at a new DPI.
  std::function<void()> OnDpiChanged;
  // Places the controls aligned to the top and bottom of the client area.
  void Realign();
  // The form's non-visual components, registered by the form that owns them.
  void AddComponent(TComponent* component) { FComponents.push_back(component); }
  TComponent* FindComponent(const std::wstring& name) const;
  // In the order they were registered.
  const std::vector<TComponent*>& Components() const { return FComponents; }

  UINT Dpi() const override { return FDpi; }
  bool HighContrast() const override { return FHighContrast; }
  // Moves the form to another DPI as WM_DPICHANGED asks: the suggested window rectangle (none: keep
  // the place), every control's bounds, fonts and pictures anew.
  void ChangeDpi(UINT dpi, const RECT* suggested);
  // Draws with the system's colours (on) or the skin's; follows the system's setting by itself.
  void SetHighContrast(bool on);
  // A font of the form's face at a logical pixel height, made at the form's DPI and made anew, for
  // every control that uses it, when the DPI changes. Owned by the form.
  HFONT FormFont(int pixelHeight, bool bold = false);
  std::wstring FontName = L"Tahoma";
  // Presses the cancel button that shows (Escape); false when none does.
  bool PressCancelButton();
  // Where the keyboard focus was left on the form itself or on a control that can no longer take it
  // (hidden with its page), it goes to the control of `area` that had it last, else to the first that
  // takes it. A focus elsewhere (a message box, another program) stays where it is.
  void RestoreFocus(TWinControl& area);
protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
private:
  friend class TWinControl;
  struct TFormFont {
    int PixelHeight;
    bool Bold;
    TGdiObject Handle;
  };
  TGdiObject MakeFont(int pixelHeight, bool bold) const;
  // The window's size for the client size at the form's DPI.
  SIZE WindowSize() const;
  // Sizes the window to the client size at the form's DPI, at the place given (none: where it is).
  void FitWindowToClient(const POINT* place);
  int FClientWidth = 0, FClientHeight = 0;
  UINT FDpi = 96;
  bool FHighContrast = false;
  HWND FLastFocus = nullptr;
  bool FShown = false;
  std::vector<TComponent*> FComponents;  // not owned
  std::vector<TFormFont> FFonts;
};
