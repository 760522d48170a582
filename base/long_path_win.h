// Windows: paths past MAX_PATH for the wide file calls.
#pragma once

#include <string>

// path in the extended-length form ("\\?\C:\..." or "\\?\UNC\server\share\..."),
// which the system takes literally and without the MAX_PATH limit: first made
// absolute and normalised the way the system treats a plain path. A path
// already in that form stays as it is; a device path ("\\.\...") stays a
// device path. path itself when the system cannot make it absolute.
std::wstring ExtendedLengthPath(const std::wstring& path);
