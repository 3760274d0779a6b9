#pragma once
// The tracker's XML writer: start tags with attributes, empty-element tags, end tags, one per line.
#include <memory>
#include <string>
#include <string_view>
#include "statistics/SharedClassesAndInterfaces.h"

class TStatXmlWriterImpl : public TStatXmlWriter {
public:
  void StartElement(std::wstring_view name) override;
  void EndElement(std::wstring_view name) override;
  void WriteAttribute(std::wstring_view name, std::wstring_view value) override;
  std::wstring GetText() const override { return FText; }

  static std::unique_ptr<TStatXmlWriter> Create() { return std::make_unique<TStatXmlWriterImpl>(); }

private:
  std::wstring FText;
  bool FStartTagOpen = false;
};

// The five predefined entities for " & ' < >; characters that XML 1.0 does not allow (control
// characters other than tab, line feed and carriage return, lone surrogates, U+FFFE, U+FFFF) become
// U+FFFD, so that one odd value cannot make the service reject a whole package.
std::wstring EscapeXmlAttributeValue(std::wstring_view value);
void AppendEscapedXmlAttributeValue(std::wstring& out, std::wstring_view value);
