// The sending thread against the statistics service stand-in: settings, pacing (with a clock the test
// moves), result codes, the published events, proxies, and finishing while a request hangs.
#include <gtest/gtest.h>
#include <cmath>
#include <atomic>
#include <set>
#include "framework/Application.h"
#include "framework/Strings.h"
#include "statistics/StatHttpRequest.h"
#include "statistics/StatXmlWriter.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/StatPeerSupport.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

constexpr unsigned kCycleMs = 1100;

bool Contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

class TrackerDelivery : public ::testing::Test {
protected:
  std::wstring DataFolder() const { return TrackerDataFolder(FRoot.Path()); }

  void StartService(std::vector<std::string> arguments) {
    FService = std::make_unique<TStatService>(std::move(arguments));
    ASSERT_TRUE(FService->Started());
  }

  void WriteSettings(const std::wstring& text) {
    WriteCollectingSettings(DataFolder());  // makes the folder
    WriteUtf8(JoinPath(DataFolder(), L"settings.txt"), text);
  }

  std::wstring Ago(double hours) const { return FormatSettingsDateTime(FClock->Now() - hours / 24.0); }

  void StartTracker(const TStatProxySettings& proxy = TStatProxySettings(),
                    const std::function<void(TTestTracker&)>& configure = {}) {
    FTracker = std::make_unique<TTestTracker>();
    TStatEnvironment environment = TestEnvironment(FRoot.Path());
    auto clock = FClock;
    environment.Now = [clock] { return clock->Now(); };
    environment.ServiceHost = FService->Host();
    FTracker->SetEnvironment(environment);
    FTracker->SetProductKey(kTestProductKey);
    FTracker->SetProxySettings(proxy);
    FTracker->OnGetTrackerSettings = [this](TSoftwareStatisticsTracker*, const std::wstring& text) {
      FSettingsTexts.push_back(text);
    };
    FTracker->OnSendEventData = [this](TSoftwareStatisticsTracker*, const std::wstring& xml, const std::wstring& text) {
      FSent.push_back({xml, text});
    };
    if (configure) configure(*FTracker);
    FTracker->Start();
  }

  bool WaitForSettings() {
    return WaitUntil([this] { return !FSettingsTexts.empty(); }, 10000);
  }
  bool WaitForSent(size_t count) {
    return WaitUntil([&] { return FSent.size() >= count; }, 10000);
  }
  // Lets the sending thread go round a few times (serving its calls meanwhile).
  static void Cycles(int count) {
    WaitUntil([] { return false; }, count * kCycleMs);
  }

  std::vector<std::wstring> StoredEventNames() const {
    std::vector<std::wstring> names;
    for (const TXmlElement& event : EventsInPackageFiles(DataFolder())) names.push_back(event.Attribute(L"name"));
    return names;
  }

  TTestFolder FRoot{L"tracker-delivery"};
  std::shared_ptr<TFakeClock> FClock = std::make_shared<TFakeClock>(NowWholeSeconds());
  std::unique_ptr<TStatService> FService;
  std::vector<std::wstring> FSettingsTexts;
  struct TSent {
    std::wstring Xml;
    std::wstring Text;
  };
  std::vector<TSent> FSent;
  std::unique_ptr<TTestTracker> FTracker;  // last: goes first, while the service still runs
};

// Run once by a thread timer: a message that whatever loop waits at the time handles.
std::function<void()> TimerAction;
void CALLBACK RunTimerAction(HWND, UINT, UINT_PTR timer, DWORD) { ::KillTimer(nullptr, timer); TimerAction(); }

// An XML writer that fails when it is used on any thread but the GUI thread.
class TGuiOnlyWriter : public TStatXmlWriterImpl {
public:
  void StartElement(std::wstring_view name) override {
    if (::GetCurrentThreadId() != Application->MainThreadID()) throw Exception(L"writer broken on the thread");
    TStatXmlWriterImpl::StartElement(name);
  }
  static std::unique_ptr<TStatXmlWriter> Create() { return std::make_unique<TGuiOnlyWriter>(); }
};

}  // namespace

