// Broken and hostile servers against the sign-up and the download: dropped connections, silence,
// garbage, huge replies, wrong lengths, status lines without a reason, trickles. Every case must end
// in a clear message (or a complete, correct result), return promptly, and keep memory bounded.
#include "tests/reliability/ReliabilitySupport.h"
#include <psapi.h>
#include "signup/uResponseData.h"
#include "signup/uSignUp.h"

namespace {
std::unique_ptr<TPeerProcess> StartSignUpService(const std::string& repliesJson) {
  const std::string replies = UniqueTestFile("faulty-replies") + ".json";
  WriteLinuxFile(replies, repliesJson);
  return std::make_unique<TPeerProcess>(
      "signup_service.py", std::vector<std::string>{"--cert", CertsDir() + "/server.pem", "--replies", replies});
}

std::wstring PageUrl(const TPeerProcess& service) { return Utf8ToWide(service.BaseUrl("https") + "/store/signup.php"); }

struct TSignUpOutcome {
  bool Failed = false;
  std::wstring Text;
  DWORD Ms = 0;
};

TSignUpOutcome SignUp(const TPeerProcess& service, TButton* cancel = nullptr) {
  TSignUpOutcome outcome;
  const DWORD start = ::GetTickCount();
  outcome.Failed = PostSignUp(PageUrl(service), BuildSignUpFields(L"Anna", L"Schmidt", L"anna@example.com"), cancel,
                              outcome.Text);
  outcome.Ms = ::GetTickCount() - start;
  return outcome;
}

// The process's private memory now.
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PagefileUsage;
}

// The process's peak of resident memory so far (Wine's peak of private bytes is the current value,
// its peak working set a true high-water mark).
SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
}

constexpr SIZE_T kMiB = 1 << 20;
// What a transfer may add to the peak beyond its reply limit: buffers, TLS, the library's own.
constexpr SIZE_T kMemoryAllowance = 24 * kMiB;

class SignUpFaults : public TCancelWindowTest {};
class DownloadFaults : public TCancelWindowTest {};
}  // namespace

// ---- Sign-up replies, read into memory ----

