// Description of the machine for the start event: operating system, processor, memory, monitors,
// language and location. Nothing here raises; a fact that cannot be obtained is empty or 0.
#include "statistics/StatUtils.h"
#include "framework/SystemLibraries.h"
#include "framework/Strings.h"

namespace {

constexpr DWORD kPlatformNT = 2;  // VER_PLATFORM_WIN32_NT
constexpr BYTE kWorkstation = 1;  // VER_NT_WORKSTATION
constexpr WORD kArchIntel = 0, kArchItanium = 6, kArchAmd64 = 9;

constexpr WORD kSuiteEnterprise = 0x0002, kSuiteDatacenter = 0x0080, kSuitePersonal = 0x0200,
               kSuiteBlade = 0x0400, kSuiteStorageServer = 0x2000, kSuiteComputeServer = 0x4000,
               kSuiteHomeServer = 0x8000;

bool HasSuite(const TOSVersionFacts& facts, WORD bit) { return (facts.SuiteMask & bit) != 0; }

std::wstring Windows2003Name(const TOSVersionFacts& facts) {
  if (facts.ServerR2) return L"Windows Server 2003 R2, ";
  if (HasSuite(facts, kSuiteStorageServer)) return L"Windows Storage Server 2003";
  if (HasSuite(facts, kSuiteHomeServer)) return L"Windows Home Server";
  if (facts.ProductType == kWorkstation && facts.ProcessorArchitecture == kArchAmd64)
    return L"Windows XP Professional x64 Edition";
  return L"Windows Server 2003";
}

std::wstring Windows2003Edition(const TOSVersionFacts& facts) {
  if (facts.ProductType == kWorkstation) return {};
  switch (facts.ProcessorArchitecture) {
    case kArchItanium:
      if (HasSuite(facts, kSuiteDatacenter)) return L"Datacenter Edition for Itanium-based Systems";
      if (HasSuite(facts, kSuiteEnterprise)) return L"Enterprise Edition for Itanium-based Systems";
      return {};
    case kArchAmd64:
      if (HasSuite(facts, kSuiteDatacenter)) return L"Datacenter x64 Edition";
      if (HasSuite(facts, kSuiteEnterprise)) return L"Enterprise x64 Edition";
      return L"Standard x64 Edition";
    default:
      if (HasSuite(facts, kSuiteComputeServer)) return L"Compute Cluster Edition";
      if (HasSuite(facts, kSuiteDatacenter)) return L"Datacenter Edition";
      if (HasSuite(facts, kSuiteEnterprise)) return L"Enterprise Edition";
      if (HasSuite(facts, kSuiteBlade)) return L"Web Edition";
      return L"Standard Edition";
  }
}

std::wstring Windows2000Edition(const TOSVersionFacts& facts) {
  if (facts.ProductType == kWorkstation) return L"Professional";
  if (HasSuite(facts, kSuiteDatacenter)) return L"Datacenter Server";
  if (HasSuite(facts, kSuiteEnterprise)) return L"Advanced Server";
  return L"Server";
}

TOSNameAndEdition VistaOrLaterNameAndEdition(const TOSVersionFacts& facts) {
  const bool workstation = facts.ProductType == kWorkstation;
  const bool first = facts.MajorVersion == 6 && facts.MinorVersion == 0;
  std::wstring name = first ? (workstation ? L"Windows Vista" : L"Windows Server 2008")
                            : (workstation ? L"Windows 7" : L"Windows Server 2008 R2");
  return {std::move(name), ProductEditionName(facts.ProductCode)};
}

TOSNameAndEdition Windows5NameAndEdition(const TOSVersionFacts& facts) {
  switch (facts.MinorVersion) {
    case 2: return {Windows2003Name(facts), Windows2003Edition(facts)};
    case 1: return {L"Windows XP", HasSuite(facts, kSuitePersonal) ? L"Home Edition" : L"Professional"};
    case 0: return {L"Windows 2000", Windows2000Edition(facts)};
    default: return {L"Windows", L""};
  }
}

std::wstring LocaleText(LCID locale, LCTYPE type) {
  wchar_t buffer[1024];
  const int n = ::GetLocaleInfoW(locale, type, buffer, 1024);
  return n > 0 ? std::wstring(buffer, n - 1) : std::wstring();
}

}  // namespace

