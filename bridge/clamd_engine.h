// The running ClamAV daemon as the engine.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "bridge/clamd_client.h"
#include "bridge/clamd_config.h"
#include "bridge/engine.h"

namespace bridge {

// The local engine, made when first needed; nothing when there is none.
using LocalEngine = std::function<Engine*()>;

// A line for the user about the whole scan (the daemon given up, and why).
using DaemonNote = std::function<void(const std::string& line)>;

// Scans through the daemon, each file opened by the bridge and checked to be
// the one the walk saw. A file the daemon cannot scan completely (over its
// MaxFileSize, MaxScanSize or StreamMaxLength, or named over a limit in its
// reply) goes to the local engine, or is reported not completely scanned;
// so do the files left when the daemon stops answering, which is given up
// once, not per file, with one note.
std::unique_ptr<Engine> MakeDaemonEngine(const ClamdConfig& config, const ScanRequest& request,
                                         LocalEngine local, DaemonNote note,
                                         const ClamdWaits& waits = {});

}  // namespace bridge
