// Hostile input, randomised from fixed seeds: sign-up replies, addresses, form fields, settings texts,
// event values for the XML writer and the headers of a downloaded installer. Each parser takes at least kCases inputs; no crash, no hang,
// and every result must satisfy the properties the callers rely on.
#include <gtest/gtest.h>
#include <windows.h>
#include <msxml2.h>
#include <cstdint>
#include <random>
#include <string>
#include <vector>
#include "framework/Handles.h"
#include "framework/Strings.h"
#include "http/uWinInetUtils.h"
#include "install/uInstallerSignature.h"
#include "signup/uResponseData.h"
#include "statistics/StatMgr.h"
#include "statistics/StatXmlWriter.h"

namespace {
constexpr int kCases = 100000;

// Texts made of pieces that matter to the parsers, mixed with arbitrary UTF-16 units (lone surrogates,
// control characters and non-characters included).
class THostileText {
public:
  explicit THostileText(uint32_t seed, std::vector<std::wstring> pieces) : FRandom(seed), FPieces(std::move(pieces)) {}

  std::wstring Next(size_t maxParts = 12) {
    std::wstring text;
    const size_t parts = Below(maxParts + 1);
    for (size_t i = 0; i < parts; ++i) {
      switch (Below(4)) {
        case 0: text += FPieces[Below(FPieces.size())]; break;
        case 1: text += static_cast<wchar_t>(Below(0x10000)); break;
        case 2: text += static_cast<wchar_t>(Below(0x80)); break;
        default: text += static_cast<wchar_t>(0xD800 + Below(0x800)); break;  // surrogates, often unpaired
      }
    }
    return text;
  }
  // Well-formed UTF-16 only: any code point, surrogate pairs for those beyond U+FFFF.
  std::wstring NextValid(size_t maxChars = 10) {
    std::wstring text;
    const size_t chars = Below(maxChars + 1);
    for (size_t i = 0; i < chars; ++i) {
      if (Below(3) == 0) {
        text += FPieces[Below(FPieces.size())];
        continue;
      }
      uint32_t code = Below(4) == 0 ? 0x10000 + Below(0x100000) : Below(0x80 << Below(10));
      if (code >= 0xD800 && code <= 0xDFFF) code = L'?';
      if (code >= 0x10000) {
        code -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (code >> 10));
        text += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
      } else {
        text += static_cast<wchar_t>(code);
      }
    }
    return text;
  }
  size_t Below(size_t limit) { return limit == 0 ? 0 : std::uniform_int_distribution<size_t>(0, limit - 1)(FRandom); }

private:
  std::mt19937 FRandom;
  std::vector<std::wstring> FPieces;
};

bool IsAsciiOnly(const std::wstring& text) {
  for (wchar_t ch : text)
    if (ch >= 0x80) return false;
  return true;
}

// ---- Form bodies decoded back, the way a server reads them ----

int HexValue(wchar_t ch) {
  if (ch >= L'0' && ch <= L'9') return ch - L'0';
  if (ch >= L'A' && ch <= L'F') return ch - L'A' + 10;
  return -1;
}

// Decodes one name or value; false when it holds anything a form encoder must not produce.
bool FormDecode(std::wstring_view encoded, std::wstring& text) {
  std::string bytes;
  for (size_t i = 0; i < encoded.size(); ++i) {
    const wchar_t ch = encoded[i];
    if (ch == L'+') {
      bytes += ' ';
    } else if (ch == L'%') {
      if (i + 2 >= encoded.size()) return false;
      const int high = HexValue(encoded[i + 1]), low = HexValue(encoded[i + 2]);
      if (high < 0 || low < 0) return false;
      bytes += static_cast<char>(high * 16 + low);
      i += 2;
    } else if ((ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z') || (ch >= L'0' && ch <= L'9') ||
               ch == L'*' || ch == L'-' || ch == L'.' || ch == L'_') {
      bytes += static_cast<char>(ch);
    } else {
      return false;
    }
  }
  text = Utf8ToWide(bytes);
  return true;
}

std::vector<std::wstring> SplitAll(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) return parts;
    start = end + 1;
  }
}

