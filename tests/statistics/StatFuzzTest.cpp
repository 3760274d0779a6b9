// Hostile input, randomised with a seeded generator: settings texts as the service or a damaged file may
// hold them, and event values through the XML writer. A failing case prints its seed and text.
#include <gtest/gtest.h>
#include <random>
#include "framework/Strings.h"
#include "tests/statistics/TrackerTestSupport.h"

namespace {

constexpr int kCases = 100000;
constexpr int kEventsPerDocument = 100;

// Pieces that settings texts and event values are made of: the syntax, the keys the tracker reads,
// blanks, control characters, XML's own characters, surrogates alone and in pairs, and any unit at all.
class THostileText {
public:
  explicit THostileText(std::uint32_t seed) : FRandom(seed) {}

  std::wstring Next() {
    static const wchar_t* const kPieces[] = {
        L"&", L"\"", L"\"\"", L"=", L" ", L"\t", L"\r\n", L"\x01", L"\0", L",", L"collect_data=", L"send_data=",
        L"error_code=", L"wait_timeout=", L"prev_conn_time=", L"1", L"0", L"-1", L"2147483648", L"true", L"<", L">",
        L"'", L"]]>", L"&amp;", L"\xFFFE", L"\xFFFF", L"\xD800", L"\xDC00", L"\xD83D\xDE00", L"\u00e9", L"x"};
    constexpr size_t kPieceCount = sizeof(kPieces) / sizeof(kPieces[0]);
    std::wstring text;
    const int pieces = static_cast<int>(FRandom() % 12);
    for (int i = 0; i < pieces; ++i) {
      const std::uint32_t pick = FRandom() % (kPieceCount + 4);
      if (pick < kPieceCount) {
        const wchar_t* piece = kPieces[pick];
        text += *piece == L'\0' && pick == 8 ? std::wstring(1, L'\0') : std::wstring(piece);
      } else {
        text += static_cast<wchar_t>(FRandom() % 0x10000);
      }
    }
    return text;
  }

private:
  std::mt19937 FRandom;
};

std::string Printable(const std::wstring& text) {
  std::string out;
  for (wchar_t ch : text) {
    if (ch >= 0x20 && ch < 0x7F) out += static_cast<char>(ch);
    else out += "\\u" + std::to_string(static_cast<unsigned>(ch));
  }
  return out;
}

}  // namespace

// Whatever the text, the stored form reads back as the same items, and the two keys that are never
// stored are gone from it.
TEST(HostileSettings, EveryTextRoundTripsThroughItsStoredForm) {
  THostileText generator(20261209);
  const TDateTime now = NowWholeSeconds();
  for (int i = 0; i < kCases; ++i) {
    const std::wstring text = generator.Next();
    TTrackerSettings first;
    first.Delimiter = L'&';
    ParseSettings(first, text);
    const std::wstring stored = SettingsToText(first, now);
    TTrackerSettings second;
    second.Delimiter = L'&';
    ParseSettings(second, stored);
    ASSERT_EQ(second.Items(), first.Items()) << "case " << i << ": " << Printable(text);
    ASSERT_EQ(second.ErrorCode, 0) << "case " << i << ": " << Printable(text);
    ASSERT_FALSE(second.SendData) << "case " << i << ": " << Printable(text);
    ASSERT_LE(SettingsWaitTimeout(second), kMaxWaitTimeoutSeconds);
    ASSERT_LE(SettingsPrevConnTime(second, now), now);
  }
}

// Every event, whatever its name, value and parameters, leaves a package that a real parser reads.
TEST(HostileEventValues, EveryPackageDocumentParses) {
  THostileText generator(1209);
  TTestTracker tracker;
  for (int document = 0; document < kCases / kEventsPerDocument; ++document) {
    std::wstring package;
    int events = 0;
    for (int i = 0; i < kEventsPerDocument; ++i) {
      TSoftwareStatisticsEvent event(generator.Next(), NowLocal());
      event.SetValue(generator.Next());
      event.AddTextParam(generator.Next(), generator.Next());
      event.AddParam(generator.Next(), generator.Next());
      package += tracker.EventToXml(event);
      ++events;
    }
    TXmlElement root;
    std::wstring error;
    ASSERT_TRUE(ParseXml(PackageDocument(package), root, error)) << "document " << document << ": "
                                                                 << WideToUtf8(error);
    ASSERT_EQ(root.Children.size(), static_cast<size_t>(events));
  }
}
