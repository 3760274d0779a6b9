// Identifiers: the machine installation identifier read through WMI, GUID and time-stamp texts.
#include "statistics/StatUtils.h"
#include "framework/Strings.h"
#include "framework/Thread.h"
#include <algorithm>
#include <memory>
#include <optional>

std::wstring BytesToGroupedHex(const Encryption::TBytes& bytes) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring text;
  text.reserve(bytes.size() * 5 / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
    if (i % 2 == 1 && i + 1 < bytes.size()) text += L'-';
  }
  return text;
}

std::wstring HashTextSha1(std::wstring_view text) {
  TSHA1 sha;
  return BytesToGroupedHex(sha.HashText(text));
}

namespace {

[[noreturn]] void RaiseOle(HRESULT hr, std::wstring_view what) {
  throw EOleSysError(hr, FormatText(L"%s: %s", {what, SysErrorMessage(static_cast<unsigned long>(hr))}));
}

void CheckOle(HRESULT hr, std::wstring_view what) {
  if (FAILED(hr)) RaiseOle(hr, what);
}

// Arguments of a late-bound call, in the order the caller writes them; cleared on scope exit.
class TDispatchArgs {
public:
  TDispatchArgs() = default;
  TDispatchArgs(const TDispatchArgs&) = delete;
  TDispatchArgs& operator=(const TDispatchArgs&) = delete;
  ~TDispatchArgs() {
    for (auto& arg : FArgs) ::VariantClear(&arg);
  }
  void AddText(std::wstring_view text) {
    VARIANT& arg = Add();
    arg.vt = VT_BSTR;
    arg.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!arg.bstrVal) RaiseOle(E_OUTOFMEMORY, L"SysAllocStringLen");
  }
  void AddInt(LONG value) {
    VARIANT& arg = Add();
    arg.vt = VT_I4;
    arg.lVal = value;
  }
  // IDispatch::Invoke takes the arguments last to first.
  DISPPARAMS Params() {
    std::reverse_copy(FArgs.begin(), FArgs.end(), FReversed.begin());
    return DISPPARAMS{FReversed.data(), nullptr, static_cast<UINT>(FArgs.size()), 0};
  }

private:
  VARIANT& Add() {
    FArgs.emplace_back();
    ::VariantInit(&FArgs.back());
    FReversed.resize(FArgs.size());
    return FArgs.back();
  }
  std::vector<VARIANT> FArgs;
  std::vector<VARIANT> FReversed;  // shallow copies, owned by FArgs
};

// Late-bound call by name. Wine answers E_NOTIMPL to a bare property get, so a property is read
// with method and property-get together, as script hosts do.
void InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, TDispatchArgs& args, TVariant& result) {
  if (!object) RaiseOle(E_POINTER, FormatText(L"%s of a null object", {name}));
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  CheckOle(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), name);
  DISPPARAMS params = args.Params();
  EXCEPINFO error{};
  UINT badArg = 0;
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result.Get(), &error, &badArg);
  ::SysFreeString(error.bstrSource);
  ::SysFreeString(error.bstrDescription);
  ::SysFreeString(error.bstrHelpFile);
  CheckOle(hr, name);
}

constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

TComPtr<IDispatch> BindWmiServices() {
  TComPtr<IBindCtx> bindContext;
  CheckOle(::CreateBindCtx(0, bindContext.Out()), L"CreateBindCtx");
  TComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  wchar_t displayName[] = L"winmgmts:\\\\localhost\\root\\CIMV2";
  CheckOle(::MkParseDisplayName(bindContext.Get(), displayName, &eaten, moniker.Out()), L"MkParseDisplayName");
  TComPtr<IDispatch> services;
  CheckOle(moniker->BindToObject(bindContext.Get(), nullptr, IID_IDispatch, services.OutVoid()), L"BindToObject");
  return services;
}

TComPtr<IEnumVARIANT> EnumeratorOf(IDispatch* collection) {
  TDispatchArgs none;
  TVariant newEnum;
  InvokeByName(collection, L"_NewEnum", kPropertyGet, none, newEnum);
  VARIANT& value = newEnum.Get();
  IUnknown* unknown = value.vt == VT_UNKNOWN ? value.punkVal : value.vt == VT_DISPATCH ? value.pdispVal : nullptr;
  if (!unknown) RaiseOle(E_NOINTERFACE, L"_NewEnum");
  TComPtr<IEnumVARIANT> enumerator;
  CheckOle(unknown->QueryInterface(IID_IEnumVARIANT, enumerator.OutVoid()), L"IEnumVARIANT");
  return enumerator;
}

}  // namespace

TComPtr<IDispatch> WmiGetFirstObject(std::wstring_view className) {
  TComPtr<IDispatch> services = BindWmiServices();

  TDispatchArgs query;
  query.AddText(std::wstring(L"SELECT * FROM ").append(className));
  query.AddText(L"WQL");
  query.AddInt(0);  // wait until the result is complete
  TVariant objectSet;
  InvokeByName(services.Get(), L"ExecQuery", DISPATCH_METHOD, query, objectSet);
  if (objectSet.Get().vt != VT_DISPATCH) RaiseOle(E_NOINTERFACE, L"ExecQuery");

  TComPtr<IEnumVARIANT> enumerator = EnumeratorOf(objectSet.Get().pdispVal);
  TVariant element;
  ULONG fetched = 0;
  TComPtr<IDispatch> first;
  if (enumerator->Next(1, &element.Get(), &fetched) != S_OK || fetched != 1) return first;
  VARIANT& value = element.Get();
  if (value.vt == VT_DISPATCH && value.pdispVal)
    CheckOle(value.pdispVal->QueryInterface(IID_IDispatch, first.OutVoid()), L"IDispatch");
  else if (value.vt == VT_UNKNOWN && value.punkVal)
    CheckOle(value.punkVal->QueryInterface(IID_IDispatch, first.OutVoid()), L"IDispatch");
  return first;
}