// ---- A real XML parser: MSXML through COM ----

class TXmlParser {
public:
  TXmlParser() {
    for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
      CLSID clsid;
      if (FAILED(::CLSIDFromProgID(progId, &clsid))) continue;
      if (SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, FDocument.OutVoid())))
        break;
    }
    if (FDocument) FDocument->put_async(VARIANT_FALSE);
  }
  bool Available() const { return static_cast<bool>(FDocument); }

  // Parses the document as the service receives it: UTF-8 bytes. On failure, reason says why.
  bool Parse(const std::wstring& document, std::wstring& reason) {
    const std::string bytes = WideToUtf8(document);
    SAFEARRAY* array = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    void* data = nullptr;
    ::SafeArrayAccessData(array, &data);
    memcpy(data, bytes.data(), bytes.size());
    ::SafeArrayUnaccessData(array);
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = array;
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT result = FDocument->load(source, &loaded);
    ::VariantClear(&source);
    if (SUCCEEDED(result) && loaded == VARIANT_TRUE) return true;
    reason = L"not parsed";
    TComPtr<IXMLDOMParseError> error;
    if (SUCCEEDED(FDocument->get_parseError(error.Out())) && error) {
      BSTR text = nullptr;
      if (SUCCEEDED(error->get_reason(&text)) && text) reason = text;
      ::SysFreeString(text);
    }
    return false;
  }

  // The value of attribute name of every element called element, in document order.
  std::vector<std::wstring> AttributeValues(const wchar_t* element, const wchar_t* name) {
    std::vector<std::wstring> values;
    TComPtr<IXMLDOMNodeList> nodes;
    BSTR tag = ::SysAllocString(element);
    const HRESULT found = FDocument->getElementsByTagName(tag, nodes.Out());
    ::SysFreeString(tag);
    if (FAILED(found) || !nodes) return values;
    long count = 0;
    nodes->get_length(&count);
    for (long i = 0; i < count; ++i) {
      TComPtr<IXMLDOMNode> node;
      TComPtr<IXMLDOMElement> elementNode;
      if (FAILED(nodes->get_item(i, node.Out())) || !node ||
          FAILED(node->QueryInterface(IID_IXMLDOMElement, elementNode.OutVoid())))
        continue;
      VARIANT value;
      ::VariantInit(&value);
      BSTR attribute = ::SysAllocString(name);
      if (SUCCEEDED(elementNode->getAttribute(attribute, &value)) && value.vt == VT_BSTR)
        values.emplace_back(value.bstrVal, ::SysStringLen(value.bstrVal));
      else
        values.emplace_back(L"<missing>");
      ::SysFreeString(attribute);
      ::VariantClear(&value);
    }
    return values;
  }

private:
  TComPtr<IXMLDOMDocument> FDocument;
};

// What a parser must hand back for a value the writer escaped: characters XML cannot carry become
// U+FFFD; everything else, tabs and line breaks included, comes back as it was.
std::wstring ExpectedAttributeValue(const std::wstring& value) {
  std::wstring expected;
  for (size_t i = 0; i < value.size(); ++i) {
    const wchar_t ch = value[i];
    const bool high = ch >= 0xD800 && ch <= 0xDBFF, low = ch >= 0xDC00 && ch <= 0xDFFF;
    if (high && i + 1 < value.size() && value[i + 1] >= 0xDC00 && value[i + 1] <= 0xDFFF) {
      expected += ch;
      expected += value[++i];
    } else if (high || low || ch == 0xFFFE || ch == 0xFFFF ||
               (ch < 0x20 && ch != L'\t' && ch != L'\n' && ch != L'\r')) {
      expected += 0xFFFD;
    } else {
      expected += ch;
    }
  }
  return expected;
}
}  // namespace

