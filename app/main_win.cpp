// Windows entry point: shows the program's dialogs through the Win32 back-end
// and runs the one application object.
#include <windows.h>

#include "app/scan_app.h"
#include "base/dll_search_win.h"
#include "ui/application.h"
#include "ui/win32/win32_host.h"

// The application object, built during static initialisation.
ScanApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchPath();
  ui::Win32ModalRunner runner(instance);
  ui::SetModalRunner(&runner);
  if (ui::Application* app = ui::Application::Instance()) app->InitInstance();
  ui::SetModalRunner(nullptr);
  return 0;
}
