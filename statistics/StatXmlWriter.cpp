#include "statistics/StatXmlWriter.h"

namespace {

constexpr wchar_t kReplacementCharacter = 0xFFFD;
constexpr std::wstring_view kLineBreak = L"\r\n";

bool IsHighSurrogate(wchar_t ch) { return ch >= 0xD800 && ch <= 0xDBFF; }
bool IsLowSurrogate(wchar_t ch) { return ch >= 0xDC00 && ch <= 0xDFFF; }

bool IsForbiddenSingleUnit(wchar_t ch) {
  if (ch < 0x20) return ch != L'\t' && ch != L'\n' && ch != L'\r';
  return ch == 0xFFFE || ch == 0xFFFF;
}

}  // namespace

void AppendEscapedXmlAttributeValue(std::wstring& out, std::wstring_view value) {
  for (size_t i = 0; i < value.size(); ++i) {
    const wchar_t ch = value[i];
    switch (ch) {
      case L'"': out += L"&quot;"; continue;
      case L'&': out += L"&amp;"; continue;
      case L'\'': out += L"&apos;"; continue;
      case L'<': out += L"&lt;"; continue;
      case L'>': out += L"&gt;"; continue;
      // A parser turns raw tabs and line breaks in attribute values into blanks: these keep them.
      case L'\t': out += L"&#9;"; continue;
      case L'\n': out += L"&#10;"; continue;
      case L'\r': out += L"&#13;"; continue;
      default: break;
    }
    if (IsHighSurrogate(ch) && i + 1 < value.size() && IsLowSurrogate(value[i + 1])) {
      out += ch;
      out += value[++i];
    } else if (IsHighSurrogate(ch) || IsLowSurrogate(ch) || IsForbiddenSingleUnit(ch)) {
      out += kReplacementCharacter;
    } else {
      out += ch;
    }
  }
}

std::wstring EscapeXmlAttributeValue(std::wstring_view value) {
  std::wstring out;
  out.reserve(value.size());
  AppendEscapedXmlAttributeValue(out, value);
  return out;
}

void TStatXmlWriterImpl::StartElement(std::wstring_view name) {
  if (FStartTagOpen) {
    FText += L'>';
    FText += kLineBreak;
  }
  FText += L'<';
  FText += name;
  FStartTagOpen = true;
}

void TStatXmlWriterImpl::EndElement(std::wstring_view name) {
  if (FStartTagOpen) {
    FText += L"/>";
  } else {
    FText += L"</";
    FText += name;
    FText += L'>';
  }
  FText += kLineBreak;
  FStartTagOpen = false;
}

void TStatXmlWriterImpl::WriteAttribute(std::wstring_view name, std::wstring_view value) {
  FText += L' ';
  FText += name;
  FText += L"=\"";
  AppendEscapedXmlAttributeValue(FText, value);
  FText += L'"';
}
