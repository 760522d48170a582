#include "app/scan_app.h"

#include "app/main_dialog.h"

bool ScanApp::InitInstance() {
  MainDialog dialog;
  dialog.DoModal();
  // The program ends with the window; nothing is saved.
  return false;
}
