#pragma once
// Stateless helpers of the statistics tracker: time texts, the data folder, whole-file access,
// machine and run identifiers, and the description of the machine for the start event.
// None of them keeps state between calls.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include "framework/Exceptions.h"
#include "framework/FilePaths.h"
#include "framework/Handles.h"
#include "statistics/Encryption.h"

using TStatBytes = std::vector<std::uint8_t>;

// ---- Time -----------------------------------------------------------------------------------

// Local wall-clock date-time: days since 1899-12-30 with the time of day as fraction.
// A difference of two date-times is a span in days.
using TDateTime = double;

constexpr double kSecondsPerDay = 86400.0;
constexpr std::int64_t kMSecsPerDay = 86400000;

TDateTime SystemTimeToDateTime(const SYSTEMTIME& time);
// Rounds to the nearest millisecond.
SYSTEMTIME DateTimeToSystemTime(TDateTime value);
// The current local time with milliseconds.
TDateTime NowLocal();
// The current local time with the milliseconds set to zero.
TDateTime NowWholeSeconds();
// The date-time with the milliseconds set to zero.
TDateTime WholeSeconds(TDateTime value);
// 2011-09-09T16:23:13: fixed separators, no fraction, no zone.
std::wstring FormatStatDateTime(TDateTime value);
// 00:01:15, or 1 02:00:00 from one day on; the sign of the span is ignored.
std::wstring FormatDuration(double spanInDays);

// ---- Data folder ----------------------------------------------------------------------------

// The per-user local application-data folder without a trailing backslash, or empty.
std::wstring GetLocalAppDataFolder();
// The three ways of finding it, in the order GetLocalAppDataFolder tries them.
bool TryKnownFolderLocalAppData(std::wstring& path);
bool TrySpecialFolderLocalAppData(std::wstring& path);
bool TryFolderPathLocalAppData(std::wstring& path);

// ---- Text and files -------------------------------------------------------------------------

TStatBytes TextToUtf8Bytes(std::wstring_view text);
std::wstring Utf8BytesToText(const TStatBytes& bytes);

// Files above this size are refused by the readers.
constexpr std::uint64_t kMaxReadableFileSize = 536870911;

// The readers return true on success and leave an empty output on failure.
bool ReadFileBytes(const std::wstring& fileName, TStatBytes& bytes);
bool ReadBytesFromHandle(HANDLE file, TStatBytes& bytes);
bool WriteFileBytes(const std::wstring& fileName, const TStatBytes& bytes);
bool RewriteBytesToHandle(HANDLE file, const TStatBytes& bytes);
bool AppendBytesToHandle(HANDLE file, const TStatBytes& bytes);

bool ReadTextFile(const std::wstring& fileName, std::wstring& text);
bool ReadTextFromHandle(HANDLE file, std::wstring& text);
bool WriteTextFile(const std::wstring& fileName, std::wstring_view text);
bool RewriteTextToHandle(HANDLE file, std::wstring_view text);
bool AppendTextToHandle(HANDLE file, std::wstring_view text);

// ---- The data folder and its files ----------------------------------------------------------
// The data folder lies in the user's own folder, where every program of the user can plant links, and
// the tracker may run with administrator rights. So the folder is held open while it is used, and each
// of its files is opened without following a link and looked at through its handle before it is used;
// what is not plainly a file of the folder is refused and left as it is. Renames and deletions go
// through the checked handle, never by name.


class TDataFolder {
public:
  TDataFolder() = default;
  // The root (the local application-data folder, taken as the system gives it) and the levels below it,
  // each created where missing and then opened and held. Empty when a level is not a plain folder (a
  // reparse point, a file) or its final path is not the one asked for.
  static TDataFolder Open(const std::wstring& root, const std::vector<std::wstring>& levels);
  explicit operator bool() const { return !FPath.empty(); }
  // The path as asked for, and where the folder really is (each file must be right there).
  const std::wstring& Path() const { return FPath; }
  const std::wstring& FinalPath() const { return FFinalPath; }

private:
  std::wstring FPath;
  std::wstring FFinalPath;
  // Every level below the root, held without delete sharing: none of them can be renamed, removed or
  // replaced by a link while the folder is in use.
  std::vector<TFileHandle> FLevels;
};

