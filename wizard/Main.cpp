// Program start: the framework, the single wizard window, the message loop.
#include <windows.h>
#include "framework/Application.h"
#include "wizard/uMain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  TApplication app;
  app.Initialize();
  auto form = std::make_unique<TfmMain>();
  // The main window owns the taskbar button.
  app.SetMainWindow(form->Handle());
  form->Show();
  app.Run();
  return 0;
}