std::wstring WmiPropertyText(IDispatch* object, const wchar_t* name) {
  TDispatchArgs none;
  TVariant value;
  InvokeByName(object, name, kPropertyGet, none, value);
  if (value.Get().vt == VT_NULL || value.Get().vt == VT_EMPTY) return {};
  TVariant text;
  CheckOle(::VariantChangeType(&text.Get(), &value.Get(), 0, VT_BSTR), name);
  BSTR bstr = text.Get().bstrVal;
  return std::wstring(bstr ? bstr : L"", bstr ? ::SysStringLen(bstr) : 0);
}

namespace {

std::wstring JoinProperties(IDispatch* object, std::initializer_list<const wchar_t*> names) {
  std::wstring text;
  for (const wchar_t* name : names) text += WmiPropertyText(object, name);
  return text;
}

}  // namespace

std::wstring GetProcessorIdText() {
  TComPtr<IDispatch> processor = WmiGetFirstObject(L"Win32_Processor");
  if (!processor) return {};
  std::wstring text = WmiPropertyText(processor.Get(), L"UniqueId");
  if (text.empty()) text = WmiPropertyText(processor.Get(), L"ProcessorId");
  if (!text.empty()) return text;
  text = WmiPropertyText(processor.Get(), L"Name");
  if (text.empty()) text = WmiPropertyText(processor.Get(), L"Manufacturer");
  return text + WmiPropertyText(processor.Get(), L"MaxClockSpeed");
}

std::wstring GetBiosIdText() {
  TComPtr<IDispatch> bios = WmiGetFirstObject(L"Win32_BIOS");
  return JoinProperties(bios.Get(), {L"Manufacturer", L"SMBIOSBIOSVersion", L"IdentificationCode", L"SerialNumber",
                                     L"ReleaseDate", L"Version"});
}

std::wstring GetBaseBoardIdText() {
  TComPtr<IDispatch> board = WmiGetFirstObject(L"Win32_BaseBoard");
  return JoinProperties(board.Get(), {L"Model", L"Manufacturer", L"Name", L"Product", L"SerialNumber"});
}

std::wstring ComposeMachineDescription(std::wstring_view productKey, std::wstring_view processor,
                                       std::wstring_view bios, std::wstring_view board) {
  std::wstring text = L"ProductID >> ";
  text.append(productKey).append(L"CPU >> ").append(processor);
  text.append(L"\nBIOS >> ").append(bios);
  text.append(L"\nBASE >> ").append(board);
  return text;
}

std::wstring QueryMachineInstallationId(std::wstring_view productKey) {
  try {
    const std::wstring processor = GetProcessorIdText();
    const std::wstring bios = GetBiosIdText();
    const std::wstring board = GetBaseBoardIdText();
    return HashTextSha1(ComposeMachineDescription(productKey, processor, bios, board));
  } catch (...) {
    // No identifier from this machine: the tracker falls back to a stored one.
    return {};
  }
}

namespace {
// COM for the thread that asks the machine, for as long as it asks.
class TComScope {
public:
  TComScope() : FInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~TComScope() {
    if (FInitialized) ::CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

private:
  bool FInitialized;
};
}  // namespace

std::wstring BoundedMachineQuery(std::function<std::wstring()> query, DWORD timeoutMs) {
  try {
    const std::optional<std::wstring> id = CallWithTimeout<std::wstring>(
        [query = std::move(query)] {
          TComScope com;
          return query();
        },
        timeoutMs);
    return id.value_or(std::wstring());
  } catch (...) {
    // No worker, or the query failed: no identifier from this machine.
    return {};
  }
}

std::wstring ComputeMachineInstallationId(std::wstring_view productKey) {
  return BoundedMachineQuery([key = std::wstring(productKey)] { return QueryMachineInstallationId(key); },
                             kMachineQueryTimeoutMs);
}

std::wstring CreateGuidText() {
  GUID guid;
  if (FAILED(::CoCreateGuid(&guid))) return {};
  LPOLESTR raw = nullptr;
  if (FAILED(::StringFromCLSID(guid, &raw)) || !raw) return {};
  std::unique_ptr<wchar_t, decltype(&::CoTaskMemFree)> text(raw, &::CoTaskMemFree);
  return std::wstring(text.get());
}

std::wstring FormatTimeStampId(const SYSTEMTIME& localTime, std::int64_t counter) {
  const std::int64_t tail = ((counter % 1000000) + 1000000) % 1000000;
  return IntToStr(localTime.wYear % 100, 2) + IntToStr(localTime.wMonth, 2) + IntToStr(localTime.wDay, 2) + L"-" +
         IntToStr(localTime.wHour, 2) + IntToStr(localTime.wMinute, 2) + IntToStr(localTime.wSecond, 2) + L"-" +
         IntToStr(tail);
}

std::wstring CreateTimeStampId() {
  LARGE_INTEGER counter;
  std::int64_t value;
  if (::QueryPerformanceCounter(&counter))
    value = counter.QuadPart;
  else
    value = static_cast<std::int64_t>(::GetTickCount());
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  return FormatTimeStampId(now, value);
}
