// The bridge's own walk of the targets and drives, the same for every engine:
// no depth limit; a link given as the target is followed and stands for the
// file or folder it names, links inside the tree are not followed; named
// pipes, sockets and devices are never opened; every folder or file that
// cannot be read is reported with its reason. On Windows every path is
// handled in its long form ("\\?\"), so neither depth nor length loses a
// file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/scan_events.h"

namespace bridge {

struct WalkPlan {
  std::vector<std::string> targets;     // files or folders, as the user gave them
  bool recursive = false;               // a target folder with everything below it
  std::vector<std::string> driveRoots;  // always with everything below them
  // Folders by their exact paths, left out with all below (network mounts not taken).
  std::vector<std::string> excludeFolderPaths;
  std::vector<std::string> excludeFilePatterns;    // --exclude (regular expressions)
  std::vector<std::string> excludeFolderPatterns;  // --exclude-dir
  // The bridge's own files and folders (its report, the quarantine, the
  // engine's temporary folder): left out, with everything below them,
  // wherever the walk meets them under whatever name (by identity).
  std::vector<std::string> ownPaths;
};

struct WalkSink {
  // A file to scan; false ends the walk (the scan is being stopped).
  std::function<bool(FileToScan file)> file;
  std::function<void(const std::string& path, SkipReason why)> skipped;
  // A target, folder or file that cannot be read, with the reason in the
  // user's words.
  std::function<void(const std::string& path, const std::string& reason)> error;
  // Left out with everything below, named once each: one of the bridge's
  // own paths, or a file system of the kernel met inside a tree. `why` is
  // texts::kLeftOutOwn or texts::kLeftOutPseudo.
  std::function<void(const std::string& path, const char* why)> leftOut;
};

// Walks the plan's targets and drive roots in order, calling the sink from
// the calling thread. Returns the number of folders walked.
long Walk(const WalkPlan& plan, const WalkSink& sink);

// A folder of the scan's own for the engine's temporary files, made in the
// system's temporary folder and given to the engine through the
// environment (TMPDIR; TEMP and TMP on Windows), so that the walk can leave
// it out without leaving out the system's temporary folder. Gone, and the
// environment as it was, when this goes away; on Linux gone also when the
// bridge ends otherwise (a stop, a crash). path() is empty when no folder
// could be made (the engine then uses the system's own).
class ScanTempFolder {
 public:
  ScanTempFolder();
  ~ScanTempFolder();
  ScanTempFolder(const ScanTempFolder&) = delete;
  ScanTempFolder& operator=(const ScanTempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;  // variable, value
  int keeper_ = -1;  // Linux: the pipe whose end has the folder removed
};

}  // namespace bridge