TEST_F(TrackerDelivery, DeliveriesBeginAfterTwoSecondsAndComeMoreThan15SecondsApart) {
  StartService({"--settings", "collect_data=1&send_data=1"});
  StartTracker();
  ASSERT_TRUE(WaitForSettings());
  EXPECT_EQ(FSettingsTexts, std::vector<std::wstring>{L"OK"});
  std::wstring stored;  // the file is written after the event
  EXPECT_TRUE(WaitUntil([&] {
    stored = ReadUtf8(JoinPath(DataFolder(), L"settings.txt"));
    return Contains(stored, L"prev_conn_time=");
  }, 3000));
  EXPECT_TRUE(Contains(stored, L"collect_data=1")) << WideToUtf8(stored);
  EXPECT_TRUE(Contains(stored, L"prev_conn_time="));
  EXPECT_FALSE(Contains(stored, L"send_data"));

  FClock->Advance(2);
  Cycles(2);
  EXPECT_TRUE(FSent.empty());
  FClock->Advance(0.5);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"OK");
  EXPECT_TRUE(Contains(FSent[0].Xml, L"name=\"app-start\""));
  ASSERT_EQ(FService->Verdicts().size(), 1u);
  EXPECT_EQ(FService->Verdicts()[0].rfind("valid\t1\tapp-start", 0), 0u) << FService->Verdicts()[0];
  WaitUntil([this] { return StoredEventNames().empty(); }, 3000);
  EXPECT_TRUE(StoredEventNames().empty()) << "a delivered package is deleted";

  FTracker->TrackEvent(TSSEvent(L"Later"));
  FClock->Advance(10);
  Cycles(2);
  EXPECT_EQ(FSent.size(), 1u);
  FClock->Advance(6);
  ASSERT_TRUE(WaitForSent(2));
  EXPECT_TRUE(Contains(FSent[1].Xml, L"name=\"Later\""));
  EXPECT_FALSE(Contains(FSent[1].Xml, L"app-start"));
}

TEST_F(TrackerDelivery, WithoutSendDataPackagesPileUpOnDisk) {
  StartService({"--settings", "collect_data=1"});
  StartTracker();
  ASSERT_TRUE(WaitForSettings());
  FClock->Advance(30);
  Cycles(2);
  FTracker->Finish(FTracker->AutoFinishTimeout());
  EXPECT_EQ(FService->Deliveries(), 0u);
  EXPECT_TRUE(FSent.empty());
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"app-start", L"app-finish"}));
}

TEST_F(TrackerDelivery, WithoutCollectDataTheQueueIsDroppedAndLaterEventsRefused) {
  StartService({"--settings", "collect_data=0&send_data=1"});
  StartTracker();
  ASSERT_TRUE(WaitForSettings());
  WaitUntil([this] { return FTracker->SettingsKnown(); }, 3000);
  FTracker->TrackEvent(TSSEvent(L"Refused"));
  EXPECT_EQ(FTracker->QueuedCount(), 0u);
  FClock->Advance(5);
  Cycles(1);
  FTracker->Finish(0);
  EXPECT_TRUE(StoredEventNames().empty());
  EXPECT_EQ(FService->Deliveries(), 0u);
}

TEST_F(TrackerDelivery, SettingsAreFetchedOnlyOnceTheirWaitHasPassed) {
  StartService({"--settings", "collect_data=1&send_data=1&wait_timeout=86400"});
  WriteSettings(L"collect_data=1&wait_timeout=86400&\"prev_conn_time=" + Ago(10) + L"\"");
  StartTracker();
  Cycles(2);
  FClock->Advance(3);
  Cycles(2);
  EXPECT_EQ(FService->SettingsRequests(), 0u);
  EXPECT_TRUE(FSettingsTexts.empty());
  EXPECT_EQ(FService->Deliveries(), 0u) << "settings not fetched anew: nothing is sent";
  FTracker->Finish(0);

  WriteSettings(L"collect_data=1&wait_timeout=86400&\"prev_conn_time=" + Ago(24.01) + L"\"");
  StartTracker();
  ASSERT_TRUE(WaitForSettings());
  EXPECT_EQ(FService->SettingsRequests(), 1u);
  TTrackerSettings stored;
  stored.Delimiter = L'&';
  // The file is written after the event.
  EXPECT_TRUE(WaitUntil([&] {
    ParseSettings(stored, ReadUtf8(JoinPath(DataFolder(), L"settings.txt")));
    return std::abs(SettingsPrevConnTime(stored, FClock->Now() + 1) - FClock->Now()) < 2.0 / 86400;
  }, 3000));
}