std::wstring ProductEditionName(DWORD productCode) {
  switch (productCode) {
    case 1: return L"Ultimate Edition";
    case 2: return L"Home Basic Edition";
    case 3: return L"Home Premium Edition";
    case 4: return L"Enterprise Edition";
    case 6: return L"Business Edition";
    case 7: return L"Standard Edition";
    case 8: return L"Datacenter Edition";
    case 9: return L"Small Business Server";
    case 10: return L"Enterprise Edition";
    case 11: return L"Starter Edition";
    case 12: return L"Datacenter Edition (core installation)";
    case 13: return L"Standard Edition (core installation)";
    case 14: return L"Enterprise Edition (core installation)";
    case 15: return L"Enterprise Edition for Itanium-based Systems";
    case 17: return L"Web Server Edition";
    case 18: return L"Cluster Server Edition";
    case 25: return L"Small Business Server Premium Edition";
    case 48: return L"Professional";
    default: return {};
  }
}

std::wstring ProcessorArchitectureName(WORD architecture) {
  switch (architecture) {
    case kArchAmd64: return L"x64";
    case kArchItanium: return L"Itanium";
    case kArchIntel: return L"x86";
    default: return {};
  }
}

TOSNameAndEdition OSNameAndEdition(const TOSVersionFacts& facts) {
  if (facts.PlatformId != kPlatformNT || facts.MajorVersion <= 4) return {L"Windows", L""};
  if (facts.MajorVersion >= 6) return VistaOrLaterNameAndEdition(facts);
  return Windows5NameAndEdition(facts);
}

void DescribeOS(const TOSVersionFacts& facts, TStatSysInformation& info) {
  info.OSBits = 32;
  info.ProcessorArchitecture = ProcessorArchitectureName(facts.ProcessorArchitecture);
  if (facts.ProcessorArchitecture == kArchAmd64 || facts.ProcessorArchitecture == kArchItanium) info.OSBits = 64;
  info.ProcessorCount = static_cast<std::int32_t>(facts.NumberOfProcessors);
  TOSNameAndEdition names = OSNameAndEdition(facts);
  info.OSName = std::move(names.Name);
  info.OSEdition = std::move(names.Edition);
  info.OSVersion = IntToStr(facts.MajorVersion) + L"." + IntToStr(facts.MinorVersion) + L"." + IntToStr(facts.BuildNumber);
  info.SPName = facts.CSDVersion;
  info.SPVersion.clear();
  if (facts.ServicePackMajor != 0 || facts.ServicePackMinor != 0)
    info.SPVersion = IntToStr(facts.ServicePackMajor) + L"." + IntToStr(facts.ServicePackMinor);
}

void GetOSInformation(TStatSysInformation& info) {
  info.OSBits = 32;
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return;

  TOSVersionFacts facts;
  facts.MajorVersion = version.dwMajorVersion;
  facts.MinorVersion = version.dwMinorVersion;
  facts.BuildNumber = version.dwBuildNumber;
  facts.PlatformId = version.dwPlatformId;
  facts.CSDVersion.assign(version.szCSDVersion, ::wcsnlen(version.szCSDVersion, 128));
  facts.ServicePackMajor = version.wServicePackMajor;
  facts.ServicePackMinor = version.wServicePackMinor;
  facts.SuiteMask = version.wSuiteMask;
  facts.ProductType = version.wProductType;

  // The native information, so that a 32-bit process on a 64-bit system reports the system.
  SYSTEM_INFO system{};
  if (auto getNative = SystemFunction<void(WINAPI*)(LPSYSTEM_INFO)>(L"kernel32.dll", "GetNativeSystemInfo"))
    getNative(&system);
  else
    ::GetSystemInfo(&system);
  facts.ProcessorArchitecture = system.wProcessorArchitecture;
  facts.NumberOfProcessors = system.dwNumberOfProcessors;

  if (facts.PlatformId == kPlatformNT && facts.MajorVersion >= 6) {
    using TGetProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
    DWORD code = 0;
    if (auto getProductInfo = SystemFunction<TGetProductInfo>(L"kernel32.dll", "GetProductInfo"))
      if (!getProductInfo(facts.MajorVersion, facts.MinorVersion, 0, 0, &code)) code = 0;
    facts.ProductCode = code;
  }
  if (facts.MajorVersion == 5 && facts.MinorVersion == 2) facts.ServerR2 = ::GetSystemMetrics(SM_SERVERR2) != 0;

  DescribeOS(facts, info);
}

bool RegReadString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text) {
  text.clear();
  TRegKey key;
  if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS) return false;
  DWORD type = 0, size = 0;
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ || size == 0)
    return false;
  std::wstring data((size + 1) / 2, L'\0');
  DWORD readSize = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                         &readSize) != ERROR_SUCCESS ||
      type != REG_SZ || readSize == 0)
    return false;
  data.resize(readSize / 2);
  // The text ends at its terminating NUL; a value stored without one keeps its last character.
  const size_t nul = data.find(L'\0');
  if (nul != std::wstring::npos) data.resize(nul);
  text = std::move(data);
  return true;
}

