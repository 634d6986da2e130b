// Morvane's entry point: the application object, the three windows, the
// message loop; or, started so by the program, its plug-in worker.
#include <windows.h>

#include "app/MainForm.h"
#include "app/app_forms.h"
#include "app/command_line.h"
#include "forms/application.h"
#include "worker/worker_serve.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Started by itself to run plug-ins of its own architecture: no window.
  if (worker::StartedAsWorker()) worker::Serve();
  // A plug-in folder may hold files that are not libraries: no system
  // error boxes for them.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  auto& application = forms::Application::Instance();
  try {
    application.Initialize();
    app::CreateForms();
    frmMain->LoadAtStart(app::CommandLineFiles(::GetCommandLineW()));
    application.Run();
  } catch (...) {
    application.HandleException(std::current_exception());
  }
  app::DestroyForms();
  return 0;
}
