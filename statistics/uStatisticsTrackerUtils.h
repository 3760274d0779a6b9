#pragma once
// The application's way of recording statistics events: one call per event, with one parameter,
// handed to the tracker that the main form owns.
#include <cstdint>
#include <string>
#include "statistics/StatMgr.h"

// An event of the application: its name and at most one parameter, made at the current local time.
class TSSEvent : public TSoftwareStatisticsEvent {
public:
  explicit TSSEvent(std::wstring name);
  TSSEvent(std::wstring name, std::wstring paramName, std::wstring text);
  TSSEvent(std::wstring name, std::wstring paramName, std::int32_t value);
};

// Record one event with a numeric or a text parameter. The tracker is looked up once, at the first
// call: the component named "SoftwareStatisticsTracker" of the application's main form. Events
// recorded before the main form exists, or when it owns no tracker, are dropped for the whole run.
void TrackEventValue(const std::wstring& eventName, const std::wstring& paramName, std::int32_t value);
void TrackEventText(const std::wstring& eventName, const std::wstring& paramName, const std::wstring& text);
// Sets the tracker of the two functions above; with none, searches the main form's components. A
// tracker that goes away (its OnDestroy, which this sets) gets no later event.
void FindTracker(TSoftwareStatisticsTracker* tracker);
