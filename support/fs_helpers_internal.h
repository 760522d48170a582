// Pieces shared by fs_helpers.cpp and its platform files; not for callers
// outside support/ (tests excepted).
#pragma once

#include <string>

// The path beside executablePath that GetModuleRelativePath describes: name
// in place of the file name, or, for a name starting with ".", in place of
// the file name's extension (appended when the file name has none).
std::string PathBesideExecutable(const std::string& executablePath, const std::string& name);
