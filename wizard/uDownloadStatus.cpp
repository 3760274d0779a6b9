#include "wizard/uDownloadStatus.h"
#include "framework/Strings.h"
#include "wizard/uStringRes.h"

namespace {
constexpr long long kKB = 1024;
constexpr long long kMB = 1024 * 1024;
constexpr DWORD kFirstTextMs = 1000;
// Reports come about once a second; shorter spans (the last report, the end of a wait) are too
// noisy to tell a rate.
constexpr DWORD kMinSampleMs = 500;
// Weight of the newest sample: the estimate follows a changed pace within a few seconds without
// jumping with every report.
constexpr double kSmoothing = 0.3;

std::wstring CountText(long long count, unsigned one, unsigned many) {
  return count == 1 ? LoadStr(one) : FormatText(LoadStr(many), {IntToStr(count)});
}
}  // namespace

std::wstring SizeText(long long bytes) {
  if (bytes < 0) bytes = 0;
  const long long kilobytes = (bytes + kKB - 1) / kKB;  // a byte or more never reads as 0 KB
  if (kilobytes < kKB) return FormatText(LoadStr(sSizeKB), {IntToStr(kilobytes)});
  const long long tenths = (bytes * 10 + kMB / 2) / kMB;
  return FormatText(LoadStr(sSizeMB), {IntToStr(tenths / 10) + L"." + IntToStr(tenths % 10)});
}

std::wstring TimeLeftText(long long seconds) {
  const long long minutes = (seconds + 30) / 60;
  if (seconds < 60) return CountText(seconds < 1 ? 1 : seconds, sOneSecond, sSeconds);
  if (minutes < 60) return CountText(minutes, sOneMinute, sMinutes);
  return CountText((seconds + 1800) / 3600, sOneHour, sHours);
}

void TDownloadStatus::Start(DWORD tick) {
  *this = TDownloadStatus();
  FStartTick = FTick = FSampleTick = tick;
}

void TDownloadStatus::Report(DWORD tick, long long position, long long max, bool waiting) {
  if (position < 0) return;  // the last report of a download of unknown length tells nothing new
  const bool resumed = FWaiting && !waiting;
  FTick = tick;
  FMax = max;
  FWaiting = waiting;
  if (waiting || resumed || position < FSamplePosition) {
    // The pause, or a file that starts over, must not count as a slow transfer.
    FSampleTick = tick;
    FSamplePosition = position;
  } else if (tick - FSampleTick >= kMinSampleMs) {
    const double sample = static_cast<double>(position - FSamplePosition) / (tick - FSampleTick);
    FRate = FRate > 0 ? kSmoothing * sample + (1 - kSmoothing) * FRate : sample;
    FSampleTick = tick;
    FSamplePosition = position;
  }
  FPosition = position;
}

std::wstring TDownloadStatus::Text() const {
  if (FTick - FStartTick < kFirstTextMs) return std::wstring();
  if (FMax < 0) return SizeText(FPosition);
  const std::wstring amount = FormatText(LoadStr(sAmountOfTotal), {SizeText(FPosition), SizeText(FMax)});
  if (FWaiting || FRate <= 0 || FPosition >= FMax) return amount;
  const long long secondsLeft = static_cast<long long>((FMax - FPosition) / FRate / 1000 + 0.999);
  return FormatText(LoadStr(sAmountAndTimeLeft), {amount, TimeLeftText(secondsLeft)});
}
