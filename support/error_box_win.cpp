#include <windows.h>

#include "support/error_box.h"
#include "base/utf_win.h"

void ShowSystemErrorBox(const std::string& text, const std::string& caption) {
  // No owner: the main window stays usable while the box is shown.
  MessageBoxW(nullptr, Widen(text).c_str(), Widen(caption).c_str(), MB_OK | MB_ICONERROR);
}
