// Pieces shared by fs_helpers.cpp and its platform files; not for callers
// outside support/ (tests excepted).
#pragma once

#include <string>

// The path beside executablePath that GetModuleRelativePath describes: name
// in place of the file name, or, for a name starting with ".", in place of
// the file name's extension (appended when the file name has none).
std::string PathBesideExecutable(const std::string& executablePath, const std::string& name);

// Linux: the temporary-files directory with one trailing "/": tmpdir ($TMPDIR) when
// set; else runtimeDir ($XDG_RUNTIME_DIR) when it is this user's alone; else
// sharedTemp ("/tmp") followed by "quorvel-<uid>", made with mode 0700 and
// taken only when it is this user's alone. Empty when none is.
std::string TemporaryDirectoryFrom(const char* tmpdir, const char* runtimeDir,
                                   const std::string& sharedTemp);
