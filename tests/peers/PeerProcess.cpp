#include "tests/peers/PeerProcess.h"
#include "framework/Handles.h"
#include "framework/Strings.h"
#include <windows.h>
#include <atomic>
#include <cstdlib>

namespace {
constexpr int kStartTimeoutMs = 15000;
constexpr const char* kPeerTimeLimitSeconds = "240";

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

// The one process-wide counter of the helper: distinct file names for every peer and test file.
std::atomic<int> NextFileNumber{0};
}  // namespace

std::string TestOutDir() {
  std::string dir = Env("TL_TEST_OUT", "/tmp/tl-test-out");
  ::CreateDirectoryW(WindowsPath(dir).c_str(), nullptr);
  return dir;
}

std::wstring WindowsPath(const std::string& linuxPath) {
  std::wstring path = L"Z:" + Utf8ToWide(linuxPath);
  for (auto& ch : path)
    if (ch == L'/') ch = L'\\';
  return path;
}

std::string CertsDir() {
  std::string out = TestOutDir();
  return Env("TL_CERTS_DIR", (out.substr(0, out.find_last_of('/')) + "/certs").c_str());
}

std::string UniqueTestFile(const std::string& stem) {
  return TestOutDir() + "/" + stem + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
         std::to_string(++NextFileNumber);
}

std::string ReadLinuxFile(const std::string& linuxPath) {
  TFileHandle file(::CreateFileW(WindowsPath(linuxPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string content;
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) content.append(buffer, read);
  return content;
}

void WriteLinuxFile(const std::string& linuxPath, const std::string& content) {
  TFileHandle file(::CreateFileW(WindowsPath(linuxPath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (file) ::WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
}

TPeerProcess::TPeerProcess(const std::string& script, const std::vector<std::string>& arguments) {
  const std::string base = UniqueTestFile("peer");
  const std::string portFile = base + ".port";
  FStopFile = base + ".stop";
  FRecordFile = base + ".record";
  std::string command = "/usr/bin/python3 " + Env("TL_PEERS_DIR", "tests/peers") + "/" + script +
                        " --port 0 --port-file " + portFile + " --stop-file " + FStopFile + " --time-limit " +
                        kPeerTimeLimitSeconds + " --record " + FRecordFile;
  for (const auto& argument : arguments) command += " " + argument;
  std::wstring commandLine = Utf8ToWide(command);
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return;
  // Wine's handles for a Unix process cannot be waited on; only close them.
  THandle process(info.hProcess), thread(info.hThread);
  for (int waited = 0; waited < kStartTimeoutMs && FPort == 0; waited += 50) {
    std::string text = ReadLinuxFile(portFile);
    if (!text.empty()) FPort = std::atoi(text.c_str());
    else ::Sleep(50);
  }
}

TPeerProcess::~TPeerProcess() { WriteLinuxFile(FStopFile, "stop"); }

std::string TPeerProcess::BaseUrl(const std::string& scheme, const std::string& host) const {
  return scheme + "://" + host + ":" + std::to_string(FPort);
}

std::vector<std::string> TPeerProcess::Recorded() const {
  std::vector<std::string> lines;
  std::string content = ReadLinuxFile(FRecordFile);
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}
