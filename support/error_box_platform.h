// The system's own message box behind ShowErrorBox; defined per platform
// (error_box_win.cpp, error_box_qt.cpp).
#pragma once

#include <string>

// Shows text under caption with the error icon and an OK button, owned by no
// window, and returns when the user has closed it.
void ShowSystemErrorBox(const std::string& text, const std::string& caption);