TEST_F(TrackerDelivery, ReplyZeroDeletesThePackageAndTheNextStoredOneFollows) {
  StartService({"--settings", "collect_data=1&send_data=1", "--results", "0"});
  WriteSettings(L"collect_data=1");
  // Too large to join a package that has events: each is taken in alone, newest first.
  TTestTracker writer;
  WriteUtf8(JoinPath(DataFolder(), L"event-000101-000000-1-001.xml"), EventTextOfLength(writer, 60000, L"StoredOlder"));
  WriteUtf8(JoinPath(DataFolder(), L"event-000101-000000-1-002.xml"), EventTextOfLength(writer, 60000, L"StoredNewer"));
  StartTracker();
  FClock->Advance(3);
  auto deliveredIn = [this](const std::wstring& name) {
    for (size_t i = 0; i < FSent.size(); ++i)
      if (Contains(FSent[i].Xml, L"name=\"" + name + L"\"")) return static_cast<int>(i);
    return -1;
  };
  for (size_t round = 1; round <= 3 && deliveredIn(L"StoredOlder") < 0; ++round) {
    ASSERT_TRUE(WaitForSent(round));
    EXPECT_EQ(FSent.back().Text, L"OK");
    FClock->Advance(16);
  }
  ASSERT_GE(deliveredIn(L"StoredNewer"), 0);
  ASSERT_GE(deliveredIn(L"StoredOlder"), 0);
  EXPECT_LT(deliveredIn(L"StoredNewer"), deliveredIn(L"StoredOlder"));
  for (const TSent& sent : FSent) EXPECT_FALSE(Contains(sent.Xml, L"StoredNewer") && Contains(sent.Xml, L"StoredOlder"));
  WaitUntil([this] { return StoredEventNames().empty(); }, 3000);
  EXPECT_TRUE(StoredEventNames().empty()) << "every delivered package is deleted";
  for (const std::string& verdict : FService->Verdicts()) EXPECT_EQ(verdict.rfind("valid\t", 0), 0u) << verdict;
}

TEST_F(TrackerDelivery, InvalidProjectDeletesEveryPackageFileAndStopsSending) {
  StartService({"--settings", "collect_data=1&send_data=1", "--results", "10,0"});
  WriteSettings(L"collect_data=1");
  TTestTracker writer;
  WriteUtf8(JoinPath(DataFolder(), L"event-000101-000000-1-001.xml"), EventTextOfLength(writer, 60000, L"Stored"));
  StartTracker();
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"Invalid project");
  EXPECT_FALSE(Contains(FSent[0].Xml, L"Stored")) << "the large stored package did not join a package with events";
  FTracker->TrackEvent(TSSEvent(L"Later"));
  FClock->Advance(3700);
  Cycles(2);
  EXPECT_EQ(FSent.size(), 1u);
  FTracker->Finish(FTracker->AutoFinishTimeout());
  EXPECT_EQ(FSent.size(), 1u);
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"Later", L"app-finish"}));
}

TEST_F(TrackerDelivery, IpBlockedKeepsThePackageAndEndsDeliveryForTheRun) {
  StartService({"--settings", "collect_data=1&send_data=1", "--results", "20,0"});
  StartTracker();
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"IP is blocked");
  FClock->Advance(3700);
  Cycles(2);
  EXPECT_EQ(FSent.size(), 1u);
  EXPECT_EQ(StoredEventNames(), std::vector<std::wstring>{L"app-start"});
}

TEST_F(TrackerDelivery, AnUnknownCodeKeepsThePackageForAnotherTry15SecondsLater) {
  StartService({"--settings", "collect_data=1&send_data=1", "--results", "99,0"});
  StartTracker();
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"Unknown error");
  FClock->Advance(10);
  Cycles(2);
  EXPECT_EQ(FSent.size(), 1u);
  FClock->Advance(6);
  ASSERT_TRUE(WaitForSent(2));
  EXPECT_EQ(FSent[1].Text, L"OK");
  EXPECT_TRUE(Contains(FSent[1].Xml, L"app-start"));
}

