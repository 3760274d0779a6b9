// Time texts, UTF-8 conversion, path joining and flags.
#include "statistics/StatUtils.h"
#include "framework/Strings.h"
#include <cmath>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

const std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

TDateTime SystemTimeToDateTime(const SYSTEMTIME& time) {
  const double day = static_cast<double>(DaysFromCivil(time.wYear, time.wMonth, time.wDay) - kEpochDays);
  const double fraction =
      ((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond + time.wMilliseconds / 1000.0) / kSecondsPerDay;
  // Before the epoch the whole part counts backwards but the time of day still counts forwards.
  return day >= 0 ? day + fraction : day - fraction;
}

SYSTEMTIME DateTimeToSystemTime(TDateTime value) {
  std::int64_t wholeDays = static_cast<std::int64_t>(value);  // towards zero, as the encoding does
  std::int64_t msOfDay = std::llround(std::fabs(value - static_cast<double>(wholeDays)) * kMSecsPerDay);
  if (msOfDay >= kMSecsPerDay) {  // rounding reached the next day
    msOfDay -= kMSecsPerDay;
    wholeDays += value >= 0 ? 1 : -1;
  }
  SYSTEMTIME result{};
  int year;
  unsigned month, day;
  CivilFromDays(wholeDays + kEpochDays, year, month, day);
  result.wYear = static_cast<WORD>(year);
  result.wMonth = static_cast<WORD>(month);
  result.wDay = static_cast<WORD>(day);
  result.wHour = static_cast<WORD>(msOfDay / 3600000);
  result.wMinute = static_cast<WORD>(msOfDay / 60000 % 60);
  result.wSecond = static_cast<WORD>(msOfDay / 1000 % 60);
  result.wMilliseconds = static_cast<WORD>(msOfDay % 1000);
  return result;
}

TDateTime NowLocal() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return SystemTimeToDateTime(now);
}

TDateTime NowWholeSeconds() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  now.wMilliseconds = 0;
  return SystemTimeToDateTime(now);
}

TDateTime WholeSeconds(TDateTime value) {
  SYSTEMTIME time = DateTimeToSystemTime(value);
  time.wMilliseconds = 0;
  return SystemTimeToDateTime(time);
}

std::wstring FormatStatDateTime(TDateTime value) {
  const SYSTEMTIME t = DateTimeToSystemTime(value);
  return IntToStr(t.wYear, 4) + L"-" + IntToStr(t.wMonth, 2) + L"-" + IntToStr(t.wDay, 2) + L"T" + IntToStr(t.wHour, 2) +
         L":" + IntToStr(t.wMinute, 2) + L":" + IntToStr(t.wSecond, 2);
}

std::wstring FormatDuration(double spanInDays) {
  // Round the whole span to milliseconds before splitting it, so that a span a hair short of a
  // full day reads as that day and not as 24 hours or as nothing.
  const std::int64_t totalMs = std::llround(std::fabs(spanInDays) * kMSecsPerDay);
  const std::int64_t days = totalMs / kMSecsPerDay;
  const std::int64_t msOfDay = totalMs % kMSecsPerDay;
  const int hours = static_cast<int>(msOfDay / 3600000);
  const int minutes = static_cast<int>(msOfDay / 60000 % 60);
  const int seconds = static_cast<int>(msOfDay / 1000 % 60);
  const std::wstring time = IntToStr(hours, 2) + L":" + IntToStr(minutes, 2) + L":" + IntToStr(seconds, 2);
  if (days > 0) return IntToStr(static_cast<int>(days)) + L" " + time;
  return time;
}

TStatBytes TextToUtf8Bytes(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  TStatBytes bytes(n);
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, reinterpret_cast<char*>(bytes.data()), n, nullptr, nullptr);
  return bytes;
}

std::wstring Utf8BytesToText(const TStatBytes& bytes) {
  if (bytes.empty()) return {};
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, data, size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring text(n, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, data, size, text.data(), n);
  return text;
}

std::wstring JoinPath(std::wstring_view a, std::wstring_view b) {
  if (a.empty()) return std::wstring(b);
  if (b.empty()) return std::wstring(a);
  const bool aEnds = a.back() == L'\\';
  const bool bBegins = b.front() == L'\\';
  std::wstring result(a);
  if (aEnds && bBegins)
    result.append(b.substr(1));
  else if (aEnds || bBegins)
    result.append(b);
  else
    result.append(L"\\").append(b);
  return result;
}

bool StrToBoolDefault(std::wstring_view text, bool defaultValue) {
  if (text == L"0") return false;
  if (text == L"1") return true;
  return defaultValue;
}
