#include "wizard/uTaskbarProgress.h"

ITaskbarList3* TTaskbarProgress::List() {
  if (!FTried) {
    FTried = true;
    if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                     FList.OutVoid())) &&
        FAILED(FList->HrInit()))
      FList.Reset();
  }
  return FList.Get();
}

void TTaskbarProgress::SetState(TBPFLAG state) {
  // Nothing to clear before any progress was shown: the window's start does not load the shell's list.
  if (state == TBPF_NOPROGRESS && !FList) return;
  if (ITaskbarList3* list = List()) list->SetProgressState(FWindow, state);
}

void TTaskbarProgress::SetValue(int position, int max) {
  if (max <= 0) return Indeterminate();
  if (ITaskbarList3* list = List()) {
    list->SetProgressState(FWindow, TBPF_NORMAL);
    list->SetProgressValue(FWindow, static_cast<ULONGLONG>(position < 0 ? 0 : position), static_cast<ULONGLONG>(max));
  }
}