TEST_F(TrackerDelivery, AReplyThatIsNoNumberIsAServerErrorRetriedAfterAnHour) {
  StartService({"--settings", "collect_data=1&send_data=1", "--results", "abc,0"});
  StartTracker();
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"Internal server error");
  FClock->Advance(1800);
  Cycles(2);
  EXPECT_EQ(FSent.size(), 1u);
  FClock->Advance(1801);
  ASSERT_TRUE(WaitForSent(2));
  EXPECT_EQ(FSent[1].Text, L"OK");
}

TEST_F(TrackerDelivery, NoConnectionIsRetriedAfterAnHourAndAFinishDoesNotForceADelivery) {
  StartService({"--settings", "collect_data=1&send_data=1"});
  StartTracker();
  ASSERT_TRUE(WaitForSettings());
  FService->Stop();
  ::Sleep(1000);  // the stand-in has closed its port
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"No connection");
  FClock->Advance(1800);
  Cycles(2);
  EXPECT_EQ(FSent.size(), 1u);
  FClock->Advance(1801);
  ASSERT_TRUE(WaitForSent(2));
  EXPECT_EQ(FSent[1].Text, L"No connection");

  FTracker->Finish(1500);
  EXPECT_EQ(FSent.size(), 2u);
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"app-start", L"app-finish"}));
}

// A clock that moves a second at every reading: the settings of a new folder are due all the same. A Start
// and a Finish from a published event, or from a message handled while Finish waits, do nothing.
TEST_F(TrackerDelivery, OnAMovingClockSettingsAreFetchedAndNestedStartsAndFinishesDoNothing) {
  StartService({"--settings", "collect_data=1&send_data=1", "--send-delay", "1"});
  auto moving = std::make_shared<TFakeClock>(NowWholeSeconds() + 0.7 / kSecondsPerDay);
  int nestedCalls = 0;
  TimerAction = [&] { ++nestedCalls; FTracker->Finish(0); FTracker->Start(); };
  StartTracker(TStatProxySettings(), [&](TTestTracker& tracker) {
    TStatEnvironment environment = tracker.Environment();
    environment.Now = [moving] { moving->Advance(1); return moving->Now(); };
    tracker.SetEnvironment(environment);
    tracker.OnGetTrackerSettings = [](TSoftwareStatisticsTracker*, const std::wstring&) { TimerAction(); };
  });
  ASSERT_TRUE(WaitUntil([&] { return nestedCalls == 1; }, 10000)) << "no settings request";
  ::SetTimer(nullptr, 0, 300, &RunTimerAction);  // while the finish waits for the last delivery
  FTracker->Finish(10000);
  EXPECT_EQ(nestedCalls, 2);
  EXPECT_FALSE(FTracker->Running());
  EXPECT_EQ(FService->DeliveredEvents().size() + StoredEventNames().size(), 2u) << "one app-start, one app-finish";
}

// Closing the wizard finishes the tracker; the close must not hang on a statistics request.
TEST_F(TrackerDelivery, FinishEndsAHangingSettingsRequestAndKeepsTheEvents) {
  StartService({"--settings-delay", "60"});
  WriteSettings(L"collect_data=1");
  StartTracker();
  ASSERT_TRUE(WaitUntil([this] { return FService->SettingsRequests() == 1; }, 10000));
  FTracker->TrackEvent(TSSEvent(L"Installation", L"OverallTime", 42));
  const DWORD start = ::GetTickCount();
  FTracker->Finish(FTracker->AutoFinishTimeout());
  EXPECT_LT(::GetTickCount() - start, 5000u);
  EXPECT_EQ(FSettingsTexts, std::vector<std::wstring>{L"HTTP error"});
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"app-start", L"Installation", L"app-finish"}));
  EXPECT_TRUE(ListFiles(DataFolder(), L"proc-*").empty());
}

