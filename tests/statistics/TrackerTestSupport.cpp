#include "tests/statistics/TrackerTestSupport.h"
#include <gtest/gtest.h>
#include <msxml2.h>
#include <algorithm>
#include <atomic>
#include "framework/Application.h"
#include "framework/Strings.h"
#include "tests/statistics/PlantLink.h"

namespace {

std::atomic<int> FolderCounter{0};

struct TBstr {
  explicit TBstr(const std::wstring& text) : Value(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  TBstr() = default;
  ~TBstr() { ::SysFreeString(Value); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  std::wstring Text() const { return Value ? std::wstring(Value, ::SysStringLen(Value)) : std::wstring(); }
  BSTR Value = nullptr;
};

TComPtr<IXMLDOMDocument> NewDomDocument() {
  TComPtr<IXMLDOMDocument> document;
  for (const wchar_t* progId : {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.3.0"}) {
    CLSID clsid;
    if (FAILED(::CLSIDFromProgID(progId, &clsid))) continue;
    if (SUCCEEDED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument, document.OutVoid())))
      break;
  }
  return document;
}

void ReadElement(IXMLDOMNode* node, TXmlElement& element) {
  TBstr name;
  node->get_nodeName(&name.Value);
  element.Name = name.Text();
  TComPtr<IXMLDOMNamedNodeMap> attributes;
  if (SUCCEEDED(node->get_attributes(attributes.Out())) && attributes) {
    long count = 0;
    attributes->get_length(&count);
    for (long i = 0; i < count; ++i) {
      TComPtr<IXMLDOMNode> attribute;
      if (FAILED(attributes->get_item(i, attribute.Out())) || !attribute) continue;
      TBstr attributeName, value;
      attribute->get_nodeName(&attributeName.Value);
      attribute->get_text(&value.Value);
      element.Attributes[attributeName.Text()] = value.Text();
    }
  }
  TComPtr<IXMLDOMNodeList> children;
  if (FAILED(node->get_childNodes(children.Out())) || !children) return;
  long count = 0;
  children->get_length(&count);
  for (long i = 0; i < count; ++i) {
    TComPtr<IXMLDOMNode> child;
    DOMNodeType type;
    if (FAILED(children->get_item(i, child.Out())) || !child || FAILED(child->get_nodeType(&type))) continue;
    if (type != NODE_ELEMENT) continue;
    element.Children.emplace_back();
    ReadElement(child.Get(), element.Children.back());
  }
}

}  // namespace

TTestFolder::TTestFolder(const std::wstring& stem) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  FPath = JoinPath(temp, stem + L"-" + IntToStr(::GetCurrentProcessId()) + L"-" + IntToStr(++FolderCounter));
  RemoveFolderTree(FPath);
  ::CreateDirectoryW(FPath.c_str(), nullptr);
}

TTestFolder::~TTestFolder() { RemoveFolderTree(FPath); }

void RemoveFolderTree(const std::wstring& folder) { RemoveTestTree(folder); }

