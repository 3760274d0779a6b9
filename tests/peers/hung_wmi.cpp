// Stands in for the system's WMI scripting library (wbemdisp.dll) on a machine whose WMI repository is
// damaged: asked for its objects (the "winmgmts:" moniker), it never answers.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** object) {
  if (object) *object = nullptr;
  ::Sleep(INFINITE);
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }
