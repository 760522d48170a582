// The drives behind /ad, /adl and /adn: Windows drive kinds, Linux mounts.
#pragma once

#include <string>
#include <vector>

namespace bridge {

enum class DriveKind { kLocal, kNetwork, kOther };
struct Drive {
  std::string root;  // "C:\"
  DriveKind kind;
};
struct DriveSelection {
  std::vector<std::string> roots;
  std::vector<std::string> excludeFolderPaths;  // left out with everything below them (unnamed)
};
// Windows: fixed (and RAM) drives are local, remote drives network drives;
// removable media and CD drives are never taken.
DriveSelection SelectWindowsDrives(const std::vector<Drive>& drives, bool local, bool network);
// Linux, from the text of /proc/self/mounts: the local drives are "/"
// (without network mounts unless those are wanted too; the walk leaves the
// kernel's own file systems out); the network drives are the mounted network
// file systems.
DriveSelection SelectPosixDrives(const std::string& mountsText, bool local, bool network);

// The drives of this machine (system_posix.cpp, system_win.cpp).
DriveSelection GatherDrives(bool local, bool network);

}  // namespace bridge
