// The whole run's parts, each alone, in the order the wizard runs them, one way per run:
//   bare    the platform's own calls: a WinINet POST of the sign-up form, a WinINet read loop of the
//           installer into a file, the installer run with "/VERYSILENT" and waited for, then the
//           installed application started and waited for
//   wizard  the wizard's own calls for the same steps (the blocking calls that pump messages, the
//           installer's signature check and its worker thread), without the window, the slideshow and
//           the page changes
// Usage: bench_wholerun_parts bare|wizard <sign-up url> <installer url> <installer file> <application file>
// Prints one line: "<way> signup_ms=<> download_ms=<> install_ms=<>".
#include <windows.h>
#include <cstdio>
#include <memory>
#include <string>
#include "bench/support/BenchSupport.h"
#include "framework/Application.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "http/uWinInetRequest.h"
#include "install/uInstall.h"
#include "install/uInstallerSignature.h"
#include "signup/uSignUp.h"

namespace {
struct TParts {
  std::wstring SignUpUrl, InstallerUrl, Installer, Application;
  std::unique_ptr<TInstallerFile> Held;  // the wizard's way: the installer in its protected folder
};

TStrings SignUpFields() { return BuildSignUpFields(L"Anna", L"Schmidt", L"anna.schmidt@example.com"); }
std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

bool RunAndWait(std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  THandle process(pi.hProcess), thread(pi.hThread);
  ::WaitForSingleObject(process.Get(), INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(process.Get(), &code);
  return code == 0;
}

// Each step returns false with errorText set when it fails.
bool SignUp(bool wizardWay, TParts& parts, std::wstring& errorText) {
  if (wizardWay) {
    std::wstring text;
    if (PostSignUp(parts.SignUpUrl, SignUpFields(), nullptr, text)) errorText = text;
    return errorText.empty();
  }
  std::string reply;
  return PostBare(parts.SignUpUrl, WideToUtf8(EncodeFormFields(SignUpFields())), reply, errorText);
}

bool Download(bool wizardWay, TParts& parts, std::wstring& errorText) {
  if (!wizardWay) return DownloadBare(parts.InstallerUrl, parts.Installer, errorText);
  parts.Held = std::make_unique<TInstallerFile>();
  HttpDownloadToStreamModal(parts.InstallerUrl, *parts.Held, nullptr, errorText, nullptr);
  return errorText.empty();
}

bool Install(bool wizardWay, TParts& parts, std::wstring& errorText) {
  // The wizard seals and checks the installer's signature before it runs it; the bare way does not.
  if (wizardWay) {
    errorText = CheckInstallerModal(*parts.Held);
    if (!errorText.empty()) return false;
  }
  const bool installed = wizardWay ? RunInstallerModal(*parts.Held, errorText)
                                   : RunAndWait(Quoted(parts.Installer) + L" /VERYSILENT");
  if (!installed) {
    if (errorText.empty()) errorText = L"the installer failed";
    return false;
  }
  if (RunAndWait(Quoted(parts.Application))) return true;
  errorText = L"the application did not start";
  return false;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring way = argc == 6 ? argv[1] : L"";
  if (way != L"bare" && way != L"wizard") {
    std::fprintf(stderr, "usage: bench_wholerun_parts bare|wizard <sign-up url> <installer url> <installer file> "
                         "<application file>\n");
    return 2;
  }
  TApplication app;
  app.Initialize();
  const bool wizardWay = way == L"wizard";
  TParts parts{argv[2], argv[3], argv[4], argv[5], nullptr};
  const struct {
    const char* Name;
    bool (*Run)(bool, TParts&, std::wstring&);
  } steps[] = {{"signup", SignUp}, {"download", Download}, {"install", Install}};
  std::printf("%ls", way.c_str());
  for (const auto& step : steps) {
    std::wstring errorText;
    const double start = NowMs();
    if (!step.Run(wizardWay, parts, errorText)) {
      std::fprintf(stderr, "%s failed: %ls\n", step.Name, errorText.c_str());
      return 1;
    }
    std::printf(" %s_ms=%.0f", step.Name, NowMs() - start);
  }
  std::printf("\n");
  return 0;
}
