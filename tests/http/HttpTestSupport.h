#pragma once
// Shared pieces of the HTTP tests: the stand-ins, the generated content, progress records.
#include <gtest/gtest.h>
#include <windows.h>
#include <memory>
#include <string>
#include <vector>
#include "framework/Strings.h"
#include "http/uWinInetRequest.h"
#include "tests/peers/PeerProcess.h"

// Byte i of a file of the file server's /gen/ folder is i % 256.
inline bool IsGeneratedContent(const std::string& data, size_t size) {
  if (data.size() != size) return false;
  for (size_t i = 0; i < size; ++i)
    if (static_cast<unsigned char>(data[i]) != i % 256) return false;
  return true;
}

struct TProgressReport {
  int32_t Max;
  int32_t Position;
  DWORD Tick;
  DWORD Thread;
};

// Collects every report the caller hears of.
class TProgressLog {
public:
  THttpProgressEvent Handler() {
    return [this](THttpRequest*, int32_t max, int32_t position) {
      Reports.push_back({max, position, ::GetTickCount(), ::GetCurrentThreadId()});
    };
  }
  std::vector<TProgressReport> Reports;
};

// One file server per test suite (plain HTTP); its address for a path.
class TFileServer {
public:
  static TPeerProcess& Peer() {
    static TPeerProcess peer("file_server.py", {});
    return peer;
  }
  static std::wstring Url(const std::string& path) { return Utf8ToWide(Peer().BaseUrl("http") + path); }
};

// Retries as a download makes them, without the long waits.
constexpr TRetryPolicy kQuickRetries{4, 20, 1500, 60000};

// A file server of one test's own (its fault counters start afresh), logging every answer.
struct TServedFileServer {
  std::string Log = UniqueTestFile("served");
  TPeerProcess Peer{"file_server.py", {"--served", Log}};
  std::wstring Url(const std::string& path) const { return Utf8ToWide(Peer.BaseUrl("http") + path); }
  // Status and requested Range ("-": none) of each answer, once count are logged (an answer is logged
  // when it has been sent), at most 3 s later.
  std::vector<std::string> Answers(size_t count) const {
    std::vector<std::string> answers;
    for (int waited = 0; answers.size() < count && waited <= 3000; waited += 50, ::Sleep(50)) {
      answers.clear();
      const std::string log = ReadLinuxFile(Log);
      for (size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        answers.push_back(log.substr(start, log.rfind('\t', end) - start));
    }
    return answers;
  }
};

// The fields of one line the stand-ins record: method, path, content type, proxy authorization, body.
inline std::vector<std::string> RecordFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}