TEST_F(TrackerDelivery, FinishEndsAHangingDeliveryAndKeepsThePackage) {
  StartService({"--settings", "collect_data=1&send_data=1", "--send-delay", "60"});
  StartTracker();
  FClock->Advance(3);
  ASSERT_TRUE(WaitUntil([this] { return FService->Deliveries() == 1; }, 10000));
  const DWORD start = ::GetTickCount();
  FTracker->Finish(FTracker->AutoFinishTimeout());
  EXPECT_LT(::GetTickCount() - start, 5000u);
  ASSERT_EQ(FSent.size(), 1u);
  EXPECT_EQ(FSent[0].Text, L"HTTP error");
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"app-start", L"app-finish"}));
}

namespace {
// A request whose network call its abort does not end (proxy discovery, a stalled TLS handshake): it
// returns only when the test lets it go.
class TStuckRequest : public TStatHttpRequest {
public:
  TStatHttpResult Execute(const std::wstring&, const TStatProxySettings&, TStatBytes& response,
                          const TStatBytes&) override {
    response.clear();
    ++Calls;
    ::WaitForSingleObject(Release, 60000);
    return hrNoConnection;
  }
  void Cancel() override {}
  static std::unique_ptr<TStatHttpRequest> Create() { return std::make_unique<TStuckRequest>(); }
  static inline HANDLE Release = nullptr;  // the test's event, for the length of the test
  static inline std::atomic<int> Calls{0};
};
}  // namespace

// The close stays bounded when the thread does not end: it is left behind, the run's events go to disk
// beside it and the marker goes, so that the next run delivers everything once and reports no failure.
TEST_F(TrackerDelivery, AThreadHeldPastItsAbortIsLeftBehindAndTheRunsEventsAreOnDisk) {
  StartService({"--settings", "collect_data=1&send_data=1"});
  WriteSettings(L"collect_data=1");
  THandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  TStuckRequest::Release = release.Get();
  TStuckRequest::Calls = 0;
  StartTracker(TStatProxySettings(), [](TTestTracker& tracker) { tracker.UseHttpRequest(&TStuckRequest::Create); });
  ASSERT_TRUE(WaitUntil([] { return TStuckRequest::Calls == 1; }, 10000)) << "no settings request";
  FTracker->TrackEvent(TSSEvent(L"Installation", L"OverallTime", 42));
  const DWORD start = ::GetTickCount();
  FTracker->Finish(1000, 1000);
  EXPECT_LT(::GetTickCount() - start, 15000u) << "the close waited for the stuck thread";
  EXPECT_FALSE(FTracker->Running());
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"app-start", L"Installation", L"app-finish"}));
  EXPECT_TRUE(ListFiles(DataFolder(), L"proc-*").empty()) << "a closed run is no failure";

  // The left thread ends once its call returns, adding nothing; the next run delivers the events once.
  ::SetEvent(release.Get());
  FTracker.reset();
  EXPECT_EQ(StoredEventNames(), (std::vector<std::wstring>{L"app-start", L"Installation", L"app-finish"}));
  StartTracker();
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  FTracker->Finish(FTracker->AutoFinishTimeout());
  std::vector<std::string> delivered = FService->DeliveredEvents();
  std::multiset<std::string> names;
  for (const std::string& line : delivered) names.insert(line.substr(line.rfind('\t') + 1));
  EXPECT_EQ(names.count("Installation"), 1u);
  EXPECT_EQ(names.count("app-start"), 2u);
  EXPECT_EQ(names.count("app-failure"), 0u);
  TStuckRequest::Release = nullptr;
}

TEST_F(TrackerDelivery, AProxyDemandingCredentialsIsReportedWithTheSystemsProxyList) {
  StartService({});
  TPeerProcess proxy("stat_proxy.py", {"--auth", "joe:secret"});
  ASSERT_TRUE(proxy.Started());
  TStatProxySettings settings;
  settings.AutoDetectProxy = false;
  settings.Address = L"127.0.0.1";
  settings.Port = proxy.Port();
  std::vector<std::wstring> reported;
  StartTracker(settings, [&](TTestTracker& tracker) {
    tracker.OnProxyAuthenticationRequired = [&](TSoftwareStatisticsTracker*, const std::wstring& list) {
      reported.push_back(list);
    };
  });
  ASSERT_TRUE(WaitForSettings());
  EXPECT_EQ(FSettingsTexts, std::vector<std::wstring>{L"Proxy authentication required"});
  EXPECT_EQ(reported, std::vector<std::wstring>{StatHttp::GetSystemProxy()});
  EXPECT_EQ(FService->SettingsRequests(), 0u);
}

