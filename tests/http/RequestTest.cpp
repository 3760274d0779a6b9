// THttpRequest against the loopback stand-ins, run on the test's own thread.
#include "tests/http/HttpTestSupport.h"
#include <algorithm>

namespace {
std::string SignUpPem() { return CertsDir() + "/server.pem"; }
std::string UntrustedPem() { return CertsDir() + "/untrusted-server.pem"; }

std::wstring SignUpUrl(const TPeerProcess& peer) { return Utf8ToWide(peer.BaseUrl("https") + "/store/signup.php"); }
}  // namespace

TEST(HttpRequest, PostsTheBodyOverVerifiedTlsAndReadsTheReply) {
  const std::string replies = UniqueTestFile("replies") + ".json";
  WriteLinuxFile(replies, "[\"success||https://localhost/setup.exe\"]");
  TPeerProcess service("signup_service.py", {"--cert", SignUpPem(), "--replies", replies});
  ASSERT_TRUE(service.Started());

  THttpRequest request;
  TProgressLog progress;
  request.OnProgress = progress.Handler();
  TBytes response = "stale";
  ASSERT_TRUE(request.Execute(SignUpUrl(service), "a=1&b=%C3%A9", response)) << testing::PrintToString(request.ErrorText);
  EXPECT_FALSE(request.Failed);
  EXPECT_EQ(response, "success||https://localhost/setup.exe");
  EXPECT_EQ(request.ContentLength, 0);  // memory mode counts nothing
  ASSERT_FALSE(progress.Reports.empty());
  EXPECT_EQ(progress.Reports.back().Max, 0);
  EXPECT_EQ(progress.Reports.back().Position, 0);

  auto recorded = service.Recorded();
  ASSERT_EQ(recorded.size(), 1u);
  auto fields = RecordFields(recorded[0]);
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0], "POST");
  EXPECT_EQ(fields[1], "/store/signup.php");
  EXPECT_EQ(fields[2], "application/x-www-form-urlencoded");
  EXPECT_EQ(fields[4], "a=1&b=%C3%A9");
}

TEST(HttpRequest, CertificateOfAnUntrustedAuthorityFailsWithTheSystemsText) {
  TPeerProcess service("signup_service.py", {"--cert", UntrustedPem(), "--reply", "success||x"});
  ASSERT_TRUE(service.Started());
  THttpRequest request;
  TBytes response;
  EXPECT_FALSE(request.Execute(SignUpUrl(service), "a=1", response));
  EXPECT_TRUE(request.Failed);
  EXPECT_TRUE(response.empty());
  EXPECT_TRUE(LastWinInetError == ERROR_INTERNET_INVALID_CA || LastWinInetError == ERROR_INTERNET_SEC_CERT_ERRORS ||
              LastWinInetError == ERROR_INTERNET_SEC_CERT_REV_FAILED)
      << LastWinInetError;
  EXPECT_FALSE(request.ErrorText.empty());
  EXPECT_EQ(request.ErrorText, WinInetCodeMessage(LastWinInetError));
  EXPECT_TRUE(service.Recorded().empty());  // nothing was posted to the impostor
}

TEST(HttpRequest, DownloadWritesTheStreamAndReportsEveryChunk) {
  ASSERT_TRUE(TFileServer::Peer().Started());
  THttpRequest request;
  TMemoryStream stream;
  TProgressLog progress;
  request.TargetStream = &stream;
  request.OnProgress = progress.Handler();
  TBytes response;
  ASSERT_TRUE(request.Execute(TFileServer::Url("/gen/100000"), TBytes(), response)) << testing::PrintToString(request.ErrorText);
  EXPECT_TRUE(response.empty());
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), 100000));
  EXPECT_EQ(request.ContentLength, 100000);
  EXPECT_EQ(request.BytesRead, 100000);
  ASSERT_GE(progress.Reports.size(), 8u);  // 16384-byte reads at most, plus the final empty read
  for (size_t i = 1; i < progress.Reports.size(); ++i) {
    EXPECT_EQ(progress.Reports[i].Max, 100000);
    EXPECT_GE(progress.Reports[i].Position, progress.Reports[i - 1].Position);
    EXPECT_LE(progress.Reports[i].Position - progress.Reports[i - 1].Position, 16384);
  }
  EXPECT_EQ(progress.Reports.back().Position, 100000);
  EXPECT_EQ(progress.Reports[progress.Reports.size() - 2].Position, 100000);  // the empty read reports too
}

