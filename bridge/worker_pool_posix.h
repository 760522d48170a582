// The local engine's worker processes on Linux, in one of two ways. As
// replicas: forked from the bridge once its engine is compiled, so each holds
// the engine copy-on-write, and each scans the files handed to it. As
// shards: forked before any signature is loaded, each loads and compiles its
// own share of the database at once with the others, and every file goes to
// every shard. Processes, not threads: libclamav maps and unmaps every file
// it scans, and in one process with a thread per core every unmapping stops
// the other cores' threads; and its loading cannot share an engine between
// threads.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/engine.h"

namespace bridge {

using ScanOneFile = std::function<Verdict(const FileToScan&)>;
// In a new shard, before its first file: makes the shard's engine; empty
// when made, else why not.
using MakeShard = std::function<std::string(unsigned shard, unsigned shards)>;

// What a file is when each shard has said what it is: infected when any
// shard found it (the name from the first such shard), not completely
// scanned when any shard says so and none found it, clean only when every
// shard says so of the same file.
Verdict CombineShards(const std::vector<Verdict>& answers);

// Made by the thread that will scan with it, or by one that lives longer.
// Forked while no other thread scans with scanOne's engine (the worker must
// find the engine's locks free) and best before other threads run at all: a
// worker holds only the thread that forked it, and a memory allocator that
// is not safe across fork (AddressSanitizer's) could be held by another. The
// workers end with the pool, and when the thread that forked them or this
// process ends.
class WorkerPool {
 public:
  // Replicas of this process's engine. timeLimit: how long a worker may
  // take over one file before it is ended.
  WorkerPool(unsigned workers, ScanOneFile scanOne, std::chrono::milliseconds timeLimit);
  // Shards, each made by makeShard within loadLimit; waits until all are
  // made, calling whileWaiting now and then. Nothing, with the reason in
  // *problem, when one cannot be made.
  static std::unique_ptr<WorkerPool> Shards(unsigned shards, MakeShard makeShard,
                                            ScanOneFile scanOne,
                                            std::chrono::milliseconds timeLimit,
                                            std::chrono::milliseconds loadLimit,
                                            std::string* problem,
                                            const std::function<void()>& whileWaiting = {});
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Scans every file of the queue; the sink is called on this thread, once
  // per file. A worker that ends unasked (a crash in the library, the system
  // killing it) leaves the file it was scanning "not completely scanned";
  // the other files in its hand go on (those it had scanned without sending
  // their verdicts are scanned again), and one that had answered before is
  // replaced.
  // A worker that does not answer within the time limit (stopped, stuck) is
  // ended: its file is "not completely scanned" for the time limit, the
  // others go on, and a new worker takes its place. Without any replica the
  // files are scanned here; a shard that cannot be replaced leaves every
  // later file "not completely scanned". Replicas: once; shards: from any
  // thread, one call at a time.
  void ScanAll(FileQueue& files, const VerdictSink& sink);
  // One file, by every shard.
  Verdict ScanOne(const FileToScan& file);

 private:
  class Workers;
  explicit WorkerPool(std::unique_ptr<Workers> workers);
  std::unique_ptr<Workers> workers_;
};

}  // namespace bridge