enum TDataFileOpen { dfExisting, dfNew, dfExistingOrNew };
// A file of the folder by its plain name, opened without following a link (with FILE_READ_ATTRIBUTES
// besides the access asked for). Empty when it cannot be opened, and when it is a reparse point or a
// folder, has another hard link or does not lie in the folder under that name: then the last error is
// ERROR_ACCESS_DENIED and the file is left as it was. A new file is always created new: an existing name
// (a link too) is never replaced.
TFileHandle OpenDataFile(const TDataFolder& folder, std::wstring_view name, DWORD access, TDataFileOpen how,
                         DWORD share = FILE_SHARE_READ);
// The file's text; false (and an empty text) when it is missing, refused or unreadable.
bool ReadDataTextFile(const TDataFolder& folder, std::wstring_view name, std::wstring& text);
// A new file of the folder with the bytes; false when the name exists.
bool WriteNewDataFile(const TDataFolder& folder, std::wstring_view name, const TStatBytes& bytes);
// Writes the text to a new "<name>.tmp" and renames that over the file: a crash in the middle leaves
// either the old file or the new one, never an empty or half-written one. A file of that name that is
// refused stays as it is, and nothing is written.
bool ReplaceDataTextFile(const TDataFolder& folder, std::wstring_view name, std::wstring_view text);
// Deletes a file opened with DELETE access through its handle and closes it, so that nobody can open it
// between the close and the deletion. Never by name: a name may lead elsewhere by then.
bool DeleteOpenFile(TFileHandle& file);
// Gives a file of the folder opened with DELETE access a new name in the folder and keeps it open; fails
// when a file of that name exists, unless it is to be replaced.
bool RenameOpenFile(HANDLE file, const TDataFolder& folder, std::wstring_view newName, bool replace = false);

// Joins with exactly one backslash at the seam.
std::wstring JoinPath(std::wstring_view a, std::wstring_view b);
// Names (without folder) of the plain files matching the mask: no folders, hidden or system files, and no
// reparse points (links).
std::vector<std::wstring> ListFiles(std::wstring_view folder, std::wstring_view mask);
std::uint64_t GetFilesSize(std::wstring_view folder, std::wstring_view mask);

// Exactly "0" is false, exactly "1" is true, anything else is the default.
bool StrToBoolDefault(std::wstring_view text, bool defaultValue);

// ---- Identifiers ----------------------------------------------------------------------------

// A failed COM call or property read while describing the machine.
class EOleSysError : public Exception {
public:
  EOleSysError(HRESULT code, std::wstring message) : Exception(std::move(message)), FCode(code) {}
  HRESULT Code() const noexcept { return FCode; }
private:
  HRESULT FCode;
};

// A damaged WMI repository, common on old PCs, can hold a query for good: the machine is asked on a
// worker of its own for at most this long, and an identifier not known by then is empty.
constexpr DWORD kMachineQueryTimeoutMs = 2000;
// Grouped SHA-1 of the product key and the machine's processor, firmware and board; empty on any error
// and when the machine has not answered within kMachineQueryTimeoutMs. The caller waits without
// handling messages.
std::wstring ComputeMachineInstallationId(std::wstring_view productKey);
// The same queries on the calling thread, which must have COM, for as long as they take.
std::wstring QueryMachineInstallationId(std::wstring_view productKey);
// Runs the query on a worker with COM of its own and waits up to timeoutMs: its text, or empty when it
// failed or the time was up (the worker is then left to end on its own).
std::wstring BoundedMachineQuery(std::function<std::wstring()> query, DWORD timeoutMs);
// The text that ComputeMachineInstallationId hashes.
std::wstring ComposeMachineDescription(std::wstring_view productKey, std::wstring_view processor,
                                       std::wstring_view bios, std::wstring_view board);
