// The statistics HTTP client: address splitting, proxy access, classification, and real exchanges with
// the statistics service and proxy stand-ins on the loopback.
#include <gtest/gtest.h>
#include <thread>
#include "framework/Strings.h"
#include "statistics/StatHttpRequest.h"
#include "tests/statistics/StatPeerSupport.h"

using namespace StatHttp;

namespace {

constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
// A proxy name that no resolver can resolve, without asking any name server (empty label).
constexpr wchar_t kUnresolvableProxy[] = L"proxy..invalid";

TStatProxySettings NamedProxy(const std::wstring& address, std::int32_t port) {
  TStatProxySettings settings;
  settings.AutoDetectProxy = false;
  settings.Address = address;
  settings.Port = port;
  return settings;
}

TStatBytes Bytes(const std::string& text) { return TStatBytes(text.begin(), text.end()); }
std::string Text(const TStatBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Points the system's Internet settings at a proxy for the test's lifetime.
class TSystemProxy {
public:
  explicit TSystemProxy(const std::wstring& server) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, FKey.Out(), nullptr);
    SetEnabled(1);
    ::RegSetValueExW(FKey.Get(), L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                     static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
  }
  ~TSystemProxy() {
    SetEnabled(0);
    ::RegDeleteValueW(FKey.Get(), L"ProxyServer");
  }
  TSystemProxy(const TSystemProxy&) = delete;
  TSystemProxy& operator=(const TSystemProxy&) = delete;

private:
  void SetEnabled(DWORD enabled) {
    ::RegSetValueExW(FKey.Get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled),
                     sizeof(enabled));
  }
  TRegKey FKey;
};

}  // namespace

TEST(StatHttpPieces, SplitUrlTakesAnAddressApart) {
  TUrlParts parts = SplitUrl(L"HTTP://joe:se:cret@stats.example:8082/index.php?version=2&key=k");
  EXPECT_EQ(parts.Scheme, L"http");
  EXPECT_EQ(parts.User, L"joe");
  EXPECT_EQ(parts.Password, L"se:cret");
  EXPECT_EQ(parts.Host, L"stats.example");
  EXPECT_EQ(parts.Port, L"8082");
  EXPECT_EQ(parts.Path, L"/index.php?version=2&key=k");
  parts = SplitUrl(L"localhost");
  EXPECT_EQ(parts.Host, L"localhost");
  EXPECT_EQ(parts.Path, L"");
  EXPECT_EQ(PortNumber(L"8082"), 8082);
  EXPECT_EQ(PortNumber(L""), 0);
  EXPECT_EQ(PortNumber(L"http"), 0);
  EXPECT_EQ(PortNumber(L"70000"), 0);
}

TEST(StatHttpPieces, ProxyAccessFollowsTheSettings) {
  TStatProxySettings automatic;
  automatic.UserName = L"joe";
  automatic.Password = L"pw";
  TProxyAccess access = ProxyAccess(automatic);
  EXPECT_EQ(access.AccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PRECONFIG));
  EXPECT_EQ(access.ProxyText, L"");
  EXPECT_EQ(access.UserName, L"joe");  // applied to the connection all the same
  EXPECT_EQ(access.Password, L"pw");

  TStatProxySettings direct = automatic;
  direct.AutoDetectProxy = false;
  access = ProxyAccess(direct);
  EXPECT_EQ(access.AccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_DIRECT));
  EXPECT_EQ(access.UserName, L"");
  EXPECT_EQ(access.Password, L"");

  TStatProxySettings named = NamedProxy(L"proxy.corp", 8080);
  named.UserName = L"joe";
  named.Domain = L"CORP";
  access = ProxyAccess(named);
  EXPECT_EQ(access.AccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
  EXPECT_EQ(access.ProxyText, L"proxy.corp:8080");
  EXPECT_EQ(access.UserName, L"CORP\\joe");
  EXPECT_EQ(ProxyAccess(NamedProxy(L"proxy.corp", 0)).ProxyText, L"proxy.corp:0");
}

TEST(StatHttpPieces, FailuresAreClassifiedByTheirCode) {
  const TStatProxySettings automatic;
  const TStatProxySettings named = NamedProxy(L"proxy.corp", 8080);
  EXPECT_EQ(ClassifyFailure(12029, false, named), hrNoConnection);
  EXPECT_EQ(ClassifyFailure(12029, true, automatic), hrNoConnection);
  EXPECT_EQ(ClassifyFailure(12007, false, named), hrProxyNameResolutionFailure);
  EXPECT_EQ(ClassifyFailure(12007, false, automatic), hrHttpError);
  EXPECT_EQ(ClassifyFailure(0, true, automatic), hrProxyAuthRequired);
  EXPECT_EQ(ClassifyFailure(12017, false, named), hrHttpError);
}

