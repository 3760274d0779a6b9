#include "statistics/uStatisticsTrackerUtils.h"

void TrackEventValue(const std::wstring&, const std::wstring&, int) {}
void TrackEventText(const std::wstring&, const std::wstring&, const std::wstring&) {}