std::wstring HashTextSha1(std::wstring_view text);
// A999-3E36-...: upper-case hex, a "-" after every second byte but the last.
std::wstring BytesToGroupedHex(const Encryption::TBytes& bytes);
// The first object of a WMI class of the local default namespace, or null. Raises EOleSysError.
TComPtr<IDispatch> WmiGetFirstObject(std::wstring_view className);
// A property read through late binding: null is empty, anything else its text form. Raises EOleSysError,
// also for a null object.
std::wstring WmiPropertyText(IDispatch* object, const wchar_t* name);
std::wstring GetProcessorIdText();
std::wstring GetBiosIdText();
std::wstring GetBaseBoardIdText();
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, or empty.
std::wstring CreateGuidText();
// yymmdd-hhnnss-<counter mod 1000000>.
std::wstring CreateTimeStampId();
std::wstring FormatTimeStampId(const SYSTEMTIME& localTime, std::int64_t counter);

// ---- System information ---------------------------------------------------------------------

struct TStatSysInformation {
  std::wstring OSName;
  std::wstring OSEdition;
  std::int32_t OSBits = 0;
  std::wstring OSVersion;
  std::wstring SPName;
  std::wstring SPVersion;
  std::wstring ProcessorArchitecture;
  std::int32_t ProcessorCount = 0;
};

struct TStatMemoryInformation {
  std::uint32_t PhysicalMb = 0;
  std::uint32_t VirtualMb = 0;
  std::uint32_t PageFileMb = 0;
  std::uint32_t TotalPageFileMb = 0;
};

struct TStatMonitorInfo {
  std::int32_t Width = 0;
  std::int32_t Height = 0;
};
using TStatMonitorInfoArray = std::vector<TStatMonitorInfo>;

constexpr int kMaxReportedMonitors = 10;

struct TEnumMonitorsData {
  std::int32_t Count = 0;
  TStatMonitorInfoArray Monitors = TStatMonitorInfoArray(kMaxReportedMonitors);
};

enum TStatLocationKind { lkISO3 = 0, lkFriendlyName = 1 };

// The facts the platform reports about its version, gathered by GetOSInformation and turned into
// the record's texts by DescribeOS, so that every row of the tables can be checked on any machine.
struct TOSVersionFacts {
  DWORD MajorVersion = 0;
  DWORD MinorVersion = 0;
  DWORD BuildNumber = 0;
  DWORD PlatformId = 0;
  std::wstring CSDVersion;
  WORD ServicePackMajor = 0;
  WORD ServicePackMinor = 0;
  WORD SuiteMask = 0;
  BYTE ProductType = 0;
  WORD ProcessorArchitecture = 0;
  DWORD NumberOfProcessors = 0;
  DWORD ProductCode = 0;     // GetProductInfo, 0 where missing
  bool ServerR2 = false;     // GetSystemMetrics(SM_SERVERR2)
};

struct TOSNameAndEdition {
  std::wstring Name;
  std::wstring Edition;
};

// Edition text of a GetProductInfo code (major version 6 and higher); empty for unknown codes.
std::wstring ProductEditionName(DWORD productCode);
// "x64", "Itanium", "x86" or empty.
std::wstring ProcessorArchitectureName(WORD architecture);
// Name and edition from the version numbers, product type, suite mask, product and architecture code.
TOSNameAndEdition OSNameAndEdition(const TOSVersionFacts& facts);
void DescribeOS(const TOSVersionFacts& facts, TStatSysInformation& info);

void GetOSInformation(TStatSysInformation& info);
std::wstring GetProcessorName();
std::uint32_t GetProcessorSpeed();
std::uint32_t BytesToMb(std::uint64_t bytes);
TStatMemoryInformation GetMemoryInformation();
TStatMonitorInfoArray GetMonitorsInformation();
std::wstring GetUserLocation(TStatLocationKind kind);
std::wstring GetSystemLanguageName();
std::wstring GetFormatsCountry();
std::wstring GetUILanguageName();

bool RegReadString(HKEY root, const std::wstring& keyPath, const std::wstring& valueName, std::wstring& text);
std::uint32_t RegReadDWord(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);
// Monitor enumeration callback; data is a TEnumMonitorsData*. Always continues.
BOOL CALLBACK EnumMonitorsProc(HMONITOR monitor, HDC dc, LPRECT monitorRect, LPARAM data) noexcept;
