// The bridge's own walk of the targets and drives, the same for every engine:
// no depth limit; a link given as the target is followed and stands for the
// file or folder it names, links inside the tree are not followed; named
// pipes, sockets and devices are never opened; every folder or file that
// cannot be read is reported with its reason. On Windows every path is
// handled in its long form ("\\?\"), so neither depth nor length loses a
// file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bridge/scan_events.h"

namespace bridge {

struct WalkPlan {
  std::vector<std::string> targets;          // files or folders, as the user gave them
  bool recursive = false;                    // a target folder with everything below it
  std::vector<std::string> driveRoots;       // always with everything below them
  std::vector<std::string> excludedFolders;  // left out with all below (drives' kernel mounts)
  std::vector<std::string> excludeFiles;     // --exclude patterns (regular expressions)
  std::vector<std::string> excludeFolders;   // --exclude-dir patterns
};

struct WalkSink {
  // A file to scan; false ends the walk (the scan is being stopped).
  std::function<bool(FileToScan file)> file;
  std::function<void(const std::string& path, SkipReason why)> skipped;
  // A target, folder or file that cannot be read, with the reason in the
  // user's words.
  std::function<void(const std::string& path, const std::string& reason)> error;
};

// Walks the plan's targets and drive roots in order, calling the sink from
// the calling thread. Returns the number of folders walked.
long Walk(const WalkPlan& plan, const WalkSink& sink);

}  // namespace bridge
