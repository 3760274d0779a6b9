// The whole run's parts, each alone and bare, in the order the wizard runs them:
//   signup    a bare WinINet POST of the sign-up form (the wizard's six fields) to the sign-up service
//   download  a bare WinINet read loop of the installer into a file
//   install   the installer run with "/VERYSILENT" and waited for, then the installed application
//             started and waited for
// Usage: bench_wholerun_parts <sign-up url> <installer url> <installer file> <application file>
// Prints one line: "signup_ms=<> download_ms=<> install_ms=<>".
#include <windows.h>
#include <cstdio>
#include <string>
#include "bench/support/BenchSupport.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "http/uWinInetUtils.h"
#include "signup/uSignUp.h"

namespace {
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

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

int Fail(const char* part, const std::wstring& text) {
  std::fprintf(stderr, "%s failed: %ls\n", part, text.c_str());
  return 1;
}
}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: bench_wholerun_parts <sign-up url> <installer url> <installer file> <application file>\n");
    return 2;
  }
  const std::wstring signUpUrl = argv[1], installerUrl = argv[2], installer = argv[3], application = argv[4];
  std::wstring errorText;

  double start = NowMs();
  const std::wstring body = EncodeFormFields(BuildSignUpFields(L"Anna", L"Schmidt", L"anna.schmidt@example.com"));
  std::string reply;
  if (!PostBare(signUpUrl, WideToUtf8(body), reply, errorText)) return Fail("signup", errorText);
  const double signUpMs = NowMs() - start;

  start = NowMs();
  if (!DownloadBare(installerUrl, installer, errorText)) return Fail("download", errorText);
  const double downloadMs = NowMs() - start;

  start = NowMs();
  if (!RunAndWait(Quoted(installer) + L" /VERYSILENT")) return Fail("install", L"the installer failed");
  if (!RunAndWait(Quoted(application))) return Fail("install", L"the application did not start");
  const double installMs = NowMs() - start;

  std::printf("signup_ms=%.0f download_ms=%.0f install_ms=%.0f\n", signUpMs, downloadMs, installMs);
  return 0;
}
