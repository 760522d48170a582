#include "scan_app.h"

#include "main_dialog.h"

bool ScanApp::InitInstance() {
  MainDialog dialog;
  dialog.DoModal();
  // The program ends with the window; nothing is saved.
  return false;
}
