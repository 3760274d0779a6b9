// Calls a delay-loaded function that cannot be had: "dll" one of a DLL that is nowhere, "function" one
// that its DLL (the system's version.dll) lacks. The program must end with the system's text, never
// with an unhandled exception.
#include <windows.h>
#include <cstring>
#include "framework/SystemLibraries.h"

extern "C" int TlAbsentFunction(void);   // tl_absent.dll
extern "C" int TlNoSuchFunction(void);   // VERSION.dll

int wmain(int argc, wchar_t** argv) {
  LimitDllSearchToSystem();
  if (argc > 1 && ::lstrcmpW(argv[1], L"dll") == 0) return TlAbsentFunction();
  if (argc > 1 && ::lstrcmpW(argv[1], L"function") == 0) return TlNoSuchFunction();
  return 0;  // nothing called: the program runs at all
}
