#include <gtest/gtest.h>
#include "statistics/StatUtils.h"
#include <cwctype>
#include <memory>
#include <new>
#include <regex>

namespace {

bool IsGroupedDigest(const std::wstring& text) {
  return std::regex_match(text, std::wregex(L"([0-9A-F]{4}-){9}[0-9A-F]{4}"));
}

}  // namespace

TEST(MachineId, DescriptionHasNoBreakBetweenKeyAndProcessor) {
  EXPECT_EQ(ComposeMachineDescription(L"KEY-1", L"cpu", L"bios", L"board"),
            L"ProductID >> KEY-1CPU >> cpu\nBIOS >> bios\nBASE >> board");
  EXPECT_EQ(ComposeMachineDescription(L"", L"", L"", L""), L"ProductID >> CPU >> \nBIOS >> \nBASE >> ");
}

TEST(MachineId, IsAGroupedDigestOrEmptyAndNeverRaises) {
  std::wstring id;
  ASSERT_NO_THROW(id = ComputeMachineInstallationId(L"tradeloom-test-key"));
  if (id.empty()) {
    // Only acceptable where the platform's WMI cannot describe the machine: one of the readers must fail.
    EXPECT_ANY_THROW({
      GetProcessorIdText();
      GetBiosIdText();
      GetBaseBoardIdText();
    });
    return;
  }
  EXPECT_EQ(id.size(), 49u);
  EXPECT_TRUE(IsGroupedDigest(id)) << id.c_str();
  // The same machine and key give the same identifier; another key gives another.
  EXPECT_EQ(ComputeMachineInstallationId(L"tradeloom-test-key"), id);
  EXPECT_NE(ComputeMachineInstallationId(L"other-key"), id);
  EXPECT_EQ(id, HashTextSha1(ComposeMachineDescription(L"tradeloom-test-key", GetProcessorIdText(),
                                                       GetBiosIdText(), GetBaseBoardIdText())));
}

// The machine is asked on a worker with COM of its own; a query that hangs (a damaged WMI repository)
// costs the caller the time-out and gives no identifier, and one that fails gives none either.
TEST(MachineId, AQueryThatHangsOrFailsGivesAnEmptyIdentifierInTime) {
  EXPECT_EQ(BoundedMachineQuery([] { return std::wstring(L"A999"); }, 5000), L"A999");
  // COM is there already, in the apartment the queries need.
  EXPECT_EQ(BoundedMachineQuery([] { return ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) == S_FALSE ? L"com" : L"none"; }, 5000),
            L"com");
  EXPECT_EQ(BoundedMachineQuery([]() -> std::wstring { throw std::bad_alloc(); }, 5000), L"");

  auto release = std::make_shared<THandle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(BoundedMachineQuery([release] { ::WaitForSingleObject(release->Get(), 60000); return std::wstring(L"late"); }, 300),
            L"");
  const DWORD waited = ::GetTickCount() - start;
  EXPECT_GE(waited, 250u);
  EXPECT_LT(waited, 30000u) << "the caller is not held by the hung query";
  ::SetEvent(release->Get());  // the worker left behind ends on its own; nothing of it reaches anyone
}

TEST(MachineId, ProcessorObjectAnswersThroughLateBinding) {
  TComPtr<IDispatch> processor = WmiGetFirstObject(L"Win32_Processor");
  ASSERT_TRUE(processor);
  EXPECT_FALSE(WmiPropertyText(processor.Get(), L"Name").empty());
  // An integer property reads as its decimal text.
  const std::wstring speed = WmiPropertyText(processor.Get(), L"MaxClockSpeed");
  for (wchar_t ch : speed) EXPECT_TRUE(std::iswdigit(ch)) << speed.c_str();
  EXPECT_FALSE(GetProcessorIdText().empty());
}

TEST(MachineId, UnknownClassOrPropertyAndNullObjectRaise) {
  // Windows refuses the query; Wine answers with an empty set. Either way there is no object.
  try {
    EXPECT_FALSE(WmiGetFirstObject(L"Win32_NoSuchClassAtAll"));
  } catch (const EOleSysError&) {
  }
  EXPECT_THROW(WmiPropertyText(nullptr, L"Name"), EOleSysError);
  TComPtr<IDispatch> processor = WmiGetFirstObject(L"Win32_Processor");
  ASSERT_TRUE(processor);
  EXPECT_THROW(WmiPropertyText(processor.Get(), L"NoSuchProperty"), EOleSysError);
}

TEST(MachineId, GuidTextHasBracesAndUpperCaseDigits) {
  const std::wstring a = CreateGuidText();
  const std::wstring b = CreateGuidText();
  EXPECT_EQ(a.size(), 38u);
  EXPECT_TRUE(std::regex_match(a, std::wregex(L"\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}")))
      << a.c_str();
  EXPECT_NE(a, b);
}

TEST(MachineId, TimeStampIdForm) {
  SYSTEMTIME t{};
  t.wYear = 2011; t.wMonth = 9; t.wDay = 9; t.wHour = 16; t.wMinute = 23; t.wSecond = 13;
  EXPECT_EQ(FormatTimeStampId(t, 123456048213LL), L"110909-162313-48213");
  EXPECT_EQ(FormatTimeStampId(t, 5000000), L"110909-162313-0");
  t.wYear = 2000; t.wMonth = 1; t.wDay = 2; t.wHour = 3; t.wMinute = 4; t.wSecond = 5;
  EXPECT_EQ(FormatTimeStampId(t, 999999), L"000102-030405-999999");

  const std::wstring id = CreateTimeStampId();
  EXPECT_TRUE(std::regex_match(id, std::wregex(L"\\d{6}-\\d{6}-(0|[1-9]\\d{0,5})"))) << id.c_str();
}
