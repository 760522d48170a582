// /move and /del: what is done with an infected file. Both act on the file
// that was scanned (the real file of a link given as the target) and only
// while its path still names that same file; a move never replaces a name in
// the quarantine, and a file is called moved or removed only once it is gone
// from its place.
#pragma once

#include <string>

#include "bridge/scan_events.h"
#include "bridge/scan_request.h"

namespace bridge {

// The treatment the request asks for (none without /move or /del). scanned
// is the identity of what the engine scanned, when it knows it.
Treatment Treat(const ScanRequest& request, const FileToScan& file, const FileIdentity& scanned);

// Moves the file into the folder under its own name, or the first of
// "<name>.001" to "<name>.999" that is free; never replaces a file there.
// Across file systems the file is copied completely before the original is
// removed. Linux: the copy in the quarantine can be read by its owner alone
// and is not executable.
Treatment MoveIntoQuarantine(const FileToScan& file, const FileIdentity& scanned,
                             const std::string& folder);

// Removes the file, when it is still the one scanned.
Treatment RemoveInfected(const FileToScan& file, const FileIdentity& scanned);

}  // namespace bridge
