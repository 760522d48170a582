// The local engine's worker processes on Linux: forked from the bridge once
// its engine is compiled, so each holds the engine copy-on-write, and each
// scans the files handed to it over a socket of its own. Processes, not
// threads: libclamav maps and unmaps every file it scans, and in one process
// with a thread per core every unmapping stops the other cores' threads.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "bridge/engine.h"

namespace bridge {

// A worker process per file scanned at once, each calling scanOne for the
// files handed to it; made by the thread that will scan with it, or by one
// that lives longer. Forked while no other thread scans with scanOne's
// engine (the worker must find the engine's locks free) and best before
// other threads run at all: a worker holds only the thread that forked it,
// and a memory allocator that is not safe across fork (AddressSanitizer's)
// could be held by another. The workers end with the pool, and when the
// thread that forked them or this process ends.
class WorkerPool {
 public:
  // timeLimit: how long a worker may take over one file before it is ended.
  WorkerPool(unsigned workers, std::function<Verdict(const FileToScan&)> scanOne,
             std::chrono::milliseconds timeLimit);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Scans every file of the queue; the sink is called on this thread, once
  // per file. A worker that ends unasked (a crash in the library, the system
  // killing it) leaves its file in hand "not completely scanned"; the files
  // it had not started go to the other workers, and one that had scanned
  // before is replaced. A worker that does not answer within the time limit
  // (stopped, stuck) is ended: its file is "not completely scanned" for the
  // time limit, the others go on, and a new worker takes its place. Without
  // any worker the files are scanned here. Once.
  void ScanAll(FileQueue& files, const VerdictSink& sink);

 private:
  class Workers;
  std::unique_ptr<Workers> workers_;
};

}  // namespace bridge
