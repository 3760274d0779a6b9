// Program start: the framework, the single wizard window, the message loop.
#include <windows.h>
#include "framework/Application.h"
#include "framework/SystemLibraries.h"
#include "wizard/uMain.h"
#include "wizard/uSingleInstance.h"
#include "wizard/uStringRes.h"

namespace {
// Of the session ("Local\"): another user's wizard on the same machine is not this one's business.
constexpr wchar_t kSingleInstanceMutex[] = L"Local\\Corvanta.Tradeloom.Setup";
// For a wizard still starting, and for one that is closing: its close is bounded by a few seconds.
constexpr DWORD kWaitForRunningWindowMs = 10000;
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LimitDllSearchToSystem();
  TSingleInstance instance(kSingleInstanceMutex);
  if (!instance.IsFirst() &&
      instance.ActivateRunning(TForm::WindowClassName(), LoadStr(sCaption).c_str(), kWaitForRunningWindowMs))
    return 0;
  TApplication app;
  app.SetTitle(LoadStr(sCaption));  // the caption of a box that reports a failed start
  std::unique_ptr<TfmMain> form;
  // An error while the application, the window is made or first shown is reported like any other, not
  // left to abort the process.
  const bool shown = GuardedCall(false, [&form, &app] {
    app.Initialize();
    form = std::make_unique<TfmMain>();
    // The main window owns the taskbar button.
    app.SetMainWindow(form->Handle());
    app.SetMainForm(form.get());
    form->Show();
    return true;
  });
  if (!shown) return 1;
  app.Run();
  return 0;
}
