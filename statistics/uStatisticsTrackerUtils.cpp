#include "statistics/uStatisticsTrackerUtils.h"
#include "framework/Application.h"

namespace {

// Written by the first adaptor call, cleared when the tracker goes; the application records its events
// on the GUI thread.
TSoftwareStatisticsTracker* GlobalTracker = nullptr;  // not owned
bool TrackerSearched = false;

// The tracker to record to, or none; the event is made only when there is one.
TSoftwareStatisticsTracker* CurrentTracker() {
  if (!TrackerSearched) FindTracker(nullptr);
  return GlobalTracker;
}

void ForgetTracker(const TSoftwareStatisticsTracker* tracker) {
  if (GlobalTracker == tracker) GlobalTracker = nullptr;
}

}  // namespace

TSSEvent::TSSEvent(std::wstring name) : TSoftwareStatisticsEvent(std::move(name), NowLocal()) {}

TSSEvent::TSSEvent(std::wstring name, std::wstring paramName, std::wstring text) : TSSEvent(std::move(name)) {
  AddTextParam(std::move(paramName), std::move(text));
}

TSSEvent::TSSEvent(std::wstring name, std::wstring paramName, std::int32_t value) : TSSEvent(std::move(name)) {
  AddNumericParam(std::move(paramName), value);
}

void TrackEventValue(const std::wstring& eventName, const std::wstring& paramName, std::int32_t value) {
  if (TSoftwareStatisticsTracker* tracker = CurrentTracker())
    tracker->TrackEvent(std::make_unique<TSSEvent>(eventName, paramName, value));
}

void TrackEventText(const std::wstring& eventName, const std::wstring& paramName, const std::wstring& text) {
  if (TSoftwareStatisticsTracker* tracker = CurrentTracker())
    tracker->TrackEvent(std::make_unique<TSSEvent>(eventName, paramName, text));
}

void FindTracker(TSoftwareStatisticsTracker* tracker) {
  TrackerSearched = true;
  if (!tracker) {
    TForm* mainForm = Application ? Application->MainForm() : nullptr;
    if (!mainForm) return;
    // The first tracker the form owns, whatever its name.
    for (TComponent* component : mainForm->Components())
      if ((tracker = dynamic_cast<TSoftwareStatisticsTracker*>(component))) break;
    if (!tracker) return;
  }
  GlobalTracker = tracker;
  tracker->OnDestroy = ForgetTracker;
}