bool FileExists(const std::wstring& fileName) {
  const DWORD attributes = ::GetFileAttributesW(fileName.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring ReadUtf8(const std::wstring& fileName) {
  TFileHandle file(::CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  TStatBytes bytes;
  std::uint8_t buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.Get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
    bytes.insert(bytes.end(), buffer, buffer + read);
  return Utf8BytesToText(bytes);
}

void WriteUtf8(const std::wstring& fileName, const std::wstring& text) {
  ASSERT_TRUE(WriteTextFile(fileName, text)) << "cannot write " << WideToUtf8(fileName);
}

std::vector<std::wstring> PackageFiles(const std::wstring& folder) {
  std::vector<std::wstring> names = ListFiles(folder, L"event-*.xml");
  std::sort(names.begin(), names.end());
  for (auto& name : names) name = JoinPath(folder, name);
  return names;
}

std::wstring TrackerDataFolder(const std::wstring& root, const std::wstring& productKey) {
  return JoinPath(JoinPath(JoinPath(root, L"Software Statistics Service"), productKey), L"2_1_0_15");
}

TStatEnvironment TestEnvironment(const std::wstring& root) {
  TStatEnvironment environment;
  environment.LocalAppDataFolder = [root] { return root; };
  environment.MachineInstallationId = [](std::wstring_view) { return std::wstring(kTestMachineId); };
  environment.ServiceHost = kClosedServiceHost;
  return environment;
}

void WriteCollectingSettings(const std::wstring& dataFolder, const wchar_t* collectData) {
  TTrackerSettings settings;
  settings.Delimiter = L'&';
  settings.SetValue(L"collect_data", collectData);
  settings.SetValue(L"wait_timeout", L"604800");
  std::wstring folder = dataFolder;
  for (size_t slash = folder.find(L'\\', 3); slash != std::wstring::npos; slash = folder.find(L'\\', slash + 1))
    ::CreateDirectoryW(folder.substr(0, slash).c_str(), nullptr);
  ::CreateDirectoryW(folder.c_str(), nullptr);
  WriteUtf8(JoinPath(dataFolder, L"settings.txt"), SettingsToText(settings, NowWholeSeconds()));
}

bool WaitUntil(const std::function<bool()>& condition, unsigned timeoutMs) {
  const DWORD start = ::GetTickCount();
  while (!condition()) {
    if (::GetTickCount() - start >= timeoutMs) return condition();
    Application->ProcessMessages();
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
  return true;
}

std::wstring TXmlElement::Attribute(const std::wstring& name) const {
  auto found = Attributes.find(name);
  return found == Attributes.end() ? std::wstring() : found->second;
}

bool ParseXml(const std::wstring& document, TXmlElement& root, std::wstring& error) {
  TComPtr<IXMLDOMDocument> dom = NewDomDocument();
  if (!dom) {
    error = L"no XML parser";
    return false;
  }
  dom->put_async(VARIANT_FALSE);
  TBstr text(document);
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (FAILED(dom->loadXML(text.Value, &loaded)) || loaded != VARIANT_TRUE) {
    TComPtr<IXMLDOMParseError> parseError;
    TBstr reason;
    if (SUCCEEDED(dom->get_parseError(parseError.Out())) && parseError) parseError->get_reason(&reason.Value);
    error = L"not well-formed: " + reason.Text();
    return false;
  }
  TComPtr<IXMLDOMElement> element;
  if (FAILED(dom->get_documentElement(element.Out())) || !element) {
    error = L"no document element";
    return false;
  }
  root = TXmlElement();
  ReadElement(element.Get(), root);
  return true;
}

std::vector<TXmlElement> ParsePackageEvents(const std::wstring& packageText) {
  TXmlElement package;
  std::wstring error;
  EXPECT_TRUE(ParseXml(PackageDocument(packageText), package, error)) << WideToUtf8(error);
  EXPECT_EQ(package.Name, L"package");
  EXPECT_EQ(package.Attribute(L"tracker"), L"1.0.0.1");
  return package.Children;
}

std::vector<TXmlElement> EventsInPackageFiles(const std::wstring& folder) {
  std::vector<TXmlElement> events;
  for (const std::wstring& file : PackageFiles(folder)) {
    std::vector<TXmlElement> some = ParsePackageEvents(ReadUtf8(file));
    events.insert(events.end(), some.begin(), some.end());
  }
  return events;
}

std::wstring EventTextOfLength(TTestTracker& tracker, size_t length, const std::wstring& name) {
  TSoftwareStatisticsEvent event(name, NowLocal());
  const size_t base = tracker.EventToXml(event).size() + std::wstring(L" value=\"\"").size();
  event.SetValue(std::wstring(length > base ? length - base : 1, L'x'));
  return tracker.EventToXml(event);
}
