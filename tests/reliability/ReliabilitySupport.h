#pragma once
// Shared pieces of the fault tests: a window with a Cancel button, a cancel pressed after a delay while
// a blocking call waits, and the stand-ins of the HTTP tests.
#include <gtest/gtest.h>
#include <windows.h>
#include "framework/Application.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "tests/http/HttpTestSupport.h"

class TCancelWindow {
public:
  TCancelWindow() : Form(L"fmFaultTest", L"Fault test"), Cancel(&Form, L"btCancel") {
    Form.SetClientSize(240, 120);
    Cancel.SetBounds(60, 40, 120, 32);
    Cancel.SetText(L"Cancel");
    Form.Show();
    Application->ProcessMessages();
  }
  TForm Form;
  TButton Cancel;
};

// One window for all tests of a suite: closing a shown window costs Wine two seconds without a
// window manager.
class TCancelWindowTest : public testing::Test {
protected:
  static void SetUpTestSuite() { Window = new TCancelWindow(); }
  static void TearDownTestSuite() {
    delete Window;
    Window = nullptr;
  }
  static inline TCancelWindow* Window = nullptr;
};

// Releases the mouse button on the Cancel button once, delayMs after creation, from a thread timer
// that the blocking call's message handling serves.
class TDelayedCancel {
public:
  TDelayedCancel(TCancelWindow& window, UINT delayMs) : FButton(window.Cancel.Handle()) {
    Current = this;
    FTimer = ::SetTimer(nullptr, 0, delayMs, &TDelayedCancel::Fire);
  }
  ~TDelayedCancel() {
    if (FTimer) ::KillTimer(nullptr, FTimer);
    Current = nullptr;
  }
  TDelayedCancel(const TDelayedCancel&) = delete;
  TDelayedCancel& operator=(const TDelayedCancel&) = delete;
  bool Done() const { return FiredTick != 0; }
  DWORD FiredTick = 0;

private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR, DWORD) {
    TDelayedCancel* self = Current;
    if (!self || self->Done()) return;
    ::KillTimer(nullptr, self->FTimer);
    self->FTimer = 0;
    self->FiredTick = ::GetTickCount();
    ::SendMessageW(self->FButton, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  }
  static inline TDelayedCancel* Current = nullptr;  // one pending cancel at a time, GUI thread only
  HWND FButton;
  UINT_PTR FTimer = 0;
};