TEST(HttpRequest, DownloadWithoutContentLengthReportsMaxMinusOne) {
  THttpRequest request;
  TMemoryStream stream;
  TProgressLog progress;
  request.TargetStream = &stream;
  request.OnProgress = progress.Handler();
  TBytes response;
  ASSERT_TRUE(request.Execute(TFileServer::Url("/gen/50000?nolength=1"), TBytes(), response))
      << testing::PrintToString(request.ErrorText);
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), 50000));
  EXPECT_EQ(request.ContentLength, -1);
  EXPECT_EQ(request.BytesRead, 50000);
  ASSERT_FALSE(progress.Reports.empty());
  for (const auto& report : progress.Reports) EXPECT_EQ(report.Max, -1);
  EXPECT_EQ(progress.Reports.back().Position, 50000);
}

TEST(HttpRequest, StatusOtherThan200FailsWithTheServersReasonAndReadsNoBody) {
  THttpRequest request;
  TMemoryStream stream;
  TProgressLog progress;
  request.TargetStream = &stream;
  request.OnProgress = progress.Handler();
  TBytes response;
  EXPECT_FALSE(request.Execute(TFileServer::Url("/gen/1000?fail=404&reason=Gone%20Fishing"), TBytes(), response));
  EXPECT_TRUE(request.Failed);
  EXPECT_EQ(request.ErrorText, L"Gone Fishing");
  EXPECT_TRUE(stream.Data().empty());
  EXPECT_TRUE(progress.Reports.empty());
  EXPECT_EQ(request.BytesRead, 0);

  // The same object runs the next exchange; a success keeps the last error text.
  request.TargetStream = nullptr;
  EXPECT_TRUE(request.Execute(TFileServer::Url("/gen/70000"), TBytes(), response));
  EXPECT_FALSE(request.Failed);
  EXPECT_EQ(request.ErrorText, L"Gone Fishing");
  EXPECT_TRUE(IsGeneratedContent(response, 70000));
}

TEST(HttpRequest, EmptyReasonTextStillFails) {
  THttpRequest request;
  TBytes response;
  EXPECT_FALSE(request.Execute(TFileServer::Url("/gen/10?fail=500&reason="), TBytes(), response));
  EXPECT_TRUE(request.Failed);
  EXPECT_EQ(request.ErrorText, L"The server answered with status 500");
}

TEST(HttpRequest, DownloadCutShortFailsInsteadOfPassingATruncatedFile) {
  THttpRequest request;
  TMemoryStream stream;
  request.TargetStream = &stream;
  TBytes response;
  EXPECT_FALSE(request.Execute(TFileServer::Url("/gen/100000?cut=40000"), TBytes(), response));
  EXPECT_TRUE(request.Failed);
  EXPECT_EQ(request.ContentLength, 100000);
  EXPECT_EQ(request.BytesRead, 40000);
  EXPECT_EQ(request.ErrorText, L"The download is incomplete: 40000 of 100000 bytes arrived");
  EXPECT_TRUE(IsGeneratedContent(stream.Data(), 40000));  // what arrived stays in the stream
}

