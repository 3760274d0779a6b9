#include <gtest/gtest.h>
#include "statistics/StatUtils.h"
#include <regex>

namespace {

constexpr BYTE kWorkstation = 1, kServer = 3, kDomainController = 2;

TOSVersionFacts Facts(DWORD major, DWORD minor, BYTE productType, WORD suite = 0, WORD arch = 0, DWORD code = 0,
                      bool r2 = false) {
  TOSVersionFacts f;
  f.MajorVersion = major;
  f.MinorVersion = minor;
  f.PlatformId = 2;
  f.ProductType = productType;
  f.SuiteMask = suite;
  f.ProcessorArchitecture = arch;
  f.ProductCode = code;
  f.ServerR2 = r2;
  return f;
}

struct TNameRow {
  TOSVersionFacts Facts;
  const wchar_t* Name;
  const wchar_t* Edition;
};

void ExpectRows(const std::vector<TNameRow>& rows) {
  for (size_t i = 0; i < rows.size(); ++i) {
    const TOSNameAndEdition result = OSNameAndEdition(rows[i].Facts);
    EXPECT_EQ(result.Name, rows[i].Name) << "row " << i;
    EXPECT_EQ(result.Edition, rows[i].Edition) << "row " << i;
  }
}

}  // namespace

TEST(OSTables, ProductEditionNames) {
  const std::pair<DWORD, const wchar_t*> rows[] = {
      {1, L"Ultimate Edition"}, {2, L"Home Basic Edition"}, {3, L"Home Premium Edition"},
      {4, L"Enterprise Edition"}, {6, L"Business Edition"}, {7, L"Standard Edition"},
      {8, L"Datacenter Edition"}, {9, L"Small Business Server"}, {10, L"Enterprise Edition"},
      {11, L"Starter Edition"}, {12, L"Datacenter Edition (core installation)"},
      {13, L"Standard Edition (core installation)"}, {14, L"Enterprise Edition (core installation)"},
      {15, L"Enterprise Edition for Itanium-based Systems"}, {17, L"Web Server Edition"},
      {18, L"Cluster Server Edition"}, {25, L"Small Business Server Premium Edition"}, {48, L"Professional"},
      {0, L""}, {5, L""}, {16, L""}, {19, L""}, {47, L""}, {49, L""}, {101, L""}, {0xABCDABCD, L""}};
  for (const auto& [code, edition] : rows) EXPECT_EQ(ProductEditionName(code), edition) << "code " << code;
}

TEST(OSTables, ArchitectureNames) {
  EXPECT_EQ(ProcessorArchitectureName(9), L"x64");
  EXPECT_EQ(ProcessorArchitectureName(6), L"Itanium");
  EXPECT_EQ(ProcessorArchitectureName(0), L"x86");
  EXPECT_EQ(ProcessorArchitectureName(5), L"");   // ARM
  EXPECT_EQ(ProcessorArchitectureName(12), L"");  // ARM64
  EXPECT_EQ(ProcessorArchitectureName(0xFFFF), L"");
}

TEST(OSTables, VistaAndLater) {
  ExpectRows({
      {Facts(6, 0, kWorkstation, 0, 0, 1), L"Windows Vista", L"Ultimate Edition"},
      {Facts(6, 0, kServer, 0, 0, 8), L"Windows Server 2008", L"Datacenter Edition"},
      {Facts(6, 0, kDomainController, 0, 0, 7), L"Windows Server 2008", L"Standard Edition"},
      {Facts(6, 1, kWorkstation, 0, 9, 48), L"Windows 7", L"Professional"},
      {Facts(6, 1, kServer, 0, 9, 10), L"Windows Server 2008 R2", L"Enterprise Edition"},
      {Facts(6, 2, kWorkstation, 0, 9, 48), L"Windows 7", L"Professional"},
      {Facts(6, 3, kServer), L"Windows Server 2008 R2", L""},
      {Facts(10, 0, kWorkstation, 0, 9, 101), L"Windows 7", L""},
      {Facts(10, 0, kDomainController, 0, 9, 0), L"Windows Server 2008 R2", L""},
  });
}

TEST(OSTables, Windows2003Names) {
  ExpectRows({
      // The second-release metric wins over everything, and the name keeps its comma and blank.
      {Facts(5, 2, kServer, 0x2000 | 0x8000, 9, 0, true), L"Windows Server 2003 R2, ", L"Standard x64 Edition"},
      {Facts(5, 2, kWorkstation, 0, 9, 0, true), L"Windows Server 2003 R2, ", L""},
      {Facts(5, 2, kServer, 0x2000 | 0x8000), L"Windows Storage Server 2003", L"Standard Edition"},
      {Facts(5, 2, kServer, 0x8000), L"Windows Home Server", L"Standard Edition"},
      {Facts(5, 2, kWorkstation, 0, 9), L"Windows XP Professional x64 Edition", L""},
      {Facts(5, 2, kWorkstation, 0, 0), L"Windows Server 2003", L""},
      {Facts(5, 2, kServer, 0, 0), L"Windows Server 2003", L"Standard Edition"},
  });
}