TEST(HostileInput, SignUpRepliesAlwaysParseIntoConsistentParts) {
  THostileText texts(11, {L"|", L"||", L"success", L"SUCCESS", L" error ", L"error", L"\t", L" ", L".", L"\r\n",
                          L"Please enter the Email", L"http://localhost/setup.exe"});
  for (int i = 0; i < kCases; ++i) {
    const std::wstring reply = texts.Next();
    TResponseData data(reply);
    SCOPED_TRACE(testing::Message() << "case " << i);
    ASSERT_EQ(reply, data.ResponseText);
    const size_t first = reply.find(L'|');
    if (first == std::wstring::npos) {
      ASSERT_EQ(rsUnknown, data.Status);
      ASSERT_TRUE(data.StatusText.empty() && data.DownloadUrl.empty() && data.MessageText.empty());
      continue;
    }
    ASSERT_EQ(reply.substr(0, first), data.StatusText);
    const std::wstring word = LowerAscii(Trim(data.StatusText));
    ASSERT_EQ(word == L"success" ? rsSuccess : word == L"error" ? rsError : rsUnknown, data.Status);
    // The address is a tail of the reply after the second bar; the message the tail after the first.
    const size_t second = reply.find(L'|', first + 1);
    ASSERT_EQ(second == std::wstring::npos ? std::wstring() : reply.substr(second + 1), data.DownloadUrl);
    ASSERT_EQ(data.HasMessage() ? reply.substr(first + 1) : std::wstring(), data.MessageText);
    const std::wstring result = data.ResultText();
    ASSERT_EQ(0u, data.MessageText.compare(0, result.size(), result));
    ASSERT_FALSE(data.HasMessage() && data.ErrorMessage().empty() && !data.MessageText.empty());
  }
}

TEST(HostileInput, AddressesSplitIntoPartsThatRebuildTheAddress) {
  THostileText texts(12, {L"://", L"https", L"HTTP", L"/", L"@", L":", L"?", L"#", L"localhost", L"8443", L"%",
                          L" ", L"99999999999999999999", L"-1", L"0"});
  for (int i = 0; i < kCases; ++i) {
    const std::wstring url = texts.Next();
    const TUrlParts parts = SplitUrl(url);
    SCOPED_TRACE(testing::Message() << "case " << i);
    ASSERT_EQ(std::wstring::npos, parts.Host.find_first_of(L":/"));
    ASSERT_EQ(std::wstring::npos, parts.User.find_first_of(L":/@"));
    ASSERT_TRUE(parts.Path.empty() || parts.Path[0] == L'/');
    // Put together again (with the colons the split removed), the parts are the address itself.
    const size_t schemeEnd = url.find(L"://");
    std::wstring rest = schemeEnd == std::wstring::npos ? url : url.substr(schemeEnd + 3);
    std::wstring rebuilt = schemeEnd == std::wstring::npos ? L"" : parts.Scheme + L"://";
    const std::wstring authority = rest.substr(0, rest.find(L'/'));
    const size_t at = authority.find(L'@');
    if (at != std::wstring::npos) {
      rebuilt += parts.User;
      if (authority.substr(0, at).find(L':') != std::wstring::npos) rebuilt += L":" + parts.Password;
      rebuilt += L"@";
    }
    rebuilt += parts.Host;
    if (authority.find(L':', at == std::wstring::npos ? 0 : at + 1) != std::wstring::npos) rebuilt += L":" + parts.Port;
    rebuilt += parts.Path;
    const std::wstring expected =
        schemeEnd == std::wstring::npos ? url : LowerAscii(url.substr(0, schemeEnd)) + url.substr(schemeEnd);
    ASSERT_EQ(expected, rebuilt);
    // A secure address never ends up on the library's plain default port.
    ASSERT_TRUE(!IsSecureUrl(url) || ConnectPort(parts, true) != 0);
  }
}