TEST(StatHttpExchange, APostGetsTheReplyAndSendsTheBodyWithoutHeaders) {
  TStatService service({"--settings", "collect_data=1&send_data=1"});
  ASSERT_TRUE(service.Started());
  TStatHttpRequestImpl request;
  TStatBytes response;
  EXPECT_EQ(request.Execute(service.Url(L"/get_settings.php?key=k&version=2.1.0.15&tracker=1.0.0.1"),
                            TStatProxySettings(), response, {}),
            hrOK);
  EXPECT_EQ(Text(response), "collect_data=1&send_data=1");
  const std::string document = "<?xml version=\"1.0\" encoding=\"utf-8\"?><package tracker=\"1.0.0.1\">\r\n</package>";
  EXPECT_EQ(request.Execute(service.Url(L"/index.php?version=2&key=k"), TStatProxySettings(), response,
                            Bytes(document)),
            hrOK);
  EXPECT_EQ(Text(response), "0");
  const std::vector<TRecordedRequest> requests = service.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Method, "POST");
  EXPECT_EQ(requests[0].Path, "/get_settings.php?key=k&version=2.1.0.15&tracker=1.0.0.1");
  EXPECT_EQ(requests[1].Body, document);
  EXPECT_EQ(requests[1].ContentType, "");
  EXPECT_EQ(service.Verdicts(), std::vector<std::string>{"valid\t0\t"});
}

TEST(StatHttpExchange, AStatusOtherThan200IsAnHttpErrorWithNoReply) {
  TStatService service({"--settings-status", "500", "--settings", "collect_data=1"});
  ASSERT_TRUE(service.Started());
  TStatHttpRequestImpl request;
  TStatBytes response = Bytes("stale");
  EXPECT_EQ(request.Execute(service.Url(L"/get_settings.php"), TStatProxySettings(), response, {}), hrHttpError);
  EXPECT_TRUE(response.empty());
}

TEST(StatHttpExchange, AClosedPortIsNoConnectionAndDoesNotColourTheNextOutcome) {
  TStatService service({"--settings-status", "500"});
  ASSERT_TRUE(service.Started());
  TStatBytes response;
  TStatHttpRequestImpl first;
  EXPECT_EQ(first.Execute(L"http://127.0.0.1:9/get_settings.php", TStatProxySettings(), response, {}),
            hrNoConnection);
  // The same thread's next exchange fails for another reason: it is classified by its own failure.
  TStatHttpRequestImpl second;
  EXPECT_EQ(second.Execute(service.Url(L"/get_settings.php"), TStatProxySettings(), response, {}), hrHttpError);
}

TEST(StatHttpExchange, ANamedProxyPassesTheRequestOnWithTheDomainUser) {
  TStatService service({"--settings", "collect_data=1"});
  TPeerProcess proxy("stat_proxy.py", {"--auth", "CORP\\joe:se:cret"});
  ASSERT_TRUE(service.Started() && proxy.Started());
  TStatProxySettings settings = NamedProxy(L"127.0.0.1", proxy.Port());
  settings.UserName = L"joe";
  settings.Domain = L"CORP";
  settings.Password = L"se:cret";
  TStatHttpRequestImpl request;
  TStatBytes response;
  EXPECT_EQ(request.Execute(service.Url(L"/get_settings.php?key=k"), settings, response, {}), hrOK);
  EXPECT_EQ(Text(response), "collect_data=1");
  const std::vector<TRecordedRequest> seen = RecordedRequests(proxy);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().ProxyAuthorization, "Basic " + Base64("CORP\\joe:se:cret"));
  EXPECT_EQ(service.SettingsRequests(), 1u);
}

