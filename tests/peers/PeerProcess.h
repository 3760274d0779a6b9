#pragma once
// Starts a loopback stand-in (tests/peers/*.py) from a test running under Wine, learns its port and
// stops it again. See peerlib.py for why the stand-in ends itself (stop file, time limit).
#include <string>
#include <vector>

// Folder for a test's files, as a Linux path (TL_TEST_OUT) and as the same folder seen from Windows.
std::string TestOutDir();
std::wstring WindowsPath(const std::string& linuxPath);
// The test certificates made by scripts/make-certs.sh (Linux path of <build>/certs).
std::string CertsDir();

class TPeerProcess {
public:
  // script: file name in tests/peers; arguments without blanks or quotes.
  TPeerProcess(const std::string& script, const std::vector<std::string>& arguments);
  ~TPeerProcess();  // asks the stand-in to stop
  TPeerProcess(const TPeerProcess&) = delete;
  TPeerProcess& operator=(const TPeerProcess&) = delete;

  int Port() const { return FPort; }
  bool Started() const { return FPort > 0; }
  std::string BaseUrl(const std::string& scheme, const std::string& host = "localhost") const;
  // The requests the stand-in recorded (one tab-separated line each), when started with Record().
  std::vector<std::string> Recorded() const;
  const std::string& RecordFile() const { return FRecordFile; }

private:
  std::string FStopFile;
  std::string FRecordFile;
  int FPort = 0;
};

// Reads a whole file given by its Linux path; empty when it does not exist.
std::string ReadLinuxFile(const std::string& linuxPath);
void WriteLinuxFile(const std::string& linuxPath, const std::string& content);
// A new unique file name in the test folder (Linux path).
std::string UniqueTestFile(const std::string& stem);