TEST(HostileInput, FormFieldsComeBackUnchangedFromTheEncodedBody) {
  THostileText texts(13, {L"=", L"&", L"+", L"%", L"%41", L" ", L"\u00e9", L"\U0001F600", L"*-._", L"\r\n", L"#"});
  for (int i = 0; i < kCases; ++i) {
    TStrings fields;
    std::vector<std::pair<std::wstring, std::wstring>> expected;
    const size_t count = texts.Below(5);
    for (size_t f = 0; f < count; ++f) {
      std::wstring name = texts.NextValid(6);
      for (auto& ch : name)
        if (ch == L'=') ch = L'n';  // a name ends at the first "="
      const std::wstring value = texts.NextValid(10);
      const bool withEquals = !value.empty() || texts.Below(2) == 0;
      fields.push_back(withEquals ? name + L"=" + value : name);
      expected.emplace_back(name, value);
    }
    const std::wstring body = EncodeFormFields(fields);
    SCOPED_TRACE(testing::Message() << "case " << i);
    ASSERT_TRUE(IsAsciiOnly(body));
    if (fields.empty()) {
      ASSERT_TRUE(body.empty());
      continue;
    }
    const std::vector<std::wstring> pairs = SplitAll(body, L'&');
    ASSERT_EQ(expected.size(), pairs.size());
    for (size_t f = 0; f < pairs.size(); ++f) {
      const size_t equals = pairs[f].find(L'=');
      ASSERT_NE(std::wstring::npos, equals);
      std::wstring name, value;
      ASSERT_TRUE(FormDecode(std::wstring_view(pairs[f]).substr(0, equals), name)) << WideToUtf8(pairs[f]);
      ASSERT_TRUE(FormDecode(std::wstring_view(pairs[f]).substr(equals + 1), value)) << WideToUtf8(pairs[f]);
      ASSERT_EQ(expected[f].first, name);
      ASSERT_EQ(expected[f].second, value);
    }
  }
}

TEST(HostileInput, FormFieldsWithBrokenUtf16StillGiveAPlainAsciiBody) {
  THostileText texts(14, {L"=", L"&", L"%", L" "});
  for (int i = 0; i < kCases / 10; ++i) {
    const std::wstring body = EncodeFormFields({texts.Next(), texts.Next()});
    ASSERT_TRUE(IsAsciiOnly(body)) << "case " << i;
    ASSERT_EQ(1u, SplitAll(body, L'&').size() - 1) << "case " << i;
  }
}

TEST(HostileInput, SettingsTextsSurviveTheirOwnTextForm) {
  THostileText texts(15, {L",", L"\"", L"\"\"", L"=", L" ", L"\t", L"error_code=", L"send_data=1", L"wait_timeout=",
                          L"prev_conn_time=", L"collect_data=true", L"-5", L"99999999999", L";"});
  const TDateTime now = 46000.5;
  for (int i = 0; i < kCases; ++i) {
    TTrackerSettings settings;
    ParseSettings(settings, texts.Next(16));
    SCOPED_TRACE(testing::Message() << "case " << i);
    // Whatever came in: the numbers the tracker derives stay in their ranges.
    ASSERT_LE(SettingsWaitTimeout(settings), kMaxWaitTimeoutSeconds);
    ASSERT_LE(SettingsPrevConnTime(settings, now), now);
    const std::vector<std::wstring> items = settings.Items();
    const std::wstring stored = SettingsToText(settings, now);
    // What the tracker stores in "settings.txt" reads back into the same items.
    TTrackerSettings reread;
    reread.SetDelimitedText(stored);
    ASSERT_EQ(settings.Items(), reread.Items()) << WideToUtf8(stored);
    ASSERT_GE(settings.Items().size(), items.size());
  }
}

