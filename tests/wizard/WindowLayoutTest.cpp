// The wizard window itself, created in the test process: its sizes follow the design values.
#include <gtest/gtest.h>
#include "wizard/uMain.h"

class WizardWindow : public ::testing::Test {
protected:
  TfmMain form;
};

namespace {
int ScaledTo(UINT dpi, int value) { return ::MulDiv(value, static_cast<int>(dpi), 96); }

// Every window below the control sits where its design bounds put it at that DPI; a label that grows
// to its text keeps its top and the edge it is aligned to.
void ExpectDesignLayout(const TWinControl& parent, UINT dpi) {
  for (TWinControl* control : parent.Controls()) {
    const bool placed = control->HandleAllocated() || (control->Windowless() && parent.HandleAllocated());
    if (!placed) continue;
    const RECT rc = control->BoundsInParent();
    const int left = ScaledTo(dpi, control->Left()), right = left + ScaledTo(dpi, control->Width());
    auto* label = dynamic_cast<TLabel*>(control);
    const bool grows = label && label->AutoSize && !label->WordWrap && !label->Text().empty();
    EXPECT_EQ(rc.top, ScaledTo(dpi, control->Top())) << control->Name() << " at " << dpi;
    if (!grows) {
      EXPECT_EQ(rc.left, left) << control->Name() << " at " << dpi;
      EXPECT_EQ(rc.right, right) << control->Name() << " at " << dpi;
      EXPECT_EQ(rc.bottom - rc.top, ScaledTo(dpi, control->Height())) << control->Name() << " at " << dpi;
    } else if (label->Alignment == TLabel::TAlignment::Right) {
      EXPECT_NEAR(rc.right, right, 1) << control->Name() << " at " << dpi;
    } else {
      EXPECT_EQ(rc.left, left) << control->Name() << " at " << dpi;
    }
    ExpectDesignLayout(*control, dpi);
  }
}
}  // namespace

TEST_F(WizardWindow, FollowsTheMonitorsDpiAndComesBackWithoutDrift) {
  form.pcTop->Handle();  // the windows are made, the form stays hidden
  // Every page made, so that all of them are checked (the hidden ones are made when first shown).
  form.ShowBottomPage(form.tsProgress);
  form.ShowBottomPage(form.tsInput);
  form.ShowNextSlide();
  form.StopPromo();
  const int logicalHeight = form.ClientHeight();
  for (UINT dpi : {144u, 192u, 96u}) {
    // As Windows sends it: the new DPI in both words, the suggested window rectangle in lParam.
    RECT suggested{40, 30, 40 + ScaledTo(dpi, 525), 30 + ScaledTo(dpi, 340)};
    ::SendMessageW(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    if (dpi == 192) form.ShowBottomPage(form.tsProgressMarq);  // a page first made at a changed DPI
    RECT window, client;
    ::GetWindowRect(form.Handle(), &window);
    ::GetClientRect(form.Handle(), &client);
    EXPECT_EQ(window.left, 40);
    EXPECT_EQ(window.top, 30);
    EXPECT_EQ(client.right, ScaledTo(dpi, 519)) << dpi;
    EXPECT_EQ(client.bottom, ScaledTo(dpi, form.ClientHeight())) << dpi;
    ExpectDesignLayout(form, dpi);
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(form.editFirstName->Handle(), WM_GETFONT, 0, 0)), sizeof(font), &font);
    EXPECT_EQ(font.lfHeight, -ScaledTo(dpi, 11)) << dpi;
  }
  form.ShowBottomPage(form.tsInput);
  EXPECT_EQ(form.ClientHeight(), logicalHeight);
}

