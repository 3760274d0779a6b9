// The service's settings (text form, keys, the time of the next request), the pacing of deliveries,
// the result codes and the package document: the rules of the sending thread that need no thread.
#include "statistics/StatMgr.h"
#include "framework/Strings.h"
#include <oleauto.h>
#include <cmath>
#include <limits>

namespace {

constexpr wchar_t kQuote = L'"';
constexpr std::int64_t kFirstDeliveryDelayMs = 2000;
constexpr std::int64_t kDeliveryIntervalMs = 15000;
constexpr std::int64_t kRetryAfterFailureMs = 3600000;

bool IsBlankOrControl(wchar_t ch) { return ch <= L' '; }

// A "..." item starting at pos; "" inside stands for one quote. Without a closing quote the rest counts.
std::wstring ExtractQuoted(std::wstring_view text, size_t& pos) {
  std::wstring item;
  ++pos;  // the opening quote
  while (pos < text.size()) {
    const wchar_t ch = text[pos++];
    if (ch != kQuote) {
      item += ch;
    } else if (pos < text.size() && text[pos] == kQuote) {
      item += kQuote;
      ++pos;
    } else {
      break;
    }
  }
  return item;
}

void SkipBlanks(std::wstring_view text, size_t& pos) {
  while (pos < text.size() && IsBlankOrControl(text[pos])) ++pos;
}

bool NeedsQuotes(std::wstring_view item, wchar_t delimiter) {
  for (wchar_t ch : item)
    if (IsBlankOrControl(ch) || ch == kQuote || ch == delimiter) return true;
  return false;
}

std::wstring Quoted(std::wstring_view item) {
  std::wstring result(1, kQuote);
  for (wchar_t ch : item) {
    result += ch;
    if (ch == kQuote) result += kQuote;
  }
  result += kQuote;
  return result;
}

// A whole decimal number of 32 bits with an optional sign, nothing else.
bool TryParseInt32(std::wstring_view text, std::int32_t& value) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == L'-' || text[pos] == L'+')) negative = text[pos++] == L'-';
  if (pos == text.size()) return false;
  std::int64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    if (text[pos] < L'0' || text[pos] > L'9') return false;
    magnitude = magnitude * 10 + (text[pos] - L'0');
    if (magnitude > 2147483648LL) return false;
  }
  const std::int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(signedValue);
  return true;
}

std::int32_t Int32OrDefault(std::wstring_view text, std::int32_t defaultValue) {
  std::int32_t value = 0;
  return TryParseInt32(text, value) ? value : defaultValue;
}

std::int64_t MillisecondsBetween(TDateTime from, TDateTime to) {
  return std::llround((to - from) * static_cast<double>(kMSecsPerDay));
}

}  // namespace

// ---- Text form -------------------------------------------------------------------------------

void TTrackerSettings::SetDelimitedText(std::wstring_view text) {
  FItems.clear();
  size_t pos = 0;
  SkipBlanks(text, pos);
  while (pos < text.size()) {
    if (text[pos] == kQuote) {
      FItems.push_back(ExtractQuoted(text, pos));
    } else {
      const size_t start = pos;
      while (pos < text.size() && !IsBlankOrControl(text[pos]) && text[pos] != Delimiter) ++pos;
      FItems.emplace_back(text.substr(start, pos - start));
    }
    SkipBlanks(text, pos);
    if (pos < text.size() && text[pos] == Delimiter) {
      if (pos + 1 == text.size()) FItems.emplace_back();  // a delimiter at the very end adds an empty item
      ++pos;
      SkipBlanks(text, pos);
    }
  }
}

std::wstring TTrackerSettings::DelimitedText() const {
  std::wstring text;
  for (size_t i = 0; i < FItems.size(); ++i) {
    if (i > 0) text += Delimiter;
    text += NeedsQuotes(FItems[i], Delimiter) ? Quoted(FItems[i]) : FItems[i];
  }
  return text;
}