TEST(HostileInput, EventValuesGiveWellFormedPackageDocuments) {
  TXmlParser parser;
  ASSERT_TRUE(parser.Available()) << "MSXML is not available through COM";
  THostileText texts(16, {L"\"", L"'", L"&", L"<", L">", L"]]>", L"&amp;", L"\r\n", L"\t", L"\x01", L"\uFFFE",
                          L"\uFFFF", L"\U0001F600", L"</event>", L"<!--", L"\u00e9"});
  constexpr int kEventsPerDocument = 100;
  int values = 0;
  for (int document = 0; values < kCases; ++document) {
    std::wstring package;
    std::vector<std::wstring> expectedNames, expectedValues;
    for (int e = 0; e < kEventsPerDocument; ++e) {
      TStatXmlWriterImpl writer;
      const std::wstring name = texts.Next(), value = texts.Next();
      const std::wstring paramValue = texts.Next().substr(0, kMaxParamValueLength);
      writer.StartElement(L"event");
      writer.WriteAttribute(L"name", name);
      writer.WriteAttribute(L"value", value);
      writer.StartElement(L"param");
      writer.WriteAttribute(L"name", L"Result");
      writer.WriteAttribute(L"value", paramValue);
      writer.EndElement(L"param");
      writer.EndElement(L"event");
      package += writer.GetText();
      expectedNames.push_back(ExpectedAttributeValue(name));
      expectedValues.push_back(ExpectedAttributeValue(value));
      expectedValues.push_back(ExpectedAttributeValue(paramValue));
      values += 3;
    }
    std::wstring reason;
    ASSERT_TRUE(parser.Parse(PackageDocument(package), reason))
        << "document " << document << ": " << WideToUtf8(reason);
    // The parser reads back exactly what was meant, not merely something well-formed.
    ASSERT_EQ(expectedNames, parser.AttributeValues(L"event", L"name")) << "document " << document;
    std::vector<std::wstring> readValues;
    const auto eventValues = parser.AttributeValues(L"event", L"value");
    const auto paramValues = parser.AttributeValues(L"param", L"value");
    ASSERT_EQ(eventValues.size(), paramValues.size());
    for (size_t e = 0; e < eventValues.size(); ++e) {
      readValues.push_back(eventValues[e]);
      readValues.push_back(paramValues[e]);
    }
    ASSERT_EQ(expectedValues, readValues) << "document " << document;
  }
}

TEST(HostileInput, DownloadedHeadersNeverMisleadTheCutOffCheck) {
  // A PE32+ header whose certificate table entry the cases set, then mutate and cut at random.
  std::string header(0x200, '\0');
  header[0] = 'M', header[1] = 'Z', header[0x3C] = 0x80;
  header.replace(0x80, 4, std::string("PE\0\0", 4));
  header[0x98] = 0x0B, header[0x99] = 0x02;  // optional header magic 0x20B
  header[0x98 + 108] = 16;                    // sixteen data directories
  std::mt19937 random(1409);
  int cutOff = 0;
  for (int i = 0; i < kCases; ++i) {
    std::string head = header;
    for (int byte = 0; byte < 8; ++byte) head[0x98 + 112 + 32 + byte] = static_cast<char>(random());
    for (int flips = random() % 4; flips > 0; --flips) head[random() % head.size()] = static_cast<char>(random());
    head.resize(random() % (head.size() + 1));
    const uint64_t size = random() % 0x1'0000'0000ull * (1 + random() % 2);
    // A file may only be cut off below the end its headers declare: never beyond any 32-bit table's end.
    if (SignatureCutOff(head, size)) {
      ++cutOff;
      ASSERT_TRUE(SignatureCutOff(head, size / 2)) << "case " << i;
    }
    ASSERT_FALSE(SignatureCutOff(head, 0x2'0000'0000ull)) << "case " << i;
  }
  EXPECT_GT(cutOff, kCases / 10);  // the cases reach the check, not only the header's refusals
}
