// Windows entry point: shows the program's dialogs through the Win32 back-end
// and runs the one application object.
#include <windows.h>

#include "application.h"
#include "scan_app.h"
#include "win32_host.h"

// The application object, built during static initialisation.
ScanApp theApp;

namespace {

// DLLs loaded by name come only from the system directory, never from the
// program's folder or the current directory (DLL planting). The call is
// looked up at run time: older systems without it still start.
void RestrictDllSearchPath() {
  SetDllDirectoryW(L"");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  RestrictDllSearchPath();
  ui::Win32ModalRunner runner(instance);
  ui::SetModalRunner(&runner);
  if (ui::Application* app = ui::Application::Instance()) app->InitInstance();
  ui::SetModalRunner(nullptr);
  return 0;
}
