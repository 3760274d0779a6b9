#include "bench/support/BenchSupport.h"
#include <psapi.h>
#include <vector>
#include "framework/Handles.h"
#include "http/uWinInetUtils.h"

namespace {
constexpr DWORD kChunk = 16384;

struct TBareRequest {
  TInternetHandle Session, Connection, Request;
};

// Opens session, connection and request and sends the body; false with the error text on failure.
bool SendBare(const std::wstring& url, const std::string& body, TBareRequest& exchange, std::wstring& errorText) {
  const TUrlParts parts = SplitUrl(url);
  const bool secure = IsSecureUrl(url);
  exchange.Session.Reset(::InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  exchange.Connection.Reset(::InternetConnectW(exchange.Session.Get(), parts.Host.c_str(), ConnectPort(parts, secure),
                                               nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  const wchar_t* path = parts.Path.empty() ? nullptr : parts.Path.c_str();
  exchange.Request.Reset(::HttpOpenRequestW(exchange.Connection.Get(), L"POST", path, nullptr, nullptr, nullptr,
                                            RequestFlags(secure), 0));
  static const wchar_t kHeader[] = L"Content-Type: application/x-www-form-urlencoded";
  if (!exchange.Request ||
      !::HttpAddRequestHeadersW(exchange.Request.Get(), kHeader, static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD) ||
      !::HttpSendRequestW(exchange.Request.Get(), nullptr, 0, body.empty() ? nullptr : const_cast<char*>(body.data()),
                          static_cast<DWORD>(body.size()))) {
    errorText = WinInetCodeMessage(::GetLastError());
    return false;
  }
  return true;
}
}  // namespace

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / frequency;
}

long long FileSize(const std::wstring& fileName) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(fileName.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PeakWorkingSetSize;
}

bool DownloadBare(const std::wstring& url, const std::wstring& fileName, std::wstring& errorText) {
  TBareRequest exchange;
  if (!SendBare(url, std::string(), exchange, errorText)) return false;
  TFileHandle file(
      ::CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    errorText = L"cannot create " + fileName;
    return false;
  }
  std::vector<char> buffer(kChunk);
  DWORD read = 0, written = 0;
  while (::InternetReadFile(exchange.Request.Get(), buffer.data(), kChunk, &read) && read > 0)
    ::WriteFile(file.Get(), buffer.data(), read, &written, nullptr);
  return true;
}

bool PostBare(const std::wstring& url, const std::string& body, std::string& reply, std::wstring& errorText) {
  TBareRequest exchange;
  if (!SendBare(url, body, exchange, errorText)) return false;
  std::vector<char> buffer(kChunk);
  DWORD read = 0;
  reply.clear();
  while (::InternetReadFile(exchange.Request.Get(), buffer.data(), kChunk, &read) && read > 0)
    reply.append(buffer.data(), read);
  return true;
}
