// The local engine's worker processes on Linux: forked from the bridge once
// its engine is compiled, so each holds the engine copy-on-write, and each
// scans the files handed to it over a socket of its own. Processes, not
// threads: libclamav maps and unmaps every file it scans, and in one process
// with a thread per core every unmapping stops the other cores' threads.
#pragma once

#include <functional>

#include "engine.h"

namespace bridge {

// Scans every file of the queue in `workers` processes forked from this one,
// each calling scanOne; the sink is called on this thread, once per file. A
// worker that ends unasked (a crash in the library, the system killing it)
// leaves its file in hand "not completely scanned"; the files it had not
// started go to the other workers, and one that had scanned before is
// replaced. Without any worker the files are scanned here. No other thread
// may be scanning with scanOne's engine meanwhile: a worker is forked from
// this thread, holds only it, and must find the engine's locks free. The
// workers end with the queue, and when this thread or process ends.
void ScanInWorkerProcesses(FileQueue& files, const VerdictSink& sink, unsigned workers,
                           const std::function<Verdict(const FileToScan&)>& scanOne);

}  // namespace bridge
