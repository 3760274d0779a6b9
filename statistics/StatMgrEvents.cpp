// Statistics events: parameters, the process-wide numbering, the start, finish and failure events,
// and the application's version.
#include "statistics/StatMgr.h"
#include "framework/Strings.h"
#include <winver.h>

namespace {

// Shared by every tracker and thread of the process; the first event gets 1.
std::atomic<std::int32_t> EventOrdinalCounter{0};

std::wstring CutToLength(std::wstring value, size_t length) {
  if (value.size() > length) value.resize(length);
  return value;
}

std::wstring JoinVersion(const TProductVersion& version, wchar_t separator) {
  return IntToStr(version.v1) + separator + IntToStr(version.v2) + separator + IntToStr(version.v3) + separator +
         IntToStr(version.v4);
}

}  // namespace

std::int32_t NextEventOrdinal() { return ++EventOrdinalCounter; }

std::wstring ParamTypeName(TSoftwareStatisticsEventParamType type) {
  switch (type) {
    case ptNone: return L"none";
    case ptText: return L"text";
    case ptNumeric: return L"numeric";
    case ptError: return L"error";
    case ptLog: return L"log";
  }
  return L"none";
}

TSoftwareStatisticsEventParam::TSoftwareStatisticsEventParam(std::wstring name, TSoftwareStatisticsEventParamType type,
                                                             std::wstring value)
    : FName(std::move(name)), FValue(CutToLength(std::move(value), kMaxParamValueLength)), FParamType(type) {}

TSoftwareStatisticsEvent::TSoftwareStatisticsEvent(std::wstring name, TDateTime time)
    : TSoftwareStatisticsEvent(std::move(name), time, 0) {}

TSoftwareStatisticsEvent::TSoftwareStatisticsEvent(std::wstring name, TDateTime time, std::int32_t presetOrdinal)
    : FName(std::move(name)), FOrdinal(presetOrdinal != 0 ? presetOrdinal : NextEventOrdinal()), FTime(time) {}

TSoftwareStatisticsEvent::~TSoftwareStatisticsEvent() { ClearParams(); }

void TSoftwareStatisticsEvent::ClearParams() {
  while (!FParams.empty()) FParams.pop_back();  // the last one first
}

void TSoftwareStatisticsEvent::AddParam(std::wstring name, std::wstring text) {
  FParams.emplace_back(std::move(name), ptNone, std::move(text));
}

void TSoftwareStatisticsEvent::AddTextParam(std::wstring name, std::wstring text) {
  FParams.emplace_back(std::move(name), ptText, std::move(text));
}

void TSoftwareStatisticsEvent::AddNumericParam(std::wstring name, std::int32_t value) {
  FParams.emplace_back(std::move(name), ptNumeric, IntToStr(value));
}

void TSoftwareStatisticsEvent::AddSystemInformation() {
  TStatSysInformation os;
  GetOSInformation(os);
  AddParam(L"os-name", os.OSName);
  AddParam(L"os-edition", os.OSEdition);
  AddParam(L"os-version", os.OSVersion);
  AddParam(L"os-bits", IntToStr(os.OSBits));
  AddParam(L"sp-name", os.SPName);
  AddParam(L"sp-version", os.SPVersion);
  AddParam(L"processor-architect", os.ProcessorArchitecture);
  AddParam(L"processor-count", IntToStr(os.ProcessorCount));
  AddParam(L"processor-name", GetProcessorName());
  AddParam(L"processor-MHz", IntToStr(GetProcessorSpeed()));
  const TStatMemoryInformation memory = GetMemoryInformation();
  AddParam(L"memory-physical-Mb", IntToStr(memory.PhysicalMb));
  AddParam(L"memory-virtual-Mb", IntToStr(memory.VirtualMb));
  AddParam(L"pagefile-Mb", IntToStr(memory.PageFileMb));
  AddParam(L"total-pagefile-Mb", IntToStr(memory.TotalPageFileMb));
  const TStatMonitorInfoArray monitors = GetMonitorsInformation();
  AddParam(L"monitors-count", IntToStr(static_cast<long long>(monitors.size())));
  for (size_t i = 0; i < monitors.size(); ++i) {
    const std::wstring prefix = L"monitor-" + IntToStr(static_cast<long long>(i));
    AddParam(prefix + L"-width", IntToStr(monitors[i].Width));
    AddParam(prefix + L"-height", IntToStr(monitors[i].Height));
  }
  AddParam(L"language-for-non-unicode", GetSystemLanguageName());
  AddParam(L"location-ISO3", GetUserLocation(lkISO3));
  AddParam(L"location", GetUserLocation(lkFriendlyName));
  AddParam(L"formats-country", GetFormatsCountry());
  AddParam(L"language-UI", GetUILanguageName());
}

TStatEventAppStart::TStatEventAppStart(const TProductVersion& version, const std::wstring& package, TDateTime time)
    : TSoftwareStatisticsEvent(L"app-start", time) {
  AddParam(L"app-version", version.ToString());
  AddParam(L"app-package", package);
  AddSystemInformation();
}

TStatEventAppFinish::TStatEventAppFinish(TDateTime time, TDateTime startTime)
    : TSoftwareStatisticsEvent(L"app-finish", time) {
  SetValue(FormatDuration(time - startTime));
}

TStatEventAppFailure::TStatEventAppFailure(TDateTime time, TDateTime startTime)
    : TSoftwareStatisticsEvent(L"app-failure", time, kFailureEventOrdinal) {
  SetValue(FormatDuration(time - startTime));
}

std::wstring TProductVersion::ToString() const { return JoinVersion(*this, L'.'); }

std::wstring TProductVersion::ToFolderName() const { return JoinVersion(*this, L'_'); }

TProductVersion TProductVersion::OfExecutable() {
  TProductVersion version;
  wchar_t fileName[MAX_PATH + 1] = {};
  if (::GetModuleFileNameW(nullptr, fileName, MAX_PATH) == 0) return version;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(fileName, &ignored);
  if (size == 0) return version;
  std::vector<std::uint8_t> data(size);
  if (!::GetFileVersionInfoW(fileName, 0, size, data.data())) return version;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return version;
  version.v1 = HIWORD(info->dwFileVersionMS);
  version.v2 = LOWORD(info->dwFileVersionMS);
  version.v3 = HIWORD(info->dwFileVersionLS);
  version.v4 = LOWORD(info->dwFileVersionLS);
  return version;
}