TEST_F(WizardWindow, HighContrastDrawsWithTheSystemsColours) {
  form.Show();
  auto pixel = [this](const TWinControl& control, int x, int y) {
    ::RedrawWindow(form.Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    TWindowDC dc(control.Handle());
    return ::GetPixel(dc.Get(), x, y);
  };
  EXPECT_EQ(pixel(*form.tsInput, 2, 2), RGB(7, 104, 137));
  form.SetHighContrast(true);
  EXPECT_EQ(pixel(*form.tsInput, 2, 2), ::GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(pixel(*form.editLastName, 4, 4), ::GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(pixel(*form.btDownload, 8, 5), ::GetSysColor(COLOR_BTNFACE));
  form.SetHighContrast(false);
  EXPECT_EQ(pixel(*form.btDownload, 8, 5), RGB(255, 193, 61));
}

TEST_F(WizardWindow, InputPageHeightFollowsTheDesign) {
  EXPECT_EQ(form.ClientWidth(), 519);
  EXPECT_EQ(form.pcTop->Height(), form.lbBottom->Top() + form.lbBottom->Height() + 10);
  EXPECT_EQ(form.BottomPageHeight(form.tsInput), 139);
  EXPECT_EQ(form.ClientHeight(), form.lbBottom->Top() + form.lbBottom->Height() + 10 + 139);
  EXPECT_EQ(form.pcBottom->ActivePage(), form.tsInput);
  EXPECT_EQ(form.pcTop->ActivePage(), form.tsMain);
}

TEST_F(WizardWindow, ProgressPagesHaveTheirOwnHeights) {
  EXPECT_EQ(form.BottomPageHeight(form.tsProgress), 105);
  // The amount line sits under the gauge, beside the Cancel button, inside the page's height.
  EXPECT_GE(form.lbAmount->Top(), form.prMain->Top() + form.prMain->Height());
  EXPECT_LE(form.lbAmount->Left() + form.lbAmount->Width(), form.btCancel->Left());
  EXPECT_LE(form.lbAmount->Top() + form.lbAmount->Height(), 105);
  EXPECT_EQ(form.BottomPageHeight(form.tsProgressMarq), 105);
  form.btCancelMarguee->SetVisible(false);
  EXPECT_EQ(form.BottomPageHeight(form.tsProgressMarq), 69);
  form.ShowBottomPage(form.tsProgressMarq);
  EXPECT_EQ(form.ClientHeight(), form.pcTop->Height() + 69);
  // The page below stays at the bottom edge of the window.
  EXPECT_EQ(form.pcBottom->Top(), form.pcTop->Height());
}

TEST_F(WizardWindow, EnterOnTheDownloadButtonBecomesASpace) {
  wchar_t key = L'\r';
  form.btDownloadKeyPress(key);
  EXPECT_EQ(key, L' ');
  key = L'a';
  form.btDownloadKeyPress(key);
  EXPECT_EQ(key, L'a');
}

TEST_F(WizardWindow, ValidateInputTrimsAndStopsAtTheFirstProblem) {
  form.editFirstName->SetText(L"  ");
  form.editLastName->SetText(L" Smith ");
  form.editEmail->SetText(L"bad");
  EXPECT_FALSE(form.ValidateInput());
  EXPECT_EQ(form.editFirstName->Text(), L"");
  EXPECT_EQ(form.editLastName->Text(), L"Smith");

  form.editFirstName->SetText(L"Ann4");  // pasted text is checked on the button
  EXPECT_FALSE(form.ValidateInput());
  form.editFirstName->SetText(L"Anna Maria");
  EXPECT_FALSE(form.ValidateInput());  // the email is still wrong
  form.editEmail->SetText(L"\tanna@example.com ");
  EXPECT_TRUE(form.ValidateInput());
  EXPECT_EQ(form.editEmail->Text(), L"anna@example.com");
}

TEST_F(WizardWindow, RejectedKeysInNameFieldsOnlyAndEnterMovesOn) {
  wchar_t key = L'4';
  form.CommonKeyPress(form.editFirstName.get(), key);
  EXPECT_EQ(key, 0);
  key = L'4';
  form.CommonKeyPress(form.editEmail.get(), key);
  EXPECT_EQ(key, L'4');
  key = L'\r';
  form.CommonKeyPress(form.editEmail.get(), key);
  EXPECT_EQ(key, 0);
  key = L'b';
  form.CommonKeyPress(form.editLastName.get(), key);
  EXPECT_EQ(key, L'b');
}

TEST_F(WizardWindow, WithCtrlDownEveryCharacterPasses) {
  BYTE keys[256] = {};
  ::GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(keys);
  EXPECT_TRUE(form.IsKeyAllowed(L'4'));
  EXPECT_TRUE(form.IsKeyAllowed(L'\x00e9'));
  wchar_t key = L'\x16';  // Ctrl+V reaches the field
  form.CommonKeyPress(form.editFirstName.get(), key);
  EXPECT_EQ(key, L'\x16');
  keys[VK_CONTROL] = 0;
  ::SetKeyboardState(keys);
  EXPECT_FALSE(form.IsKeyAllowed(L'4'));
  EXPECT_TRUE(form.IsKeyAllowed(L'a'));
}
