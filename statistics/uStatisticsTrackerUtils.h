#pragma once
// The wizard's way to record a statistics event. Until the tracker is part of the program the events
// go nowhere; the calls are made at their steps already.
#include <string>

void TrackEventValue(const std::wstring& eventName, const std::wstring& paramName, int value);
void TrackEventText(const std::wstring& eventName, const std::wstring& paramName, const std::wstring& value);