TEST(OSTables, Windows2003Editions) {
  ExpectRows({
      {Facts(5, 2, kServer, 0x0080 | 0x0002, 6), L"Windows Server 2003", L"Datacenter Edition for Itanium-based Systems"},
      {Facts(5, 2, kServer, 0x0002, 6), L"Windows Server 2003", L"Enterprise Edition for Itanium-based Systems"},
      {Facts(5, 2, kServer, 0x4000 | 0x0400, 6), L"Windows Server 2003", L""},
      {Facts(5, 2, kServer, 0x0080 | 0x0002, 9), L"Windows Server 2003", L"Datacenter x64 Edition"},
      {Facts(5, 2, kServer, 0x0002, 9), L"Windows Server 2003", L"Enterprise x64 Edition"},
      {Facts(5, 2, kServer, 0x4000, 9), L"Windows Server 2003", L"Standard x64 Edition"},
      {Facts(5, 2, kServer, 0x4000 | 0x0080, 0), L"Windows Server 2003", L"Compute Cluster Edition"},
      {Facts(5, 2, kServer, 0x0080 | 0x0002, 0), L"Windows Server 2003", L"Datacenter Edition"},
      {Facts(5, 2, kServer, 0x0002 | 0x0400, 0), L"Windows Server 2003", L"Enterprise Edition"},
      {Facts(5, 2, kDomainController, 0x0400, 0), L"Windows Server 2003", L"Web Edition"},
      {Facts(5, 2, kServer, 0, 5), L"Windows Server 2003", L"Standard Edition"},
      {Facts(5, 2, kWorkstation, 0x0080, 0), L"Windows Server 2003", L""},
  });
}

TEST(OSTables, XP2000AndOlder) {
  TOSVersionFacts nineX = Facts(4, 10, kWorkstation);
  nineX.PlatformId = 1;
  TOSVersionFacts nt5On9x = Facts(5, 1, kWorkstation);
  nt5On9x.PlatformId = 1;
  ExpectRows({
      {Facts(5, 1, kWorkstation, 0x0200), L"Windows XP", L"Home Edition"},
      {Facts(5, 1, kWorkstation, 0x0100), L"Windows XP", L"Professional"},
      {Facts(5, 0, kWorkstation, 0x0080), L"Windows 2000", L"Professional"},
      {Facts(5, 0, kServer, 0x0080 | 0x0002), L"Windows 2000", L"Datacenter Server"},
      {Facts(5, 0, kDomainController, 0x0002), L"Windows 2000", L"Advanced Server"},
      {Facts(5, 0, kServer, 0), L"Windows 2000", L"Server"},
      {Facts(5, 3, kServer, 0x0080), L"Windows", L""},
      {Facts(4, 0, kServer, 0x0080), L"Windows", L""},
      {nineX, L"Windows", L""},
      {nt5On9x, L"Windows", L""},
  });
}

TEST(OSDescription, Windows7Sp1ProfessionalX64) {
  TOSVersionFacts f = Facts(6, 1, kWorkstation, 0x0100, 9, 48);
  f.BuildNumber = 7601;
  f.CSDVersion = L"Service Pack 1";
  f.ServicePackMajor = 1;
  f.NumberOfProcessors = 4;
  TStatSysInformation info;
  DescribeOS(f, info);
  EXPECT_EQ(info.OSName, L"Windows 7");
  EXPECT_EQ(info.OSEdition, L"Professional");
  EXPECT_EQ(info.OSVersion, L"6.1.7601");
  EXPECT_EQ(info.OSBits, 64);
  EXPECT_EQ(info.SPName, L"Service Pack 1");
  EXPECT_EQ(info.SPVersion, L"1.0");
  EXPECT_EQ(info.ProcessorArchitecture, L"x64");
  EXPECT_EQ(info.ProcessorCount, 4);
}

