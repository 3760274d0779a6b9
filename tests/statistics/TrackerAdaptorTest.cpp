// The application's adaptor. Its search for the tracker happens once per process, so this executable
// holds only these tests, and the first one runs before anything else has used the adaptor.
#include <gtest/gtest.h>
#include "framework/Application.h"
#include "framework/Forms.h"
#include "statistics/uStatisticsTrackerUtils.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

// The adaptor's tracker for the length of a test.
class TMainForm {
public:
  TMainForm() : FForm(L"fmMain", L"Adaptor test") { Application->SetMainForm(&FForm); }
  ~TMainForm() { Application->SetMainForm(nullptr); }
  TForm& Form() { return FForm; }

private:
  TForm FForm;
};

}  // namespace

TEST(TrackerAdaptor, EventsBeforeTheMainFormExistsAreDroppedForTheWholeRun) {
  const std::int32_t before = NextEventOrdinal();
  TrackEventValue(L"Early", L"Begin", 1);
  EXPECT_EQ(NextEventOrdinal(), before + 1) << "a dropped event draws no number";

  TMainForm mainForm;
  TTestTracker tracker(&mainForm.Form());
  TrackEventText(L"Late", L"Result", L"OK");
  EXPECT_EQ(tracker.QueuedCount(), 0u) << "the search is not repeated";
}

// The first component of the tracker's type, whatever its name; other components before it do not count.
TEST(TrackerAdaptor, TheMainFormsFirstTrackerIsFoundByItsType) {
  TMainForm mainForm;
  TComponent other(L"SoftwareStatisticsTracker");  // the tracker's usual name, on another kind of component
  mainForm.Form().AddComponent(&other);
  TTestTracker tracker(&mainForm.Form(), L"RenamedTracker");
  TTestTracker stranger(&mainForm.Form());
  FindTracker(nullptr);
  TrackEventValue(L"RequestLicense", L"FullTime", 3);
  TrackEventText(L"RequestLicense", L"Result", L"");
  EXPECT_EQ(stranger.QueuedCount(), 0u);
  const std::vector<std::wstring> texts = tracker.QueuedTexts();
  ASSERT_EQ(texts.size(), 2u);
  const std::vector<TXmlElement> events = ParsePackageEvents(texts[0] + texts[1]);
  ASSERT_EQ(events.size(), 2u);
  ASSERT_EQ(events[0].Children.size(), 1u);
  EXPECT_EQ(events[0].Children[0].Attribute(L"name"), L"FullTime");
  EXPECT_EQ(events[0].Children[0].Attribute(L"type"), L"numeric");
  EXPECT_EQ(events[0].Children[0].Attribute(L"value"), L"3");
  EXPECT_TRUE(events[1].Children.empty()) << "an empty text leaves no parameter in the XML";
  EXPECT_EQ(events[1].Attribute(L"name"), L"RequestLicense");
}

TEST(TrackerAdaptor, ATrackerThatIsGoneGetsNoFurtherEvents) {
  {
    TTestTracker tracker;
    FindTracker(&tracker);
    TrackEventValue(L"Downloading", L"Begin", 1);
    EXPECT_EQ(tracker.QueuedCount(), 1u);
  }
  const std::int32_t before = NextEventOrdinal();
  TrackEventValue(L"Downloading", L"End", 1);
  EXPECT_EQ(NextEventOrdinal(), before + 1);
}
