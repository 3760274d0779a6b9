#include "framework/Exceptions.h"
#include "framework/Strings.h"
#include <windows.h>

void RaiseOSError(unsigned long code) { throw EOSError(code, SysErrorMessage(code)); }
void RaiseLastOSError() { RaiseOSError(::GetLastError()); }
