#pragma once
// The statistics service and proxy stand-ins (tests/peers/stat_service.py, stat_proxy.py) seen from
// the tests: start them on free ports, read what they recorded.
#include <memory>
#include <string>
#include <vector>
#include "tests/peers/PeerProcess.h"

// One request as a stand-in recorded it.
struct TRecordedRequest {
  std::string Method;
  std::string Path;
  std::string ContentType;
  std::string ProxyAuthorization;
  std::string Body;
};
std::vector<TRecordedRequest> RecordedRequests(const TPeerProcess& peer);

// The statistics service stand-in with its verdict file: one line per delivered package.
class TStatService {
public:
  explicit TStatService(std::vector<std::string> arguments = {});
  bool Started() const { return FPeer && FPeer->Started(); }
  int Port() const { return FPeer->Port(); }
  std::wstring Host() const { return L"127.0.0.1:" + std::to_wstring(Port()); }
  std::wstring Url(const std::wstring& path) const { return L"http://" + Host() + path; }
  std::vector<TRecordedRequest> Requests() const { return RecordedRequests(*FPeer); }
  size_t SettingsRequests() const;
  size_t Deliveries() const;
  // "valid<TAB>count<TAB>names" or "invalid<TAB>reason", one per delivery.
  std::vector<std::string> Verdicts() const;
  // "execution<TAB>ord<TAB>name", one per event of every valid delivered package.
  std::vector<std::string> DeliveredEvents() const;
  // Stops the stand-in; its port is closed shortly after.
  void Stop() { FPeer.reset(); }

private:
  std::string FPackagesFile;
  std::string FEventsFile;
  std::unique_ptr<TPeerProcess> FPeer;
};

std::string Base64(const std::string& text);
