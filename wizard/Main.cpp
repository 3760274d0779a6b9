// Program start: the framework, the single wizard window, the message loop.
#include <windows.h>
#include "framework/Application.h"
#include "wizard/uMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  TApplication app;
  app.Initialize();
  std::unique_ptr<TfmMain> form;
  // An error while the window is made is reported like any other, not left to abort the process.
  GuardedCall([&form] { form = std::make_unique<TfmMain>(); });
  if (!form) return 1;
  // The main window owns the taskbar button.
  app.SetMainWindow(form->Handle());
  app.SetMainForm(form.get());
  form->Show();
  app.Run();
  return 0;
}
