// A proxy that asks for credentials (407): the request opens the system's credentials dialog on the
// worker thread; the test drives that dialog from the GUI thread while the blocking call waits.
#include "tests/http/HttpTestSupport.h"
#include "framework/Application.h"

namespace {
constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Points the system's Internet settings (which the request uses) at a proxy for the test's lifetime.
class TProxySetting {
public:
  explicit TProxySetting(const std::wstring& server) {
    ::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, FKey.Out(), nullptr);
    SetEnabled(1);
    ::RegSetValueExW(FKey.Get(), L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                     static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
  }
  ~TProxySetting() {
    SetEnabled(0);
    ::RegDeleteValueW(FKey.Get(), L"ProxyServer");
  }
  TProxySetting(const TProxySetting&) = delete;
  TProxySetting& operator=(const TProxySetting&) = delete;

private:
  void SetEnabled(DWORD enabled) {
    ::RegSetValueExW(FKey.Get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled), sizeof(enabled));
  }
  TRegKey FKey;
};

// A dialog of this process that another thread (the worker) shows.
HWND FindWorkerDialog() {
  struct TSearch {
    HWND Found = nullptr;
  } search;
  ::EnumWindows(
      [](HWND wnd, LPARAM param) -> BOOL {
        DWORD process = 0;
        DWORD thread = ::GetWindowThreadProcessId(wnd, &process);
        wchar_t className[32] = {};
        ::GetClassNameW(wnd, className, 32);
        if (process == ::GetCurrentProcessId() && thread != ::GetCurrentThreadId() &&
            std::wstring(className) == L"#32770" && ::IsWindowVisible(wnd)) {
          reinterpret_cast<TSearch*>(param)->Found = wnd;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

std::vector<HWND> EditsOf(HWND dialog) {
  std::vector<HWND> edits;
  ::EnumChildWindows(
      dialog,
      [](HWND child, LPARAM param) -> BOOL {
        wchar_t className[16] = {};
        ::GetClassNameW(child, className, 16);
        if (SameTextAscii(className, L"Edit")) reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&edits));
  return edits;
}

// Watches for the worker's dialog on the GUI thread and answers it once with the given action.
class TDialogWatcher {
public:
  explicit TDialogWatcher(std::function<void(HWND)> answer) : FAnswer(std::move(answer)) {
    Current = this;
    FTimer = ::SetTimer(nullptr, 0, 100, &TDialogWatcher::Poll);
  }
  ~TDialogWatcher() {
    ::KillTimer(nullptr, FTimer);
    Current = nullptr;
  }
  int Seen = 0;
  std::wstring Title;

private:
  static void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    TDialogWatcher* self = Current;
    if (!self) return;
    HWND dialog = FindWorkerDialog();
    if (!dialog || dialog == self->FLast) return;
    self->FLast = dialog;
    ++self->Seen;
    wchar_t title[128] = {};
    ::GetWindowTextW(dialog, title, 128);
    self->Title = title;
    self->FAnswer(dialog);
  }
  static inline TDialogWatcher* Current = nullptr;  // GUI thread only
  std::function<void(HWND)> FAnswer;
  UINT_PTR FTimer = 0;
  HWND FLast = nullptr;
};

const std::wstring kOrigin = L"http://tradeloom-origin.test/gen/2000";
}  // namespace

TEST(HttpCredentials, ProxyAskingForCredentialsOpensTheDialogAndCancelEndsWithTheStatusText) {
  TPeerProcess proxy("file_server.py", {"--proxy-auth", "joe:secret"});
  ASSERT_TRUE(proxy.Started());
  TProxySetting setting(L"127.0.0.1:" + std::to_wstring(proxy.Port()));
  TDialogWatcher watcher([](HWND dialog) { ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });
  std::wstring response = L"stale", errorText;
  HttpPostModal(kOrigin, L"a=1", nullptr, response, errorText);
  EXPECT_EQ(watcher.Seen, 1);
  EXPECT_FALSE(watcher.Title.empty());
  EXPECT_EQ(errorText, L"Proxy Authentication Required");
  EXPECT_EQ(response, L"");
  EXPECT_EQ(proxy.Recorded().size(), 1u);  // not sent again
}

TEST(HttpCredentials, ConfirmedCredentialsSendTheSameBodyAgain) {
  TPeerProcess proxy("file_server.py", {"--proxy-auth", "ann:pass2"});
  ASSERT_TRUE(proxy.Started());
  TProxySetting setting(L"127.0.0.1:" + std::to_wstring(proxy.Port()));
  TDialogWatcher watcher([](HWND dialog) {
    std::vector<HWND> edits = EditsOf(dialog);
    if (edits.size() >= 2) {
      ::SetWindowTextW(edits[0], L"ann");
      ::SetWindowTextW(edits[1], L"pass2");
    }
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  std::wstring response, errorText;
  HttpPostModal(kOrigin, L"tlfEmail=ann%40example.com", nullptr, response, errorText);
  EXPECT_EQ(watcher.Seen, 1);
  EXPECT_EQ(errorText, L"");
  EXPECT_EQ(response.size(), 2000u);
  auto recorded = proxy.Recorded();
  // Wine's library may make one more unauthenticated round itself before it answers the challenge.
  ASSERT_GE(recorded.size(), 2u);
  for (const auto& line : recorded) EXPECT_EQ(RecordFields(line).at(4), "tlfEmail=ann%40example.com");
  EXPECT_EQ(RecordFields(recorded.front()).at(3), "");
  EXPECT_EQ(RecordFields(recorded.back()).at(3), "Basic YW5uOnBhc3My");  // ann:pass2
}
