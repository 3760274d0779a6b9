#include "framework/Accessible.h"
#include "framework/Handles.h"
#include <oleacc.h>

namespace {
// Defined here: mingw-w64's oleacc import library gives a code stub for this name instead of the GUID.
constexpr IID kIIDAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// What the system's object knows better than the control: whether it shows and has the focus.
constexpr long kSystemStates = STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_UNAVAILABLE;

using TCreateStdAccessibleObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);

template <typename F>
F OleaccFunction(const TModule& oleacc, const char* name) {
  return oleacc ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(oleacc.Get(), name))) : nullptr;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

HRESULT TextOut(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (text.empty()) return S_FALSE;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}
}  // namespace

// The IAccessible handed to readers: role, name, value, state and the default action come from the
// window's owner while it is connected; the rest from the system's object for the window.
class TAccessibleObject final : public IAccessible {
public:
  TAccessibleObject(TAccessibility* owner, TModule oleacc, TComPtr<IAccessible> standard)
      : FOwner(owner), FOleacc(std::move(oleacc)), FStandard(std::move(standard)) {}
  void Disconnect() { FOwner = nullptr; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kIIDAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG refs = ::InterlockedDecrement(&FRefs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  // IDispatch: readers use the interface's own methods.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible: what the owner describes.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    return Described(child, out, [](const TAccessibleInfo& i) { return i.Name; });
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return Described(child, out, [](const TAccessibleInfo& i) { return i.Value; });
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return Described(child, out, [](const TAccessibleInfo& i) { return i.DefaultAction; });
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    TAccessibleInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr) || !out) return FAILED(hr) ? hr : E_POINTER;
    out->vt = VT_I4;
    out->lVal = info.Role;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    TAccessibleInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr) || !out) return FAILED(hr) ? hr : E_POINTER;
    VARIANT system;
    ::VariantInit(&system);
    long state = info.State;
    if (SUCCEEDED(FStandard->get_accState(child, &system)) && system.vt == VT_I4) state |= system.lVal & kSystemStates;
    out->vt = VT_I4;
    out->lVal = state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    TAccessibleInfo info;
    HRESULT hr = Describe(child, info);
    if (FAILED(hr)) return hr;
    if (info.DefaultAction.empty() || !FOwner->DoDefaultAction) return DISP_E_MEMBERNOTFOUND;
    FOwner->DoDefaultAction();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return FStandard->get_accDescription(child, out);
  }

  // IAccessible: the system's object for the window.
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override { return FStandard->get_accParent(out); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* out) override { return FStandard->get_accChildCount(out); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return FStandard->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* out) override { return FStandard->get_accHelp(child, out); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    return FStandard->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* out) override {
    return FStandard->get_accKeyboardShortcut(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override { return FStandard->get_accFocus(out); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return FStandard->get_accSelection(out); }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return FStandard->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) override {
    return FStandard->accLocation(x, y, w, h, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long dir, VARIANT start, VARIANT* out) override {
    return FStandard->accNavigate(dir, start, out);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) override { return FStandard->accHitTest(x, y, out); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
  HRESULT Describe(const VARIANT& child, TAccessibleInfo& info) const {
    if (!IsSelf(child)) return E_INVALIDARG;  // no children of its own
    if (!FOwner || !FOwner->Describe || !FOwner->Describe(info)) return RPC_E_DISCONNECTED;
    return S_OK;
  }
  template <typename Part>
  HRESULT Described(const VARIANT& child, BSTR* out, Part part) const {
    TAccessibleInfo info;
    HRESULT hr = Describe(child, info);
    return FAILED(hr) ? hr : TextOut(part(info), out);
  }

  LONG FRefs = 1;
  TAccessibility* FOwner;  // not owned; none once the window's owner has gone
  TModule FOleacc;         // keeps the system's object's code loaded
  TComPtr<IAccessible> FStandard;
};

TAccessibility::TAccessibility() = default;
TAccessibility::~TAccessibility() { Disconnect(); }

void TAccessibility::Disconnect() {
  if (!FObject) return;
  FObject->Disconnect();
  FObject.Reset();
}

LRESULT TAccessibility::Answer(HWND window, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  TAccessibleInfo probe;
  if (static_cast<LONG>(lParam) != OBJID_CLIENT || !Describe || !Describe(probe)) return 0;
  TModule oleacc(::LoadLibraryW(L"oleacc.dll"));
  auto lresultFromObject = OleaccFunction<TLresultFromObject>(oleacc, "LresultFromObject");
  if (!lresultFromObject) return 0;
  if (!FObject) {
    auto createStandard = OleaccFunction<TCreateStdAccessibleObject>(oleacc, "CreateStdAccessibleObject");
    TComPtr<IAccessible> standard;
    if (!createStandard || FAILED(createStandard(window, OBJID_CLIENT, kIIDAccessible, standard.OutVoid())) || !standard)
      return 0;
    FObject = TComPtr<TAccessibleObject>(
        new TAccessibleObject(this, TModule(::LoadLibraryW(L"oleacc.dll")), std::move(standard)));
  }
  handled = true;
  return lresultFromObject(kIIDAccessible, wParam, static_cast<IAccessible*>(FObject.Get()));
}

void TAccessibility::Notify(HWND window, DWORD event) {
  if (window) ::NotifyWinEvent(event, window, OBJID_CLIENT, CHILDID_SELF);
}
