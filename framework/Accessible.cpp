#include "framework/Accessible.h"
#include "framework/Guarded.h"
#include "framework/Handles.h"
#include "framework/SystemLibraries.h"
#include <oleacc.h>

namespace {
// Defined here: mingw-w64's oleacc import library gives a code stub for this name instead of the GUID.
constexpr IID kIIDAccessible = {0x618736E0, 0x3C3D, 0x11CF, {0x81, 0x0C, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
// What the system's object knows better than the control: whether it shows and has the focus.
constexpr long kSystemStates = STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN | STATE_SYSTEM_FOCUSED | STATE_SYSTEM_UNAVAILABLE;

using TCreateStdAccessibleObject = HRESULT(WINAPI*)(HWND, LONG, REFIID, void**);
using TLresultFromObject = LRESULT(WINAPI*)(REFIID, WPARAM, LPUNKNOWN);
using TAccessibleObjectFromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);

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

// The IAccessible handed to readers: what the window's owner describes while it is connected (the
// window itself and the parts it draws), the rest from the system's object for the window. Every method
// that runs the owner's code is guarded: a reader's question never ends the process.
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

  // IAccessible: role, name, value, state and action, from the owner where it describes them.
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* out) override {
    return Text(child, out, &TAccessibleInfo::Name, &IAccessible::get_accName);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* out) override {
    return Text(child, out, &TAccessibleInfo::Value, &IAccessible::get_accValue);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* out) override {
    return Text(child, out, &TAccessibleInfo::DefaultAction, &IAccessible::get_accDefaultAction);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* out) override {
    return Number(child, out, [](const TAccessibleInfo& info) { return info.Role; }, &IAccessible::get_accRole);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    auto state = [this, &child](const TAccessibleInfo& info) { return info.State | (IsSelf(child) ? SystemState() : 0); };
    return Number(child, out, state, &IAccessible::get_accState);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) noexcept override {
    return GuardedComCall([&] {
      TAccessibleInfo info;
      bool system = false;
      HRESULT hr = Describe(child, info, system);
      if (system) return FStandard->accDoDefaultAction(child);
      if (FAILED(hr)) return hr;
      if (!IsSelf(child) || info.DefaultAction.empty() || !FOwner->DoDefaultAction) return DISP_E_MEMBERNOTFOUND;
      FOwner->DoDefaultAction();
      return S_OK;
    });
  }

