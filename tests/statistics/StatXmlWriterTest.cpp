#include <gtest/gtest.h>
#include "framework/Strings.h"
#include "statistics/StatXmlWriter.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

// An event with a number of its own, so that expected texts can be written out in full.
class TNumberedEvent : public TSoftwareStatisticsEvent {
public:
  TNumberedEvent(std::wstring name, std::int32_t ordinal) : TSoftwareStatisticsEvent(std::move(name), Time(), ordinal) {}
  static TDateTime Time() {
    SYSTEMTIME t{};
    t.wYear = 2011; t.wMonth = 9; t.wDay = 9; t.wHour = 16; t.wMinute = 23; t.wSecond = 13; t.wMilliseconds = 480;
    return SystemTimeToDateTime(t);
  }
};

constexpr wchar_t kHead[] = L"<event name=\"RequestLicense\" dt=\"2011-09-09T16:23:13\" ord=\"7\" installation=\"\" execution=\"\"";

}  // namespace

TEST(StatXmlWriter, NestsElementsOnLinesOfTheirOwnAndClosesChildlessOnesInTheTag) {
  TStatXmlWriterImpl writer;
  writer.StartElement(L"a");
  writer.WriteAttribute(L"x", L"1");
  writer.StartElement(L"b");
  writer.EndElement(L"b");
  writer.EndElement(L"a");
  EXPECT_EQ(writer.GetText(), L"<a x=\"1\">\r\n<b/>\r\n</a>\r\n");
  EXPECT_EQ(writer.GetText(), writer.GetText());  // the pieces stay
}

TEST(StatXmlWriter, EscapesThePredefinedEntitiesAndWhitespaceThatParsersWouldFlatten) {
  EXPECT_EQ(EscapeXmlAttributeValue(L"a & b < c > d"), L"a &amp; b &lt; c &gt; d");
  EXPECT_EQ(EscapeXmlAttributeValue(L"say \"hi\" it's"), L"say &quot;hi&quot; it&apos;s");
  EXPECT_EQ(EscapeXmlAttributeValue(L"tab\tcr\rlf\n"), L"tab&#9;cr&#13;lf&#10;");
  EXPECT_EQ(EscapeXmlAttributeValue(L"\u00e9\u20ac"), L"\u00e9\u20ac");
}

TEST(StatXmlWriter, ALogWithLineBreaksAndTabsReadsBackUnchanged) {
  TTestTracker tracker;
  TSoftwareStatisticsEvent event(L"Install", NowLocal());
  const std::wstring log = L"line 1\r\n\tline 2\nline 3\r";
  event.AddTextParam(L"log", log);
  TXmlElement package;
  std::wstring error;
  ASSERT_TRUE(ParseXml(PackageDocument(tracker.EventToXml(event)), package, error)) << WideToUtf8(error);
  ASSERT_EQ(package.Children.size(), 1u);
  ASSERT_EQ(package.Children[0].Children.size(), 1u);
  EXPECT_EQ(package.Children[0].Children[0].Attribute(L"value"), log);
}

TEST(StatXmlWriter, CharactersXmlForbidsBecomeReplacementCharacters) {
  const std::wstring odd = std::wstring(L"a\x01" L"b\x0B\x1F") + L'\xFFFE' + L'\xFFFF' + L"c" + L'\xDC00' + L"d" +
                           L'\xD83D' + L'\xDE00' + L"e" + L'\xD800';
  const std::wstring expected = std::wstring(L"a\xFFFD" L"b\xFFFD\xFFFD\xFFFD\xFFFD" L"c\xFFFD" L"d") + L'\xD83D' +
                                L'\xDE00' + L"e\xFFFD";
  EXPECT_EQ(EscapeXmlAttributeValue(odd), expected);
  EXPECT_EQ(EscapeXmlAttributeValue(std::wstring(1, L'\0')), L"\xFFFD");
}

TEST(StatXmlWriter, AnOddValueNoLongerSpoilsTheWholePackage) {
  TTestTracker tracker;
  TNumberedEvent odd(L"Odd", 3);
  odd.AddTextParam(L"processor-name", std::wstring(L"Intel\x01(R)") + L'\xD800');
  const std::wstring good = tracker.EventToXml(TNumberedEvent(L"Good", 4));
  const std::wstring package = good + tracker.EventToXml(odd) + good;
  const std::vector<TXmlElement> events = ParsePackageEvents(package);
  ASSERT_EQ(events.size(), 3u);
  ASSERT_EQ(events[1].Children.size(), 1u);
  EXPECT_EQ(events[1].Children[0].Attribute(L"value"), L"Intel\xFFFD(R)\xFFFD");

  // Written as it came, the same value makes the document unreadable for the service.
  TXmlElement root;
  std::wstring error;
  EXPECT_FALSE(ParseXml(PackageDocument(good + L"<event name=\"Odd\" value=\"Intel\x01(R)\"/>\r\n"), root, error));
}

TEST(EventXml, AnEventWithParametersTakesOneLinePerParameter) {
  TTestTracker tracker;
  TNumberedEvent event(L"RequestLicense", 7);
  event.AddNumericParam(L"FullTime", 3);
  event.AddTextParam(L"Result", L"a & b < c > d");
  event.AddParam(L"os-name", L"Windows 10");
  EXPECT_EQ(tracker.EventToXml(event),
            std::wstring(kHead) + L">\r\n<param name=\"FullTime\" type=\"numeric\" value=\"3\"/>\r\n"
                                  L"<param name=\"Result\" type=\"text\" value=\"a &amp; b &lt; c &gt; d\"/>\r\n"
                                  L"<param name=\"os-name\" value=\"Windows 10\"/>\r\n</event>\r\n");
}

TEST(EventXml, ParametersWithoutValueOrNameAreLeftOutAndTheEventClosesInItsTag) {
  TTestTracker tracker;
  TNumberedEvent event(L"RequestLicense", 7);
  event.AddTextParam(L"Result", L"");
  event.AddParam(L"", L"nameless");
  EXPECT_EQ(event.ParamCount(), 2);
  EXPECT_EQ(tracker.EventToXml(event), std::wstring(kHead) + L"/>\r\n");
}

TEST(EventXml, TheValueAttributeComesLastAndOnlyWhenSet) {
  TTestTracker tracker;
  TNumberedEvent event(L"RequestLicense", 7);
  event.SetValue(L"00:01:15");
  EXPECT_EQ(tracker.EventToXml(event), std::wstring(kHead) + L" value=\"00:01:15\"/>\r\n");
}

TEST(EventXml, PackageDocumentHasTheHeaderAndNoLineBreakAfterTheEndTag) {
  const std::wstring header = L"<?xml version=\"1.0\" encoding=\"utf-8\"?><package tracker=\"1.0.0.1\">";
  EXPECT_EQ(header.size(), 65u);
  EXPECT_EQ(PackageDocument(L"<event/>\r\n"), header + L"\r\n<event/>\r\n</package>");
  EXPECT_EQ(PackageDocument(L""), header + L"\r\n</package>");
  TXmlElement root;
  std::wstring error;
  EXPECT_TRUE(ParseXml(PackageDocument(L""), root, error)) << WideToUtf8(error);
}
