#pragma once
// The progress shown on the window's taskbar button, as a Windows user expects from a setup program.
#include <windows.h>
#include <shobjidl.h>
#include "framework/Handles.h"

class TTaskbarProgress {
public:
  explicit TTaskbarProgress(HWND window) : FWindow(window) {}
  void Clear() { SetState(TBPF_NOPROGRESS); }
  void Indeterminate() { SetState(TBPF_INDETERMINATE); }
  // A maximum of -1 (unknown size) shows as indeterminate.
  void SetValue(int position, int max);

private:
  void SetState(TBPFLAG state);
  ITaskbarList3* List();  // created on first use, so the window's start does not wait for the shell
  HWND FWindow;
  TComPtr<ITaskbarList3> FList;
  bool FTried = false;
};