std::uint32_t RegReadDWord(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
  TRegKey key;
  if (::RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS) return 0;
  DWORD type = 0, value = 0, size = sizeof value;
  if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return 0;
  return value;
}

namespace {
const wchar_t kProcessorKey[] = L"HARDWARE\\DESCRIPTION\\SYSTEM\\CentralProcessor\\0";
}

std::wstring GetProcessorName() {
  std::wstring name;
  RegReadString(HKEY_LOCAL_MACHINE, kProcessorKey, L"ProcessorNameString", name);
  return name;
}

std::uint32_t GetProcessorSpeed() { return RegReadDWord(HKEY_LOCAL_MACHINE, kProcessorKey, L"~MHz"); }

std::uint32_t BytesToMb(std::uint64_t bytes) { return static_cast<std::uint32_t>(bytes / 1048576u); }

TStatMemoryInformation GetMemoryInformation() {
  TStatMemoryInformation memory;
  if (auto statusEx = SystemFunction<BOOL(WINAPI*)(LPMEMORYSTATUSEX)>(L"kernel32.dll", "GlobalMemoryStatusEx")) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (statusEx(&status)) {
      memory.PhysicalMb = BytesToMb(status.ullTotalPhys);
      memory.VirtualMb = BytesToMb(status.ullTotalVirtual);
      memory.PageFileMb = BytesToMb(status.ullAvailPageFile);
      memory.TotalPageFileMb = BytesToMb(status.ullTotalPageFile);
    }
    return memory;
  }
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  ::GlobalMemoryStatus(&status);
  memory.PhysicalMb = static_cast<std::uint32_t>(status.dwTotalPhys >> 20);
  memory.VirtualMb = static_cast<std::uint32_t>(status.dwTotalVirtual >> 20);
  return memory;
}

BOOL CALLBACK EnumMonitorsProc(HMONITOR, HDC, LPRECT monitorRect, LPARAM data) noexcept {
  auto* monitors = reinterpret_cast<TEnumMonitorsData*>(data);
  if (monitorRect && monitors->Count < kMaxReportedMonitors) {
    TStatMonitorInfo& entry = monitors->Monitors[monitors->Count];
    entry.Width = monitorRect->right - monitorRect->left;
    entry.Height = monitorRect->bottom - monitorRect->top;
    ++monitors->Count;
  }
  return TRUE;
}

TStatMonitorInfoArray GetMonitorsInformation() {
  TEnumMonitorsData data;
  ::EnumDisplayMonitors(nullptr, nullptr, EnumMonitorsProc, reinterpret_cast<LPARAM>(&data));
  data.Monitors.resize(data.Count);
  return data.Monitors;
}

std::wstring GetUserLocation(TStatLocationKind kind) {
  using TGetUserGeoID = GEOID(WINAPI*)(GEOCLASS);
  using TGetGeoInfoW = int(WINAPI*)(GEOID, GEOTYPE, LPWSTR, int, LANGID);
  auto getUserGeoId = SystemFunction<TGetUserGeoID>(L"kernel32.dll", "GetUserGeoID");
  auto getGeoInfo = SystemFunction<TGetGeoInfoW>(L"kernel32.dll", "GetGeoInfoW");
  if (!getUserGeoId || !getGeoInfo) return {};
  constexpr GEOCLASS kNation = 16;
  constexpr LANGID kEnglish = 9;
  const GEOTYPE type = kind == lkISO3 ? GEO_ISO3 : GEO_FRIENDLYNAME;
  wchar_t buffer[1024] = {};
  if (getGeoInfo(getUserGeoId(kNation), type, buffer, 1024, kEnglish) <= 0) return {};
  buffer[1023] = L'\0';
  return std::wstring(buffer);
}

std::wstring GetSystemLanguageName() { return LocaleText(::GetSystemDefaultLCID(), LOCALE_SENGLANGUAGE); }

std::wstring GetFormatsCountry() {
  const LCID locale = MAKELCID(::GetUserDefaultLangID(), SORT_DEFAULT);
  return LocaleText(locale, LOCALE_SENGLANGUAGE) + L" (" + LocaleText(locale, LOCALE_SENGCOUNTRY) + L")";
}

std::wstring GetUILanguageName() {
  auto getUILanguage = SystemFunction<LANGID(WINAPI*)()>(L"kernel32.dll", "GetUserDefaultUILanguage");
  if (!getUILanguage) return {};
  return LocaleText(MAKELCID(getUILanguage(), SORT_DEFAULT), LOCALE_SENGLANGUAGE);
}
