#include "tests/statistics/StatPeerSupport.h"

namespace {

std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    if (end > start) lines.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Unescape(const std::string& text) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      result += text[i];
      continue;
    }
    const char next = text[++i];
    result += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
  }
  return result;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace

std::vector<TRecordedRequest> RecordedRequests(const TPeerProcess& peer) {
  std::vector<TRecordedRequest> requests;
  for (const std::string& line : Lines(ReadLinuxFile(peer.RecordFile()))) {
    std::vector<std::string> fields = Fields(line);
    fields.resize(5);
    requests.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
  }
  return requests;
}

TStatService::TStatService(std::vector<std::string> arguments)
    : FPackagesFile(UniqueTestFile("stat-packages")), FEventsFile(UniqueTestFile("stat-events")) {
  arguments.push_back("--packages");
  arguments.push_back(FPackagesFile);
  arguments.push_back("--events");
  arguments.push_back(FEventsFile);
  FPeer = std::make_unique<TPeerProcess>("stat_service.py", arguments);
}

size_t TStatService::SettingsRequests() const {
  size_t count = 0;
  for (const TRecordedRequest& request : Requests()) count += request.Path.rfind("/get_settings.php", 0) == 0;
  return count;
}

size_t TStatService::Deliveries() const { return Verdicts().size(); }

std::vector<std::string> TStatService::Verdicts() const { return Lines(ReadLinuxFile(FPackagesFile)); }

std::vector<std::string> TStatService::DeliveredEvents() const { return Lines(ReadLinuxFile(FEventsFile)); }

std::string Base64(const std::string& text) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < text.size(); i += 3) {
    unsigned value = static_cast<unsigned char>(text[i]) << 16;
    if (i + 1 < text.size()) value |= static_cast<unsigned char>(text[i + 1]) << 8;
    if (i + 2 < text.size()) value |= static_cast<unsigned char>(text[i + 2]);
    out += kDigits[(value >> 18) & 63];
    out += kDigits[(value >> 12) & 63];
    out += i + 1 < text.size() ? kDigits[(value >> 6) & 63] : '=';
    out += i + 2 < text.size() ? kDigits[value & 63] : '=';
  }
  return out;
}