TEST(StatHttpExchange, AProxyDemandingCredentialsGivesProxyAuthRequired) {
  TStatService service;
  TPeerProcess proxy("stat_proxy.py", {"--auth", "joe:secret"});
  TPeerProcess server401("stat_proxy.py", {"--auth", "joe:secret", "--auth-status", "401"});
  ASSERT_TRUE(service.Started() && proxy.Started() && server401.Started());
  TStatBytes response;
  TStatHttpRequestImpl withoutCredentials;
  EXPECT_EQ(withoutCredentials.Execute(service.Url(L"/get_settings.php"), NamedProxy(L"127.0.0.1", proxy.Port()),
                                       response, {}),
            hrProxyAuthRequired);
  TStatProxySettings wrong = NamedProxy(L"127.0.0.1", proxy.Port());
  wrong.UserName = L"joe";
  wrong.Password = L"wrong";
  TStatHttpRequestImpl withWrongCredentials;
  EXPECT_EQ(withWrongCredentials.Execute(service.Url(L"/get_settings.php"), wrong, response, {}), hrProxyAuthRequired);
  TStatHttpRequestImpl unauthorized;
  EXPECT_EQ(unauthorized.Execute(service.Url(L"/get_settings.php"), NamedProxy(L"127.0.0.1", server401.Port()),
                                 response, {}),
            hrProxyAuthRequired);
  EXPECT_TRUE(response.empty());
  EXPECT_EQ(service.SettingsRequests(), 0u);
}

TEST(StatHttpExchange, AnUnresolvableProxyNameIsReportedOnlyForANamedProxy) {
  TStatBytes response;
  TStatHttpRequestImpl named;
  EXPECT_EQ(named.Execute(L"http://127.0.0.1:9/get_settings.php", NamedProxy(kUnresolvableProxy, 8080), response, {}),
            hrProxyNameResolutionFailure);
  TSystemProxy system(std::wstring(kUnresolvableProxy) + L":8080");
  EXPECT_EQ(GetSystemProxy(), std::wstring(kUnresolvableProxy) + L":8080");
  TStatHttpRequestImpl automatic;
  EXPECT_EQ(automatic.Execute(L"http://127.0.0.1:9/get_settings.php", TStatProxySettings(), response, {}),
            hrHttpError);
}

TEST(StatHttpExchange, CancelDuringASlowReplyEndsTheExchangePromptly) {
  TStatService service({"--slow-settings", "200000"});  // 1 KiB per 100 ms: about 20 s
  ASSERT_TRUE(service.Started());
  TStatHttpRequestImpl request;
  TStatBytes response;
  TStatHttpResult result = hrOK;
  DWORD ended = 0;
  std::thread exchange([&] {
    result = request.Execute(service.Url(L"/get_settings.php"), TStatProxySettings(), response, {});
    ended = ::GetTickCount();
  });
  ::Sleep(1500);  // well into the reading
  const DWORD cancelled = ::GetTickCount();
  request.Cancel();
  request.Cancel();  // a second cancel closes nothing again
  exchange.join();
  EXPECT_EQ(result, hrHttpError);
  EXPECT_TRUE(response.empty());
  EXPECT_LT(ended - cancelled, 3000u) << "the exchange went on after the cancel";
}

TEST(StatHttpExchange, ACancelBeforeTheExchangeStopsItAtTheFirstCheckPoint) {
  TStatService service;
  ASSERT_TRUE(service.Started());
  TStatHttpRequestImpl request;
  request.Cancel();
  TStatBytes response;
  EXPECT_EQ(request.Execute(service.Url(L"/get_settings.php"), TStatProxySettings(), response, {}), hrHttpError);
  EXPECT_EQ(service.SettingsRequests(), 0u);
}

TEST(StatHttpExchange, AReplyBeyondTheLimitIsAnHttpErrorWithNoReply) {
  TStatService atLimit({"--huge-settings", std::to_string(kMaxReplyBytes)});
  TStatService aboveLimit({"--huge-settings", std::to_string(kMaxReplyBytes + 1)});
  TStatService huge({"--huge-settings", std::to_string(100 * 1048576)});
  ASSERT_TRUE(atLimit.Started() && aboveLimit.Started() && huge.Started());
  TStatBytes response;
  TStatHttpRequestImpl first;
  EXPECT_EQ(first.Execute(atLimit.Url(L"/get_settings.php"), TStatProxySettings(), response, {}), hrOK);
  EXPECT_EQ(response.size(), kMaxReplyBytes);
  TStatHttpRequestImpl second;
  EXPECT_EQ(second.Execute(aboveLimit.Url(L"/get_settings.php"), TStatProxySettings(), response, {}), hrHttpError);
  EXPECT_TRUE(response.empty());
  // 100 MiB: the exchange stops reading at the limit instead of taking it all in.
  TStatHttpRequestImpl third;
  EXPECT_EQ(third.Execute(huge.Url(L"/get_settings.php"), TStatProxySettings(), response, {}), hrHttpError);
  EXPECT_TRUE(response.empty());
}
