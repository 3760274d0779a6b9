#pragma once
// One move-only owner for every kind of Windows handle.
#include <windows.h>
#include <wininet.h>
#include <objbase.h>
#include <oleauto.h>
#include <utility>

template <typename Traits>
class TOwner {
public:
  using Type = typename Traits::Type;
  TOwner() noexcept : FValue(Traits::Empty()) {}
  explicit TOwner(Type value) noexcept : FValue(value) {}
  TOwner(TOwner&& other) noexcept : FValue(other.Release()) {}
  TOwner& operator=(TOwner&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TOwner(const TOwner&) = delete;
  TOwner& operator=(const TOwner&) = delete;
  ~TOwner() { Reset(); }

  Type Get() const noexcept { return FValue; }
  explicit operator bool() const noexcept { return FValue != Traits::Empty(); }
  void Reset(Type value = Traits::Empty()) noexcept {
    if (FValue != Traits::Empty()) Traits::Close(FValue);
    FValue = value;
  }
  Type Release() noexcept { return std::exchange(FValue, Traits::Empty()); }
  // For APIs that hand a new handle back through a pointer argument.
  Type* Out() noexcept {
    Reset();
    return &FValue;
  }

private:
  Type FValue;
};

struct THandleTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct TFileHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::CloseHandle(h); }
};
struct TFindHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { ::FindClose(h); }
};
struct TRegKeyTraits {
  using Type = HKEY;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::RegCloseKey(h); }
};
struct TInternetHandleTraits {
  using Type = HINTERNET;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::InternetCloseHandle(h); }
};
struct TGdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::DeleteObject(h); }
};
struct TMemoryDCTraits {
  using Type = HDC;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::DeleteDC(h); }
};
struct TWindowTraits {
  using Type = HWND;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::DestroyWindow(h); }
};
struct TModuleTraits {
  using Type = HMODULE;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { ::FreeLibrary(h); }
};

using THandle = TOwner<THandleTraits>;          // threads, processes, events
using TFileHandle = TOwner<TFileHandleTraits>;  // CreateFile
using TFindHandle = TOwner<TFindHandleTraits>;  // FindFirstFile
using TRegKey = TOwner<TRegKeyTraits>;
using TInternetHandle = TOwner<TInternetHandleTraits>;
using TGdiObject = TOwner<TGdiObjectTraits>;
using TMemoryDC = TOwner<TMemoryDCTraits>;
using TWindowHandle = TOwner<TWindowTraits>;
using TModule = TOwner<TModuleTraits>;

// A solid brush of the colour last asked for, made anew only when the colour changes.
class TSolidBrush {
public:
  HBRUSH Of(COLORREF color);
private:
  TGdiObject FBrush;
  COLORREF FColor = 0;
};

// A DC borrowed from a window with GetDC.
class TWindowDC {
public:
  explicit TWindowDC(HWND wnd) : FWnd(wnd), FDC(::GetDC(wnd)) {}
  ~TWindowDC() { if (FDC) ::ReleaseDC(FWnd, FDC); }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  HDC Get() const { return FDC; }
private:
  HWND FWnd;
  HDC FDC;
};

// One paint of a window: BeginPaint now, EndPaint when the scope ends, also when the painting fails
// (the caret hidden for the paint shows again, the DC goes back).
class TPaintDC {
public:
  explicit TPaintDC(HWND wnd) : FWnd(wnd), FDC(::BeginPaint(wnd, &FPaint)) {}
  ~TPaintDC() { ::EndPaint(FWnd, &FPaint); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  HDC Get() const { return FDC; }
  const RECT& Area() const { return FPaint.rcPaint; }
private:
  HWND FWnd;
  PAINTSTRUCT FPaint{};
  HDC FDC;
};

// Selects a GDI object into a DC for the lifetime of the scope.
class TSelectObject {
public:
  TSelectObject(HDC dc, HGDIOBJ obj) : FDC(dc), FOld(::SelectObject(dc, obj)) {}
  ~TSelectObject() { ::SelectObject(FDC, FOld); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;
private:
  HDC FDC;
  HGDIOBJ FOld;
};

// COM interface pointer holder.
template <typename I>
class TComPtr {
public:
  TComPtr() = default;
  explicit TComPtr(I* p) : FPtr(p) {}  // takes over one reference
  TComPtr(TComPtr&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  TComPtr& operator=(TComPtr&& o) noexcept {
    if (this != &o) { Reset(); FPtr = std::exchange(o.FPtr, nullptr); }
    return *this;
  }
  TComPtr(const TComPtr&) = delete;
  TComPtr& operator=(const TComPtr&) = delete;
  ~TComPtr() { Reset(); }
  I* Get() const { return FPtr; }
  I* operator->() const { return FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }
  void Reset() { if (FPtr) { FPtr->Release(); FPtr = nullptr; } }
  I** Out() { Reset(); return &FPtr; }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
private:
  I* FPtr = nullptr;
};

// VARIANT that is cleared on scope exit.
class TVariant {
public:
  TVariant() { ::VariantInit(&FValue); }
  ~TVariant() { ::VariantClear(&FValue); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  VARIANT* operator&() { return &FValue; }
  VARIANT& Get() { return FValue; }
private:
  VARIANT FValue;
};
