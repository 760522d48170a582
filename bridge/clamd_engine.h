// The running ClamAV daemon as the engine.
#pragma once

#include <functional>
#include <memory>

#include "clamd_config.h"
#include "engine.h"

namespace bridge {

// The local engine, made when first needed; nothing when there is none.
using LocalEngine = std::function<Engine*()>;

// Scans through the daemon. A file the daemon cannot scan completely (over
// its MaxFileSize, MaxScanSize or StreamMaxLength) goes to the local engine,
// or is reported not completely scanned; so do the files left when the
// daemon stops answering, which is given up once, not per file.
std::unique_ptr<Engine> MakeDaemonEngine(const ClamdConfig& config, const ScanRequest& request,
                                         LocalEngine local);

}  // namespace bridge
