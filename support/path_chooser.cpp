#include "support/path_chooser.h"

std::string PathChooser::PrepareInitialFileName(const std::string& name) {
  // The picker's record holds the name with its terminating zero in
  // kInitialNameLimit bytes. A longer name is dropped whole instead of being
  // cut: cutting could split a character and would name a different file.
  if (name.size() >= kInitialNameLimit) return std::string();
  return name;
}
