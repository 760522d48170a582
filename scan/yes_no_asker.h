// The Yes/No question the window offers to the scan request: warning icon,
// No as the default button. True only for Yes.
#pragma once

#include <string>

class YesNoAsker {
 public:
  virtual ~YesNoAsker() = default;
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
};
