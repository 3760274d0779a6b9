#include <gtest/gtest.h>
#include "signup/uResponseData.h"

TEST(ResponseData, SuccessWithDownloadAddress) {
  TResponseData reply(L"success|licence 42|https://files.example.com/setup.exe?a=1|b");
  EXPECT_TRUE(reply.IsSuccess());
  EXPECT_FALSE(reply.HasMessage());
  EXPECT_EQ(reply.StatusText, L"success");
  EXPECT_EQ(reply.DownloadUrl, L"https://files.example.com/setup.exe?a=1|b");
  EXPECT_EQ(reply.MessageText, L"");
  EXPECT_EQ(reply.ResultText(), L"");
}

TEST(ResponseData, StatusWordIsTrimmedAndCaseInsensitiveButRecordedAsReceived) {
  TResponseData reply(L"  Success \t|x|url ");
  EXPECT_TRUE(reply.IsSuccess());
  EXPECT_EQ(reply.StatusText, L"  Success \t");
  EXPECT_EQ(reply.DownloadUrl, L"url ");  // field texts are not trimmed
}

TEST(ResponseData, UnrecognisedReplies) {
  for (const wchar_t* text : {L"", L"success", L"error", L"ok|x|y", L"|x|y", L"succes|x|y", L"s u c c e s s|"}) {
    TResponseData reply(text);
    EXPECT_EQ(reply.Status, rsUnknown) << "reply: " << testing::PrintToString(std::wstring(text));
    EXPECT_EQ(reply.MessageText, L"");
    EXPECT_EQ(reply.ErrorMessage(), L"");
  }
  TResponseData noBar(L"success");
  EXPECT_EQ(noBar.StatusText, L"");  // no "|": no status text at all
}

TEST(ResponseData, SuccessWithOneBarHasNoAddress) {
  TResponseData reply(L"success|https://x");
  EXPECT_TRUE(reply.IsSuccess());
  EXPECT_EQ(reply.DownloadUrl, L"");
}

TEST(ResponseData, ErrorMessageKeepsFurtherBars) {
  TResponseData reply(L"ERROR|Something | went wrong|again");
  EXPECT_TRUE(reply.HasMessage());
  EXPECT_EQ(reply.MessageText, L"Something | went wrong|again");
  EXPECT_EQ(reply.ErrorMessage(), L"Something | went wrong|again");
  EXPECT_EQ(reply.DownloadUrl, L" went wrong|again");  // after the second bar, as for any reply
}

TEST(ResponseData, EmptyErrorMessage) {
  TResponseData reply(L"error|");
  EXPECT_TRUE(reply.HasMessage());
  EXPECT_EQ(reply.ErrorMessage(), L"");
  EXPECT_EQ(reply.ResultText(), L"");
}

TEST(ResponseData, ServiceMessagesAreReplacedByTheLocalTexts) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"Please enter the First Name", L"Please enter your First Name"},
      {L"First Name field can include latin characters only", L"Please type in your First Name using Latin letters only"},
      {L"Please enter the Last Name", L"Please enter your Last Name"},
      {L"Last Name field can include latin characters only", L"Please type in your Last Name using Latin letters only"},
      {L"Please enter the Email", L"Please enter your Email"},
      {L"Please enter the Email correctly", L"Please enter your Email correctly"},
      {L"please enter the email", L"Please enter your Email"},
      {L"PLEASE ENTER THE EMAIL CORRECTLY", L"Please enter your Email correctly"},
  };
  for (const auto& [service, local] : cases) {
    TResponseData reply(std::wstring(L"error|") + service);
    EXPECT_EQ(reply.ErrorMessage(), local) << testing::PrintToString(std::wstring(service));
  }
}

TEST(ResponseData, OnlyWholeMessagesAreMapped) {
  TResponseData stop(L"error|Please enter the Email correctly.");
  EXPECT_EQ(stop.ErrorMessage(), L"Please enter the Email correctly.");
  EXPECT_EQ(stop.ResultText(), L"Please enter the Email correctly.");
  TResponseData blank(L"error| Please enter the Email");
  EXPECT_EQ(blank.ErrorMessage(), L" Please enter the Email");
}

TEST(ResponseData, ResultTextIsTheFirstSentence) {
  TResponseData reply(L"error|Your address is taken. Please use another one.");
  EXPECT_EQ(reply.ErrorMessage(), L"Your address is taken. Please use another one.");
  EXPECT_EQ(reply.ResultText(), L"Your address is taken.");
  TResponseData noStop(L"error|No full stop here");
  EXPECT_EQ(noStop.ResultText(), L"No full stop here");
}

TEST(ResponseData, SetStatusAndReparse) {
  TResponseData reply(L"error|x");
  reply.SetStatus(L" SUCCESS\r\n");
  EXPECT_TRUE(reply.IsSuccess());
  reply.SetStatus(L"successful");
  EXPECT_EQ(reply.Status, rsUnknown);
  reply.ResponseText = L"success|a|b";
  reply.Parse();
  EXPECT_TRUE(reply.IsSuccess());
  EXPECT_EQ(reply.MessageText, L"");  // cleared by the new parse
  EXPECT_EQ(reply.DownloadUrl, L"b");
}