TEST(OSDescription, XpSp3AndServicePackNumbers) {
  TOSVersionFacts f = Facts(5, 1, kWorkstation, 0, 0);
  f.BuildNumber = 2600;
  f.CSDVersion = L"Service Pack 3";
  f.ServicePackMajor = 3;
  f.NumberOfProcessors = 1;
  TStatSysInformation info;
  DescribeOS(f, info);
  EXPECT_EQ(info.OSName, L"Windows XP");
  EXPECT_EQ(info.OSEdition, L"Professional");
  EXPECT_EQ(info.OSVersion, L"5.1.2600");
  EXPECT_EQ(info.SPVersion, L"3.0");
  EXPECT_EQ(info.OSBits, 32);
  EXPECT_EQ(info.ProcessorArchitecture, L"x86");

  f.ServicePackMajor = 0;
  f.CSDVersion.clear();
  DescribeOS(f, info);
  EXPECT_EQ(info.SPVersion, L"");
  EXPECT_EQ(info.SPName, L"");
  f.ServicePackMinor = 2;
  DescribeOS(f, info);
  EXPECT_EQ(info.SPVersion, L"0.2");
}

TEST(OSDescription, UnknownArchitectureKeeps32Bits) {
  TOSVersionFacts f = Facts(10, 0, kWorkstation, 0, 12, 48);
  f.BuildNumber = 19045;
  TStatSysInformation info;
  DescribeOS(f, info);
  EXPECT_EQ(info.OSBits, 32);
  EXPECT_EQ(info.ProcessorArchitecture, L"");
  EXPECT_EQ(info.OSVersion, L"10.0.19045");
  DescribeOS(Facts(5, 2, kServer, 0, 6), info);
  EXPECT_EQ(info.OSBits, 64);
  EXPECT_EQ(info.ProcessorArchitecture, L"Itanium");
}

TEST(Memory, MebibytesDropTheRemainder) {
  EXPECT_EQ(BytesToMb(8589934592ull), 8192u);
  EXPECT_EQ(BytesToMb(8589934591ull), 8191u);
  EXPECT_EQ(BytesToMb(1048575), 0u);
  EXPECT_EQ(BytesToMb(0x7FFFFFFE0000ull), 134217727u);  // the user space of a 64-bit process
}

TEST(Monitors, EnumerationKeepsTheFirstTenAndSkipsMissingRectangles) {
  TEnumMonitorsData data;
  EXPECT_EQ(data.Count, 0);
  ASSERT_EQ(data.Monitors.size(), 10u);
  RECT first{0, 0, 1920, 1080};
  RECT second{1920, -56, 3200, 968};
  EXPECT_TRUE(EnumMonitorsProc(nullptr, nullptr, &first, reinterpret_cast<LPARAM>(&data)));
  EXPECT_TRUE(EnumMonitorsProc(nullptr, nullptr, nullptr, reinterpret_cast<LPARAM>(&data)));
  EXPECT_TRUE(EnumMonitorsProc(nullptr, nullptr, &second, reinterpret_cast<LPARAM>(&data)));
  ASSERT_EQ(data.Count, 2);
  EXPECT_EQ(data.Monitors[0].Width, 1920);
  EXPECT_EQ(data.Monitors[0].Height, 1080);
  EXPECT_EQ(data.Monitors[1].Width, 1280);
  EXPECT_EQ(data.Monitors[1].Height, 1024);
  for (int i = 0; i < 9; ++i) {
    RECT r{0, 0, 100 + i, 200 + i};
    EXPECT_TRUE(EnumMonitorsProc(nullptr, nullptr, &r, reinterpret_cast<LPARAM>(&data)));
  }
  EXPECT_EQ(data.Count, 10);
  EXPECT_EQ(data.Monitors.size(), 10u);
  EXPECT_EQ(data.Monitors[9].Width, 107);
}

namespace {

// A key of its own below HKCU for the registry readers, removed afterwards.
class Registry : public ::testing::Test {
protected:
  static constexpr const wchar_t* kPath = L"Software\\TradeloomTests\\StatUtils";
  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, FKey.Out(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    FKey.Reset();
    ::RegDeleteKeyW(HKEY_CURRENT_USER, kPath);
  }
  void Set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(::RegSetValueExW(FKey.Get(), name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  }
  void SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    Set(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  TRegKey FKey;
};

}  // namespace

TEST_F(Registry, RegReadStringTakesOnlyTextValues) {
  SetText(L"ProcessorNameString", L"   Intel(R) Core(TM) i7 CPU");
  SetText(L"Empty", L"");
  SetText(L"Expand", L"%TEMP%", REG_EXPAND_SZ);
  const DWORD number = 5;
  Set(L"Number", REG_DWORD, &number, sizeof number);
  Set(L"NoTerminator", REG_SZ, L"abc", 3 * sizeof(wchar_t));
  Set(L"ZeroSize", REG_SZ, nullptr, 0);

  std::wstring text = L"old";
  EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kPath, L"ProcessorNameString", text));
  EXPECT_EQ(text, L"   Intel(R) Core(TM) i7 CPU");  // leading blanks kept
  EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kPath, L"Empty", text));
  EXPECT_EQ(text, L"");
  // A text stored without its terminating NUL keeps its last character.
  EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, kPath, L"NoTerminator", text));
  EXPECT_EQ(text, L"abc");

  for (const wchar_t* refused : {L"Expand", L"Number", L"ZeroSize", L"Missing"}) {
    text = L"old";
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, kPath, refused, text)) << refused;
    EXPECT_EQ(text, L"") << refused;
  }
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, L"Software\\TradeloomTests\\NoSuchKey", L"x", text));
}

