// The Win32 back-end of the dialog framework: dialogs are built from the
// program's resource templates by DialogBoxParamW and run by one dialog
// procedure that hands their commands to the dialog's command table.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/dialog.h"

namespace ui {

class Win32ModalRunner : public ModalRunner {
 public:
  // instance: the module that holds the templates and the icons; null means
  // the program's own executable.
  explicit Win32ModalRunner(HINSTANCE instance = nullptr);

  // Shows the dialog modally, owned by the innermost dialog this thread is
  // showing (so the about box sits over the main window and disables it).
  // Returns the result given to EndDialog, or -1 when the window could not be
  // created (for instance, no such template).
  int RunModal(Dialog& dialog) override;

 private:
  HINSTANCE instance_;
};

// The innermost dialog this thread shows through Win32ModalRunner, or null.
HWND ActiveModalDialog();

// Sees every accessible name a dialog gives one of its controls (through the
// system's accessibility property service), as the control and the name; an
// empty function stops it. For tests: not every system reads the names back.
using AccessibleNameObserver = std::function<void(HWND control, const std::string& name)>;
void SetAccessibleNameObserver(AccessibleNameObserver observer);

}  // namespace ui
