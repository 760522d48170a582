// What the scan layer may ask of the user and tell the user, supplied by the
// window: the Yes/No question (warning icon, No as the default button; true
// only for Yes) and the program's error box.
#pragma once

#include <string>

#include "base/system_error.h"

class UserPrompts {
 public:
  virtual ~UserPrompts() = default;
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  // The error box: text with the system's description of code, if any.
  virtual void ShowError(const std::string& text, SystemErrorCode code) = 0;
};