TEST_F(SignUpFaults, ReplyUpToTheLimitIsTakenOneByteMoreIsTooLarge) {
  const std::string atLimit = "{\"size\": " + std::to_string(kMaxReplyBytes) + "}";
  const std::string overLimit = "{\"size\": " + std::to_string(kMaxReplyBytes + 1) + "}";
  const std::string overUnannounced = "{\"size\": " + std::to_string(kMaxReplyBytes + 1) + ", \"length\": null}";
  auto service = StartSignUpService("[" + atLimit + "," + overLimit + "," + overUnannounced + "]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome whole = SignUp(*service);
  EXPECT_FALSE(whole.Failed) << WideToUtf8(whole.Text);
  EXPECT_EQ(kMaxReplyBytes, whole.Text.size());
  TSignUpOutcome announced = SignUp(*service);
  EXPECT_TRUE(announced.Failed);
  EXPECT_EQ(L"Reply is too large", announced.Text);
  TSignUpOutcome unannounced = SignUp(*service);
  EXPECT_TRUE(unannounced.Failed);
  EXPECT_EQ(L"Reply is too large", unannounced.Text);
}

TEST_F(SignUpFaults, HundredMebibyteReplyStopsAtTheLimitWithoutGrowingMemory) {
  const SIZE_T peakBefore = PeakWorkingSet();
  auto service = StartSignUpService("[{\"size\": 104857600, \"length\": null}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome outcome = SignUp(*service);
  EXPECT_TRUE(outcome.Failed);
  EXPECT_EQ(L"Reply is too large", outcome.Text);
  EXPECT_LT(outcome.Ms, 10000u) << "the reply was read beyond the limit";
  EXPECT_LT(PeakWorkingSet() - peakBefore, kMaxReplyBytes + kMemoryAllowance);
}

TEST_F(SignUpFaults, RepeatedFailingExchangesDoNotLeak) {
  auto service = StartSignUpService("[{\"size\": 300000, \"cut\": 200000}]");
  ASSERT_TRUE(service->Started());
  SignUp(*service);  // the first exchange sets up what the library keeps for the process
  const SIZE_T before = PrivateBytes();
  for (int i = 0; i < 100; ++i) {
    TSignUpOutcome outcome = SignUp(*service);
    ASSERT_EQ(L"The reply is incomplete: 200000 of 300000 bytes arrived", outcome.Text);
  }
  const SIZE_T after = PrivateBytes();
  // A reply kept per exchange would add 20 MB here.
  EXPECT_LT(after > before ? after - before : 0, 4 * kMiB) << before << " -> " << after << " bytes";
}

TEST_F(SignUpFaults, ConnectionDroppedInTheMiddleOfTheReplyIsAnError) {
  auto service = StartSignUpService("[{\"body\": \"success||https://localhost/files/setup.exe\", \"cut\": 12}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome outcome = SignUp(*service);
  EXPECT_TRUE(outcome.Failed) << "a cut reply passed as whole: " << WideToUtf8(outcome.Text);
  EXPECT_EQ(L"The reply is incomplete: 12 of 42 bytes arrived", outcome.Text);
}

TEST_F(SignUpFaults, ContentLengthShorterThanTheBodyGivesTheAnnouncedBytesOnly) {
  auto service = StartSignUpService("[{\"body\": \"error|Too late. Try again\", \"length\": 14}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome outcome = SignUp(*service);
  ASSERT_FALSE(outcome.Failed) << WideToUtf8(outcome.Text);
  EXPECT_EQ(L"error|Too late", outcome.Text);
}

TEST_F(SignUpFaults, ContentLengthLongerThanTheBodyIsAnError) {
  auto service = StartSignUpService("[{\"body\": \"success||http://localhost/a.exe\", \"length\": 500}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome outcome = SignUp(*service);
  EXPECT_TRUE(outcome.Failed);
  EXPECT_EQ(L"The reply is incomplete: 31 of 500 bytes arrived", outcome.Text);
  EXPECT_LT(outcome.Ms, 10000u);
}

TEST_F(SignUpFaults, StatusLineWithoutAReasonText) {
  auto service = StartSignUpService(
      "[{\"body\": \"success||http://localhost/a.exe\", \"reason\": null},"
      " {\"status\": 503, \"body\": \"busy\", \"reason\": null}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome ok = SignUp(*service);
  EXPECT_FALSE(ok.Failed) << WideToUtf8(ok.Text);
  EXPECT_TRUE(TResponseData(ok.Text).IsSuccess());
  TSignUpOutcome failed = SignUp(*service);
  EXPECT_TRUE(failed.Failed);
  EXPECT_EQ(L"The server answered with status 503", failed.Text);
}

TEST_F(SignUpFaults, GarbageInsteadOfHttpIsNeverASuccess) {
  auto service = StartSignUpService("[{\"garbage\": true}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome outcome = SignUp(*service);
  EXPECT_LT(outcome.Ms, 10000u);
  // Either the exchange fails with a text, or the bytes are taken as a reply that is no sign-up answer.
  if (outcome.Failed) {
    EXPECT_FALSE(Trim(outcome.Text).empty());
  } else {
    EXPECT_FALSE(TResponseData(outcome.Text).IsSuccess());
  }
}

TEST_F(SignUpFaults, TrickledReplyArrivesWhole) {
  auto service = StartSignUpService("[{\"body\": \"success||http://localhost:18080/files/setup.exe\", \"rate\": 40}]");
  ASSERT_TRUE(service->Started());
  TSignUpOutcome outcome = SignUp(*service, &Window->Cancel);
  ASSERT_FALSE(outcome.Failed) << WideToUtf8(outcome.Text);
  EXPECT_EQ(L"http://localhost:18080/files/setup.exe", TResponseData(outcome.Text).DownloadUrl);
  EXPECT_GE(outcome.Ms, 700u) << "the stand-in did not trickle";
}

TEST_F(SignUpFaults, SilentServerCancelReturnsWithinASecond) {
  auto service = StartSignUpService("[{\"silent\": 60}]");
  ASSERT_TRUE(service->Started());
  TDelayedCancel cancel(*Window, 700);
  TSignUpOutcome outcome = SignUp(*service, &Window->Cancel);
  ASSERT_TRUE(cancel.Done()) << "the exchange ended before the cancel: " << WideToUtf8(outcome.Text);
  EXPECT_LT(::GetTickCount() - cancel.FiredTick, 1000u);
  // A cancel writes nothing: the caller finds its variables as they were.
  EXPECT_FALSE(outcome.Failed);
  EXPECT_EQ(L"", outcome.Text);
}

TEST_F(SignUpFaults, TrickleCancelReturnsWithinASecond) {
  auto service = StartSignUpService("[{\"size\": 100000, \"rate\": 50}]");
  ASSERT_TRUE(service->Started());
  TDelayedCancel cancel(*Window, 700);
  TSignUpOutcome outcome = SignUp(*service, &Window->Cancel);
  ASSERT_TRUE(cancel.Done());
  EXPECT_LT(::GetTickCount() - cancel.FiredTick, 1000u);
  EXPECT_EQ(L"", outcome.Text);
}

// ---- Downloads into a file ----

namespace {
struct TDownloadOutcome {
  std::wstring ErrorText;
  std::string Content;
  DWORD Ms = 0;
  std::vector<std::pair<int32_t, int32_t>> Reports;
};

TDownloadOutcome DownloadFile(const std::string& path, TButton* cancel = nullptr, bool keepContent = true) {
  const std::string file = UniqueTestFile("faulty-download") + ".exe";
  TDownloadOutcome outcome;
  const DWORD start = ::GetTickCount();
  HttpDownloadFileModal(TFileServer::Url(path), WindowsPath(file), cancel, outcome.ErrorText,
                        [&outcome](THttpRequest*, int32_t max, int32_t position) {
                          outcome.Reports.emplace_back(max, position);
                        },
                        kQuickRetries);
  outcome.Ms = ::GetTickCount() - start;
  if (keepContent) outcome.Content = ReadLinuxFile(file);
  // The file is closed when the call returns, so the caller's clean-up can remove it.
  EXPECT_TRUE(::DeleteFileW(WindowsPath(file).c_str())) << "error " << ::GetLastError();
  return outcome;
}
}  // namespace

TEST_F(DownloadFaults, ConnectionDroppedInTheMiddleOfEveryTryIsAnErrorNotAnInstaller) {
  // The server cannot resume: every try starts the file over, so it never holds more than one part.
  TDownloadOutcome outcome = DownloadFile("/gen/300000?cut=120000&range=ignore");
  EXPECT_EQ(L"The download is incomplete: 120000 of 300000 bytes arrived", outcome.ErrorText);
  EXPECT_TRUE(IsGeneratedContent(outcome.Content, 120000));
}

TEST_F(DownloadFaults, ContentLengthLongerThanTheBodyIsAnError) {
  TDownloadOutcome outcome = DownloadFile("/gen/50000?length=80000");
  EXPECT_EQ(L"The download is incomplete: 50000 of 80000 bytes arrived", outcome.ErrorText);
}

TEST_F(DownloadFaults, ContentLengthBeyondFourGibibytesIsNotMistakenForItsLowBits) {
  // 4 GiB + 50000: the low 32 bits are exactly the 50000 bytes sent.
  TDownloadOutcome outcome = DownloadFile("/gen/50000?length=4295017296");
  EXPECT_EQ(L"The download is incomplete: 50000 of 4295017296 bytes arrived", outcome.ErrorText);
}

TEST_F(DownloadFaults, ContentLengthShorterThanTheBodyGivesTheAnnouncedBytes) {
  TDownloadOutcome outcome = DownloadFile("/gen/50000?length=20000");
  EXPECT_EQ(L"", outcome.ErrorText);
  EXPECT_TRUE(IsGeneratedContent(outcome.Content, 20000));
  ASSERT_FALSE(outcome.Reports.empty());
  EXPECT_EQ(std::make_pair(20000, 20000), outcome.Reports.back());
}

TEST_F(DownloadFaults, StatusLineWithoutAReasonText) {
  TDownloadOutcome ok = DownloadFile("/gen/5000?noreason=1");
  EXPECT_EQ(L"", ok.ErrorText);
  EXPECT_TRUE(IsGeneratedContent(ok.Content, 5000));
  TDownloadOutcome failed = DownloadFile("/gen/5000?fail=502&noreason=1");
  EXPECT_EQ(L"The server answered with status 502", failed.ErrorText);
  EXPECT_EQ("", failed.Content);
}

TEST_F(DownloadFaults, GarbageInsteadOfHttpEndsPromptly) {
  TDownloadOutcome outcome = DownloadFile("/gen/5000?garbage=1");
  EXPECT_LT(outcome.Ms, 10000u);
  // WinINet takes a reply without a status line as an old-style body without headers (its first line
  // is lost): there is no length to check it against, so at most what the server sent arrives.
  if (outcome.ErrorText.empty()) {
    EXPECT_LE(outcome.Content.size(), 20000u);
  }
}

TEST_F(DownloadFaults, SilentServerCancelReturnsWithinASecond) {
  TDelayedCancel cancel(*Window, 700);
  TDownloadOutcome outcome = DownloadFile("/gen/5000?silent=1", &Window->Cancel);
  ASSERT_TRUE(cancel.Done()) << "the download ended before the cancel: " << WideToUtf8(outcome.ErrorText);
  EXPECT_LT(::GetTickCount() - cancel.FiredTick, 1000u);
  EXPECT_EQ(L"", outcome.ErrorText);
  EXPECT_EQ("", outcome.Content);
}

TEST_F(DownloadFaults, StalledDownloadCancelReturnsWithinASecond) {
  TDelayedCancel cancel(*Window, 700);
  TDownloadOutcome outcome = DownloadFile("/gen/1000000?stall=30000", &Window->Cancel);
  ASSERT_TRUE(cancel.Done());
  EXPECT_LT(::GetTickCount() - cancel.FiredTick, 1000u);
  EXPECT_EQ(L"", outcome.ErrorText);
  EXPECT_LE(outcome.Content.size(), 30000u);
}

TEST_F(DownloadFaults, TrickledDownloadArrivesWholeWithProgress) {
  TDownloadOutcome outcome = DownloadFile("/gen/40000?rate=20000", &Window->Cancel);
  EXPECT_EQ(L"", outcome.ErrorText);
  EXPECT_TRUE(IsGeneratedContent(outcome.Content, 40000));
  ASSERT_GE(outcome.Reports.size(), 2u);
  EXPECT_EQ(std::make_pair(40000, 40000), outcome.Reports.back());
}

TEST_F(DownloadFaults, HundredMebibyteDownloadGoesToTheFileNotToMemory) {
  const SIZE_T peakBefore = PeakWorkingSet();
  TDownloadOutcome outcome = DownloadFile("/gen/104857600", nullptr, false);
  EXPECT_EQ(L"", outcome.ErrorText);
  ASSERT_FALSE(outcome.Reports.empty());
  EXPECT_EQ(std::make_pair(104857600, 104857600), outcome.Reports.back());
  EXPECT_LT(PeakWorkingSet() - peakBefore, kMemoryAllowance);
}

TEST_F(DownloadFaults, HostileDownloadAddressesEndInAMessage) {
  // What a broken sign-up reply may hand over as the installer's address.
  const std::wstring served = L"localhost:" + std::to_wstring(TFileServer::Peer().Port());
  const std::wstring closedPort = L"http://localhost:1/setup.exe";  // port 1: nothing listens there
  const std::vector<std::wstring> addresses = {
      L"", L"http://", L"http://:80/x", L"http://localhost:0/gen/10?fail=404", closedPort,
      L"http://user:pw@localhost:99999/x", L"https://" + served + L"/gen/10",
      L"http://" + served + L"/" + std::wstring(100000, L'a'),
      L"http://local\u00e9host\r\nX-Injected: 1/x"};
  for (const std::wstring& address : addresses) {
    const std::string file = UniqueTestFile("hostile-address") + ".exe";
    std::wstring errorText;
    const DWORD start = ::GetTickCount();
    HttpDownloadFileModal(address, WindowsPath(file), nullptr, errorText, nullptr, kQuickRetries);
    EXPECT_LT(::GetTickCount() - start, 15000u) << WideToUtf8(address.substr(0, 80));
    EXPECT_FALSE(Trim(errorText).empty()) << "no error for " << WideToUtf8(address.substr(0, 80));
    EXPECT_TRUE(::DeleteFileW(WindowsPath(file).c_str()));
  }
}