  // IAccessible: the children, where the owner lists them.
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* out) noexcept override {
    return GuardedComCall([&] {
      if (!OwnChildren()) return FStandard->get_accChildCount(out);
      if (!out) return E_POINTER;
      *out = FOwner->ChildCount();
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) noexcept override {
    return GuardedComCall([&] {
      if (!OwnChildren()) return FStandard->get_accChild(child, out);
      if (!out) return E_POINTER;
      *out = nullptr;
      TAccessibleChild part;
      if (child.vt != VT_I4 || !FOwner->Child(child.lVal, part)) return E_INVALIDARG;
      return part.Window ? WindowObject(part.Window, out) : S_FALSE;  // a drawn part answers through this object
    });
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* w, long* h, VARIANT child) noexcept override {
    return GuardedComCall([&] {
      TAccessibleChild part;
      if (IsSelf(child) || !OwnChildren() || !FOwner->Child(child.lVal, part) || part.Window)
        return FStandard->accLocation(x, y, w, h, child);
      if (!x || !y || !w || !h) return E_POINTER;
      *x = part.Screen.left;
      *y = part.Screen.top;
      *w = part.Screen.right - part.Screen.left;
      *h = part.Screen.bottom - part.Screen.top;
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* out) noexcept override {
    return GuardedComCall([&] {
      if (!OwnChildren() || !out || start.vt != VT_I4) return FStandard->accNavigate(direction, start, out);
      const long count = FOwner->ChildCount();
      long id = 0;
      if (start.lVal == CHILDID_SELF && direction == NAVDIR_FIRSTCHILD) id = 1;
      else if (start.lVal == CHILDID_SELF && direction == NAVDIR_LASTCHILD) id = count;
      else if (start.lVal != CHILDID_SELF && direction == NAVDIR_NEXT) id = start.lVal + 1;
      else if (start.lVal != CHILDID_SELF && direction == NAVDIR_PREVIOUS) id = start.lVal - 1;
      else return FStandard->accNavigate(direction, start, out);
      ::VariantInit(out);
      if (id < 1 || id > count) return S_FALSE;
      return Element(id, out);
    });
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* out) noexcept override {
    return GuardedComCall([&] {
      if (OwnChildren() && out) {
        TAccessibleChild part;
        for (long id = 1, count = FOwner->ChildCount(); id <= count; ++id)
          if (FOwner->Child(id, part) && !part.Window && ::PtInRect(&part.Screen, POINT{x, y})) {
            out->vt = VT_I4;
            out->lVal = id;
            return S_OK;
          }
      }
      return FStandard->accHitTest(x, y, out);
    });
  }

  // IAccessible: the system's object for the window.
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* out) override {
    return FStandard->get_accDescription(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override { return FStandard->get_accParent(out); }
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
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
  bool OwnChildren() const { return FOwner && FOwner->ChildCount && FOwner->Child && FOwner->ChildCount() > 0; }

  // What the owner says of the window itself or of a part it draws; system: the system's object answers.
  HRESULT Describe(const VARIANT& child, TAccessibleInfo& info, bool& system) const {
    system = false;
    if (!FOwner) return RPC_E_DISCONNECTED;
    if (IsSelf(child)) {
      system = !FOwner->Describe || !FOwner->Describe(info);
      return S_OK;
    }
    TAccessibleChild part;
    if (child.vt != VT_I4 || !OwnChildren() || !FOwner->Child(child.lVal, part) || part.Window) return E_INVALIDARG;
    info = part.Info;
    return S_OK;
  }

  using TStandardNumber = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, VARIANT*);
  template <typename Part>
  HRESULT Number(const VARIANT& child, VARIANT* out, Part part, TStandardNumber standard) const noexcept {
    return GuardedComCall([&] {
      TAccessibleInfo info;
      bool system = false;
      HRESULT hr = Describe(child, info, system);
      if (system) return (FStandard.Get()->*standard)(child, out);
      if (FAILED(hr) || !out) return FAILED(hr) ? hr : E_POINTER;
      out->vt = VT_I4;
      out->lVal = part(info);
      return S_OK;
    });
  }

  long SystemState() const {
    VARIANT self, state;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    ::VariantInit(&state);
    return SUCCEEDED(FStandard->get_accState(self, &state)) && state.vt == VT_I4 ? state.lVal & kSystemStates : 0;
  }

  using TStandardText = HRESULT (STDMETHODCALLTYPE IAccessible::*)(VARIANT, BSTR*);
  HRESULT Text(const VARIANT& child, BSTR* out, std::wstring TAccessibleInfo::*part, TStandardText standard) const noexcept {
    return GuardedComCall([&] {
      TAccessibleInfo info;
      bool system = false;
      HRESULT hr = Describe(child, info, system);
      if (system) return (FStandard.Get()->*standard)(child, out);
      return FAILED(hr) ? hr : TextOut(info.*part, out);
    });
  }

  HRESULT WindowObject(HWND window, IDispatch** out) const {
    auto fromWindow = OleaccFunction<TAccessibleObjectFromWindow>(FOleacc, "AccessibleObjectFromWindow");
    return fromWindow ? fromWindow(window, OBJID_WINDOW, IID_IDispatch, reinterpret_cast<void**>(out)) : E_FAIL;
  }

  HRESULT Element(long id, VARIANT* out) const {
    TAccessibleChild part;
    if (!FOwner->Child(id, part)) return S_FALSE;
    if (!part.Window) {
      out->vt = VT_I4;
      out->lVal = id;
      return S_OK;
    }
    out->vt = VT_DISPATCH;
    return WindowObject(part.Window, &out->pdispVal);
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
  const bool describesItself = Describe && Describe(probe);
  if (static_cast<LONG>(lParam) != OBJID_CLIENT || !(describesItself || (ChildCount && ChildCount() > 0))) return 0;
  TModule oleacc(LoadSystemLibrary(L"oleacc.dll"));
  auto lresultFromObject = OleaccFunction<TLresultFromObject>(oleacc, "LresultFromObject");
  if (!lresultFromObject) return 0;
  if (!FObject) {
    auto createStandard = OleaccFunction<TCreateStdAccessibleObject>(oleacc, "CreateStdAccessibleObject");
    TComPtr<IAccessible> standard;
    if (!createStandard || FAILED(createStandard(window, OBJID_CLIENT, kIIDAccessible, standard.OutVoid())) || !standard)
      return 0;
    FObject = TComPtr<TAccessibleObject>(
        new TAccessibleObject(this, TModule(LoadSystemLibrary(L"oleacc.dll")), std::move(standard)));
  }
  handled = true;
  return lresultFromObject(kIIDAccessible, wParam, static_cast<IAccessible*>(FObject.Get()));
}

void TAccessibility::Notify(HWND window, DWORD event, LONG child) {
  if (window) ::NotifyWinEvent(event, window, OBJID_CLIENT, child);
}
