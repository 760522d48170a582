// Linux: the questions about files that the window, its scanner start and the
// ClamAV bridge all ask.
#pragma once

#include <string>

// A regular file (links followed) that this process may execute.
bool IsExecutableFile(const std::string& path);
// 0 for such a file, else why not: the errno of the failed look or access
// check, EACCES for what is no regular file.
int ExecutableFileError(const std::string& path);

// The first executable file called name in the folders of PATH (the usual
// /usr/local/bin:/usr/bin:/bin when PATH is unset or empty). Only absolute
// folders are searched: an empty or relative entry would mean the current
// folder. Empty when there is none.
std::string FindOnPath(const std::string& name);

// A directory itself (not a link to one) of this user's that no one else may
// enter or write to.
bool IsPrivateDirectory(const std::string& path);
