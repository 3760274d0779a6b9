#pragma once
// The line under the download page's gauge: how much has arrived and about how long the rest takes,
// from a rate smoothed over the progress reports. The caller passes the tick count of each report.
#include <windows.h>
#include <string>

// "12.4 MB" (one decimal) from 1 MB on, "850 KB" below it.
std::wstring SizeText(long long bytes);
// "1 minute": seconds below a minute, minutes below an hour, hours beyond.
std::wstring TimeLeftText(long long seconds);

class TDownloadStatus {
public:
  void Start(DWORD tick);
  // One progress report; max is -1 when the length is unknown. While waiting before a retry the
  // transfer stands still, which says nothing about its rate.
  void Report(DWORD tick, long long position, long long max, bool waiting);
  // The amount, with the time left when it can be told; empty before the first second.
  std::wstring Text() const;

private:
  DWORD FStartTick = 0;
  DWORD FTick = 0;  // of the last report
  long long FPosition = 0;
  long long FMax = -1;
  bool FWaiting = false;
  DWORD FSampleTick = 0;  // where the next rate sample starts
  long long FSamplePosition = 0;
  double FRate = 0;  // bytes per millisecond, smoothed; 0 while unknown
};
