// The program's one error box: the caller's text, followed by the system's
// error code and description when there is an error value.
#pragma once

#include <string>

#include "base/system_error.h"

// The box's full text: text alone when code is 0 or the system has no
// description for it, otherwise text, "\n\n系统错误代码: 0x%X" and
// "\n系统错误信息: %s".
std::string FormatErrorBoxText(const std::string& text, SystemErrorCode code);
// The same with the failure's own description, when it has one, in place of
// the system's text for its code.
std::string FormatErrorBoxText(const std::string& text, const SystemError& error);

// Shows the box (no owner, OK button, error icon) and returns when it is
// closed; a test answers it through ModalAnswers instead.
void ShowErrorBox(const std::string& text, SystemErrorCode code);
void ShowErrorBox(const std::string& text, const SystemError& error);

// The system's own message box behind ShowErrorBox, one per platform
// (error_box_win.cpp, error_box_qt.cpp): text under caption with the error
// icon and an OK button, owned by no window; returns when the user has
// closed it.
void ShowSystemErrorBox(const std::string& text, const std::string& caption);
