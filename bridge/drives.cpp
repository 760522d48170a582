// The drives behind /ad, /adl and /adn: Windows drive kinds, Linux mounts.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "bridge/drives.h"

namespace bridge {

namespace {

bool IsUnder(const std::string& path, const std::string& dir) {
  if (dir == "/") return true;
  return path == dir || (path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/');
}

// Keeps only the folders not inside another one of the list.
std::vector<std::string> Outermost(std::vector<std::string> dirs) {
  std::sort(dirs.begin(), dirs.end());
  dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
  std::vector<std::string> result;
  for (const std::string& dir : dirs)
    if (std::none_of(result.begin(), result.end(),
                     [&](const std::string& outer) { return IsUnder(dir, outer); }))
      result.push_back(dir);
  return result;
}

// The mount point field of /proc/self/mounts writes blanks, tabs, line feeds
// and backslashes as octal escapes.
std::string UnescapeMountField(const std::string& field) {
  std::string result;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      result += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                  (field[i + 3] - '0'));
      i += 3;
    } else {
      result += field[i];
    }
  }
  return result;
}

bool IsNetworkFileSystem(const std::string& type) {
  static constexpr const char* kTypes[] = {
      "nfs",         "nfs4",           "cifs",        "smb3",      "smbfs",          "ncpfs",
      "afs",         "coda",           "9p",          "ceph",      "glusterfs",      "lustre",
      "davfs",       "fuse.sshfs",     "fuse.rclone", "fuse.s3fs", "fuse.glusterfs", "fuse.cephfs",
      "fuse.davfs2", "fuse.gvfsd-fuse"};
  return std::any_of(std::begin(kTypes), std::end(kTypes),
                     [&](const char* name) { return type == name; });
}

}  // namespace

DriveSelection SelectWindowsDrives(const std::vector<Drive>& drives, bool local, bool network) {
  DriveSelection selection;
  for (const Drive& drive : drives)
    if ((local && drive.kind == DriveKind::kLocal) ||
        (network && drive.kind == DriveKind::kNetwork))
      selection.roots.push_back(drive.root);
  return selection;
}

DriveSelection SelectPosixDrives(const std::string& mountsText, bool local, bool network) {
  // The kernel's own file systems are left out by the walk, for drives and
  // targets alike.
  std::vector<std::string> networkMounts;
  std::istringstream lines(mountsText);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, dir, type;
    if (!(fields >> device >> dir >> type)) continue;
    dir = UnescapeMountField(dir);
    if (dir.empty() || dir[0] != '/') continue;
    if (IsNetworkFileSystem(type)) networkMounts.push_back(dir);
  }

  DriveSelection selection;
  if (local) {
    selection.roots.push_back("/");
    if (!network)
      for (const std::string& dir : Outermost(networkMounts))
        if (dir != "/") selection.excludeFolderPaths.push_back(dir);
  } else if (network) {
    selection.roots = Outermost(networkMounts);
  }
  return selection;
}

}  // namespace bridge
