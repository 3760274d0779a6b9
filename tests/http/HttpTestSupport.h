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