TEST_F(TrackerDelivery, AnUnresolvableProxyNameIsReported) {
  StartService({});
  TStatProxySettings settings;
  settings.AutoDetectProxy = false;
  settings.Address = L"proxy..invalid";
  settings.Port = 8080;
  int reported = 0;
  StartTracker(settings, [&](TTestTracker& tracker) {
    tracker.OnProxyNameResolutionFailure = [&](TSoftwareStatisticsTracker*, const std::wstring&) { ++reported; };
  });
  ASSERT_TRUE(WaitForSettings());
  EXPECT_EQ(FSettingsTexts, std::vector<std::wstring>{L"Proxy Name resolution failure"});
  EXPECT_EQ(reported, 1);
}

TEST_F(TrackerDelivery, StatisticsTravelThroughAProxyWithCredentials) {
  StartService({"--settings", "collect_data=1&send_data=1"});
  TPeerProcess proxy("stat_proxy.py", {"--auth", "CORP\\joe:pw"});
  ASSERT_TRUE(proxy.Started());
  TStatProxySettings settings;
  settings.AutoDetectProxy = false;
  settings.Address = L"127.0.0.1";
  settings.Port = proxy.Port();
  settings.Domain = L"CORP";
  settings.UserName = L"joe";
  settings.Password = L"pw";
  StartTracker(settings);
  ASSERT_TRUE(WaitForSettings());
  EXPECT_EQ(FSettingsTexts, std::vector<std::wstring>{L"OK"});
  FClock->Advance(3);
  ASSERT_TRUE(WaitForSent(1));
  EXPECT_EQ(FSent[0].Text, L"OK");
  EXPECT_EQ(FService->Deliveries(), 1u);
  for (const TRecordedRequest& request : RecordedRequests(proxy)) {
    if (request.ProxyAuthorization.empty()) continue;
    EXPECT_EQ(request.ProxyAuthorization, "Basic " + Base64("CORP\\joe:pw"));
  }
}

TEST_F(TrackerDelivery, AnErrorOnTheSendingThreadIsReportedOnceAndEndsOnlyTheThread) {
  StartService({"--settings", "collect_data=1"});
  std::vector<std::wstring> errors;
  DWORD reportedOn = 0;
  StartTracker(TStatProxySettings(), [&](TTestTracker& tracker) {
    tracker.UseXmlWriter(&TGuiOnlyWriter::Create);
    tracker.OnException = [&](TSoftwareStatisticsTracker*, const Exception& error) {
      errors.push_back(error.Message());
      reportedOn = ::GetCurrentThreadId();
    };
  });
  ASSERT_TRUE(WaitForSettings());
  FClock->Advance(61);  // the marker update writes XML on the thread
  ASSERT_TRUE(WaitUntil([&] { return !errors.empty(); }, 5000));
  Cycles(2);
  EXPECT_EQ(errors, std::vector<std::wstring>{L"writer broken on the thread"});
  EXPECT_EQ(reportedOn, ::GetCurrentThreadId());
  FTracker->TrackEvent(TSSEvent(L"AfterTheError"));
  EXPECT_GE(FTracker->QueuedCount(), 1u) << "events stay queued for a later run";
  FTracker->Start();  // takes in the package that the thread left, once
  FTracker->Finish(FTracker->AutoFinishTimeout());
  EXPECT_FALSE(FTracker->Running());
  std::set<std::wstring> ordinals;
  for (const TXmlElement& event : EventsInPackageFiles(DataFolder()))
    EXPECT_TRUE(ordinals.insert(event.Attribute(L"ord")).second) << "twice: " << WideToUtf8(event.Attribute(L"name"));
  EXPECT_EQ(ordinals.size(), 5u);  // two runs' app-start and app-finish, AfterTheError
}
