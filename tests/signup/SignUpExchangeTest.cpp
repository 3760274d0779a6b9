// The sign-up posted to the stand-in service over verified TLS, and its reply read back.
#include <gtest/gtest.h>
#include "framework/Strings.h"
#include "signup/uResponseData.h"
#include "signup/uSignUp.h"
#include "tests/peers/PeerProcess.h"

namespace {
std::unique_ptr<TPeerProcess> StartService(const std::string& repliesJson) {
  const std::string replies = UniqueTestFile("replies") + ".json";
  WriteLinuxFile(replies, repliesJson);
  return std::make_unique<TPeerProcess>(
      "signup_service.py", std::vector<std::string>{"--cert", CertsDir() + "/server.pem", "--replies", replies});
}

std::wstring PageUrl(const TPeerProcess& service) { return Utf8ToWide(service.BaseUrl("https") + "/store/signup.php"); }

// The posted body of the service's only recorded request (the last of its tab-separated fields).
std::string PostedBody(const TPeerProcess& service) {
  auto recorded = service.Recorded();
  if (recorded.size() != 1) return "<" + std::to_string(recorded.size()) + " requests>";
  return recorded[0].substr(recorded[0].rfind('\t') + 1);
}
}  // namespace

TEST(SignUpExchange, PostsTheSixFieldsAndHandsBackTheReply) {
  auto service = StartService("[\"success|ok|https://localhost/files/setup.exe\"]");
  ASSERT_TRUE(service->Started());
  std::wstring text;
  bool failed = PostSignUp(PageUrl(*service), BuildSignUpFields(L" Anna ", L"O'Neil", L"anna+x@example.com"), nullptr, text);
  EXPECT_FALSE(failed);
  EXPECT_EQ(PostedBody(*service),
            "tlfFirstName=Anna&tlfLastName=O%27Neil&tlfEmail=anna%2Bx%40example.com&tlfModuleName=mercantix_tradeloom"
            "&tlfSubmitted=1&tlfComments=Mercantix+mini-installer");
  TResponseData reply(text);
  EXPECT_TRUE(reply.IsSuccess());
  EXPECT_EQ(reply.DownloadUrl, L"https://localhost/files/setup.exe");
}

TEST(SignUpExchange, ServiceMessageArrivesAsTheReply) {
  auto service = StartService("[\"error|Please enter the Email correctly\"]");
  ASSERT_TRUE(service->Started());
  std::wstring text;
  EXPECT_FALSE(PostSignUp(PageUrl(*service), BuildSignUpFields(L"A", L"B", L"c"), nullptr, text));
  TResponseData reply(text);
  EXPECT_TRUE(reply.HasMessage());
  EXPECT_EQ(reply.ErrorMessage(), L"Please enter your Email correctly");
}

TEST(SignUpExchange, FailedExchangeGivesTheErrorText) {
  auto service = StartService("[{\"status\": 503, \"reason\": \"Service Unavailable\", \"body\": \"success||x\"}]");
  ASSERT_TRUE(service->Started());
  std::wstring text;
  EXPECT_TRUE(PostSignUp(PageUrl(*service), BuildSignUpFields(L"A", L"B", L"c"), nullptr, text));
  EXPECT_EQ(text, L"Service Unavailable");

  EXPECT_TRUE(PostSignUp(L"https://localhost:1/store/signup.php", BuildSignUpFields(L"A", L"B", L"c"), nullptr, text));
  EXPECT_FALSE(text.empty());
}

