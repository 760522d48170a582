// A scan through the running ClamAV daemon, shown and reported as clamscan's.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "bridge_internal.h"
#include "clamd_config.h"

namespace bridge {

// Lists the files to scan: a target file itself; in a target folder the
// files directly in it, and those below only when recursive; the drive
// roots always with everything below them, less the excluded folders
// (clamscan --exclude-dir patterns). Links met on the way are not followed.
// visit returns false to end the walk.
struct WalkCallbacks {
  std::function<bool(const std::string& file)> visit;
  std::function<void(const std::string& path, const std::string& reason)> error;
};
long WalkTargets(const std::vector<std::string>& targets, bool recursive,
                 const DriveSelection& drives, const WalkCallbacks& callbacks);

// Scans every file of the walk with the daemon, several at once, and feeds
// the reader the lines clamscan would print (the file and its verdict, what
// /move or /del did, errors, the summary). Infected files are moved or
// removed here. Returns clamscan's exit code for the same result (0, 1, 2),
// or 102 when stopped; a daemon that stops answering ends the scan with 2
// and the reason.
int ScanThroughDaemon(const ClamdConfig& config, const Arguments& arguments,
                      const DriveSelection& drives, ClamscanReader& reader, Output& out);

}  // namespace bridge