TEST(HttpRequest, ClosedPortGivesTheSystemsConnectionFailureText) {
  THttpRequest request;
  TBytes response = "stale";
  EXPECT_FALSE(request.Execute(L"http://127.0.0.1:1/x", "a=1", response));
  EXPECT_TRUE(response.empty());
  EXPECT_EQ(LastWinInetError, static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(request.ErrorText, WinInetCodeMessage(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_FALSE(request.ErrorText.empty());
}

TEST(HttpRequest, CancelledRequestStopsBeforeSending) {
  TPeerProcess server("file_server.py", {});
  ASSERT_TRUE(server.Started());
  THttpRequest request;
  request.Cancelled = true;
  TBytes response;
  EXPECT_FALSE(request.Execute(Utf8ToWide(server.BaseUrl("http") + "/gen/10"), "a=1", response));
  EXPECT_EQ(request.ErrorText, L"Request has been cancelled");
  // It stays cancelled for every later exchange.
  EXPECT_FALSE(request.Execute(Utf8ToWide(server.BaseUrl("http") + "/gen/10"), "a=1", response));
  EXPECT_EQ(request.ErrorText, L"Request has been cancelled");
  ::Sleep(200);
  EXPECT_TRUE(server.Recorded().empty());
}

TEST(HttpRequest, FailingStreamWriteEndsTheExchangeWithTheStreamsError) {
  class TFullDisk : public TStream {
  public:
    void Write(const void*, size_t count) override {
      if (count > 0) RaiseOSError(ERROR_DISK_FULL);
    }
    void Truncate() override {}
  } stream;
  THttpRequest request;
  request.TargetStream = &stream;
  TBytes response;
  EXPECT_FALSE(request.Execute(TFileServer::Url("/gen/100000"), TBytes(), response));
  EXPECT_EQ(request.ErrorText, SysErrorMessage(ERROR_DISK_FULL));
}

// ---- Downloads that meet a bad network: tried again, resumed where the server allows it ----

namespace {
struct TRetriedDownload {
  bool Ok = false;
  THttpRequest Request;
  TMemoryStream Stream;
  std::vector<int32_t> Positions;
};

std::unique_ptr<TRetriedDownload> DownloadRetrying(const std::wstring& url) {
  auto run = std::make_unique<TRetriedDownload>();
  run->Request.TargetStream = &run->Stream;
  run->Request.RetryPolicy = kQuickRetries;
  run->Request.OnProgress = [&run = *run](THttpRequest*, int32_t, int32_t position) {
    run.Positions.push_back(position);
  };
  TBytes response;
  run->Ok = run->Request.Execute(url, TBytes(), response);
  return run;
}
}  // namespace

TEST(HttpRequestResume, EveryKindOfAnswerToAResumeEndsInTheWholeFile) {
  // A 206 that continues the file is appended; a 200 (Range ignored) is read from the start; a 206 for
  // another part or for a changed length is asked again for all of it. A stalled try is given up.
  struct TCase {
    std::string Faults;
    std::vector<std::string> Answers;
    size_t Size;
    long long Resumed;
  } cases[] = {{"cut=120000", {"200\t-", "206\tbytes=120000-"}, 300000, 120000},
               {"cut=120000&range=ignore", {"200\t-", "200\tbytes=120000-"}, 300000, 0},
               {"cut=120000&range=wrong", {"200\t-", "206\tbytes=120000-", "200\t-"}, 300000, 0},
               {"cut=120000&grow=5000", {"200\t-", "206\tbytes=120000-", "200\t-"}, 305000, 0},
               {"stall=16384", {"200\t-", "206\tbytes=16384-"}, 300000, 16384}};
  for (const TCase& kind : cases) {
    SCOPED_TRACE(kind.Faults);
    TServedFileServer server;
    ASSERT_TRUE(server.Peer.Started());
    auto run = DownloadRetrying(server.Url("/gen/300000?first=1&" + kind.Faults));
    ASSERT_TRUE(run->Ok) << WideToUtf8(run->Request.ErrorText);
    EXPECT_TRUE(IsGeneratedContent(run->Stream.Data(), kind.Size));
    EXPECT_EQ(run->Request.RetryCount, 1);
    EXPECT_EQ(run->Request.ResumedBytes, kind.Resumed);
    EXPECT_EQ(server.Answers(kind.Answers.size()), kind.Answers);
    // Over a resume the gauge keeps its position.
    EXPECT_TRUE(kind.Resumed == 0 || std::is_sorted(run->Positions.begin(), run->Positions.end()));
  }
}

TEST(HttpRequestResume, RetryBudgetRunsOutWithTheLastErrorAndOtherStatusesFailAtOnce) {
  TServedFileServer server;
  ASSERT_TRUE(server.Peer.Started());
  auto busy = DownloadRetrying(server.Url("/gen/1000?fail=503&reason=Busy"));
  EXPECT_FALSE(busy->Ok);
  EXPECT_EQ(busy->Request.ErrorText, L"Busy");
  EXPECT_EQ(busy->Request.RetryCount, 4);
  EXPECT_EQ(server.Answers(5).size(), 5u);
  auto missing = DownloadRetrying(server.Url("/gen/1000?fail=404&reason=Gone"));
  EXPECT_EQ(missing->Request.ErrorText, L"Gone");
  EXPECT_EQ(missing->Request.RetryCount, 0);
}