TEST_F(Registry, RegReadDWordTakesOnlyFourByteNumbers) {
  const DWORD mhz = 2400;
  const ULONGLONG big = 7;
  const DWORD bigEndian = 0x01020304;
  Set(L"~MHz", REG_DWORD, &mhz, sizeof mhz);
  Set(L"Quad", REG_QWORD, &big, sizeof big);
  Set(L"Binary", REG_BINARY, &mhz, sizeof mhz);
  Set(L"BigEndian", REG_DWORD_BIG_ENDIAN, &bigEndian, sizeof bigEndian);
  SetText(L"Text", L"2400");
  EXPECT_EQ(RegReadDWord(HKEY_CURRENT_USER, kPath, L"~MHz"), 2400u);
  for (const wchar_t* refused : {L"Quad", L"Binary", L"BigEndian", L"Text", L"Missing"})
    EXPECT_EQ(RegReadDWord(HKEY_CURRENT_USER, kPath, refused), 0u) << refused;
  EXPECT_EQ(RegReadDWord(HKEY_CURRENT_USER, L"Software\\TradeloomTests\\NoSuchKey", L"~MHz"), 0u);
}

TEST(SystemInformation, RealCallsGiveSensibleValues) {
  TStatSysInformation info;
  GetOSInformation(info);
  EXPECT_TRUE(std::regex_match(info.OSVersion, std::wregex(L"\\d+\\.\\d+\\.\\d+"))) << info.OSVersion.c_str();
  EXPECT_EQ(info.OSName.rfind(L"Windows", 0), 0u) << info.OSName.c_str();
  EXPECT_GT(info.ProcessorCount, 0);
  EXPECT_EQ(info.OSBits, sizeof(void*) == 8 ? 64 : info.OSBits);  // a 64-bit process runs on a 64-bit system
  EXPECT_FALSE(info.ProcessorArchitecture.empty());

  const TStatMemoryInformation memory = GetMemoryInformation();
  EXPECT_GT(memory.PhysicalMb, 0u);
  EXPECT_GT(memory.VirtualMb, 0u);
  EXPECT_GE(memory.TotalPageFileMb, memory.PageFileMb);

  const TStatMonitorInfoArray monitors = GetMonitorsInformation();
  ASSERT_GE(monitors.size(), 1u);
  ASSERT_LE(monitors.size(), 10u);
  for (const TStatMonitorInfo& monitor : monitors) {
    EXPECT_GT(monitor.Width, 0);
    EXPECT_GT(monitor.Height, 0);
  }

  EXPECT_FALSE(GetSystemLanguageName().empty());
  EXPECT_FALSE(GetUILanguageName().empty());
  EXPECT_TRUE(std::regex_match(GetFormatsCountry(), std::wregex(L".+ \\(.+\\)"))) << GetFormatsCountry().c_str();
}

TEST(SystemInformation, ProcessorAndLocationReadTheMachine) {
  std::wstring stored;
  const bool hasName = RegReadString(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\SYSTEM\\CentralProcessor\\0",
                                     L"ProcessorNameString", stored);
  EXPECT_EQ(GetProcessorName(), stored);
  EXPECT_TRUE(hasName);
  const std::wstring iso3 = GetUserLocation(lkISO3);
  EXPECT_TRUE(std::regex_match(iso3, std::wregex(L"[A-Z]{3}"))) << iso3.c_str();
  // Wine knows no friendly names of locations (GetGeoInfoW answers ERROR_CALL_NOT_IMPLEMENTED):
  // then the text is empty, otherwise it is the platform's own answer.
  wchar_t expected[1024] = {};
  const int n = ::GetGeoInfoW(::GetUserGeoID(GEOCLASS_NATION), GEO_FRIENDLYNAME, expected, 1024, 9);
  EXPECT_EQ(GetUserLocation(lkFriendlyName), n > 0 ? std::wstring(expected) : std::wstring());
}