int TTrackerSettings::IndexOfName(std::wstring_view name) const {
  for (size_t i = 0; i < FItems.size(); ++i) {
    const size_t equals = FItems[i].find(L'=');
    if (equals != std::wstring::npos && SameTextAscii(std::wstring_view(FItems[i]).substr(0, equals), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::wstring TTrackerSettings::Values(std::wstring_view name) const {
  const int index = IndexOfName(name);
  if (index < 0) return {};
  const std::wstring& item = FItems[index];
  return item.substr(item.find(L'=') + 1);
}

void TTrackerSettings::SetValue(std::wstring_view name, std::wstring_view value) {
  const int index = IndexOfName(name);
  if (value.empty()) {
    if (index >= 0) FItems.erase(FItems.begin() + index);
    return;
  }
  std::wstring item = std::wstring(name) + L'=' + std::wstring(value);
  if (index >= 0) FItems[index] = std::move(item);
  else FItems.push_back(std::move(item));
}

// ---- Keys ------------------------------------------------------------------------------------

void ParseSettings(TTrackerSettings& settings, std::wstring_view text) {
  settings.SetDelimitedText(text);
  settings.ErrorCode = Int32OrDefault(settings.Values(L"error_code"), 0);
  settings.SendData = StrToBoolDefault(settings.Values(L"send_data"), false);
  // Every copy goes: one left behind would be stored and read back as the next run's code or permission.
  for (const wchar_t* key : {L"error_code", L"send_data"})
    while (settings.HasName(key)) settings.SetValue(key, L"");
}

std::wstring SettingsToText(TTrackerSettings& settings, TDateTime nowWholeSeconds) {
  if (settings.Values(L"prev_conn_time").empty())
    settings.SetValue(L"prev_conn_time", FormatSettingsDateTime(nowWholeSeconds));
  return settings.DelimitedText();
}

bool SettingsCollectData(const TTrackerSettings& settings) {
  return StrToBoolDefault(settings.Values(L"collect_data"), false);
}

std::uint32_t SettingsWaitTimeout(const TTrackerSettings& settings) {
  const auto seconds = static_cast<std::uint32_t>(Int32OrDefault(settings.Values(L"wait_timeout"), 0));
  return seconds > kMaxWaitTimeoutSeconds ? kMaxWaitTimeoutSeconds : seconds;
}

TDateTime SettingsPrevConnTime(const TTrackerSettings& settings, TDateTime nowWholeSeconds) {
  TDateTime value = 0;
  if (!ParseSettingsDateTime(settings.Values(L"prev_conn_time"), value) || value > nowWholeSeconds)
    return nowWholeSeconds;
  return value;
}

TDateTime NextSettingsTime(const TTrackerSettings& settings, TDateTime nowWholeSeconds) {
  return SettingsPrevConnTime(settings, nowWholeSeconds) + SettingsWaitTimeout(settings) / kSecondsPerDay;
}

std::wstring FormatSettingsDateTime(TDateTime value) {
  BSTR text = nullptr;
  if (FAILED(::VarBstrFromDate(value, LOCALE_USER_DEFAULT, 0, &text)) || !text) return {};
  std::wstring result(text, ::SysStringLen(text));
  ::SysFreeString(text);
  return result;
}

bool ParseSettingsDateTime(std::wstring_view text, TDateTime& value) {
  std::wstring trimmed = Trim(text);
  if (trimmed.empty()) return false;
  DATE date = 0;
  if (FAILED(::VarDateFromStr(trimmed.data(), LOCALE_USER_DEFAULT, 0, &date))) return false;
  value = date;
  return true;
}

// ---- Delivery --------------------------------------------------------------------------------

bool IsSendDue(const TDeliveryPacing& pacing, bool finishing, TDateTime now) {
  if (!pacing.SendData) return false;
  if (finishing && !pacing.LastSendFailed) return true;
  if (pacing.LastSendAttempt == 0) return MillisecondsBetween(pacing.StartTime, now) > kFirstDeliveryDelayMs;
  const std::int64_t interval = pacing.LastSendFailed ? kRetryAfterFailureMs : kDeliveryIntervalMs;
  return MillisecondsBetween(pacing.LastSendAttempt, now) > interval;
}

std::wstring ResultCodeText(std::int32_t code) {
  switch (code) {
    case 0: return L"OK";
    case 10: return L"Invalid project";
    case 20: return L"IP is blocked";
    case 30: return L"Application version is blocked";
    case 31: return L"Application is blocked";
    case 35: return L"Invalid tracker version";
    case 40: return L"Invalid data package";
    case 50: return L"Internal server error";
    case 252: return L"Proxy authentication required";
    case 253: return L"Proxy Name resolution failure";
    case 254: return L"No connection";
    case 255: return L"HTTP error";
    default: return L"Unknown error";
  }
}

TResultCodeEffect ResultCodeEffect(std::int32_t code) {
  TResultCodeEffect effect;
  effect.Failed = code == 50 || (code >= 252 && code <= 255);
  effect.DropPackage = code == 0 || code == 10 || code == 30 || code == 31 || code == 40;
  effect.DeleteAllPackages = code == 10;
  effect.StopSending = code == 10 || code == 20 || code == 35;
  return effect;
}

std::int32_t FailedExchangeCode(TStatHttpResult result) {
  switch (result) {
    case hrNoConnection: return 254;
    case hrProxyAuthRequired: return 252;
    case hrProxyNameResolutionFailure: return 253;
    default: return 255;
  }
}

std::int32_t DeliveryResultCode(TStatHttpResult result, std::wstring_view reply) {
  if (result != hrOK) return FailedExchangeCode(result);
  // A line break after the number is no reason to take a delivered package for a server error.
  return Int32OrDefault(Trim(reply), 50);
}

std::wstring PackageDocument(std::wstring_view packageText) {
  std::wstring document = L"<?xml version=\"1.0\" encoding=\"utf-8\"?><package tracker=\"";
  document += kTrackerVersion;
  document += L"\">\r\n";
  document += packageText;
  document += L"</package>";
  return document;
}
