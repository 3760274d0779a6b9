// The wizard window itself, created in the test process: its sizes follow the design values.
#include <gtest/gtest.h>
#include "wizard/uMain.h"

class WizardWindow : public ::testing::Test {
protected:
  TfmMain form;
};

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
