// The engines that scan the walk's files: ClamAV's library in-process
// (Linux), clamscan.exe (Windows) and the running ClamAV daemon (both).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "bridge/scan_events.h"
#include "bridge/scan_request.h"

namespace bridge {

// The walk's files on their way to the engine: bounded, so a walk of a whole
// drive never holds more than a few hundred paths.
class FileQueue {
 public:
  explicit FileQueue(size_t capacity = 512) : capacity_(capacity) {}
  // Waits while full; false once the queue was aborted.
  bool Push(FileToScan file);
  // The next file; nothing once the walk is done and all were taken, or the
  // queue was aborted.
  std::optional<FileToScan> Pop();
  // The same, waiting no longer than wait: nothing then, with *done set once
  // no file will come any more.
  std::optional<FileToScan> Pop(std::chrono::milliseconds wait, bool* done);
  void Finish();  // the walk is done
  void Abort();   // the scan is being stopped
  bool Aborted() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable notEmpty_;  // for the engine's workers
  std::condition_variable notFull_;   // for the walk
  std::deque<FileToScan> files_;
  size_t capacity_;
  bool finished_ = false;
  bool aborted_ = false;
};

// Receives each file's verdict, from any of the engine's threads.
using VerdictSink = std::function<void(const FileToScan& file, const Verdict& verdict)>;

class Engine {
 public:
  virtual ~Engine() = default;
  // The console's first line: which engine scans ("扫描引擎: ...").
  virtual std::string Description() const = 0;
  // Scans one file.
  virtual Verdict ScanOne(const FileToScan& file) = 0;
  // Called once before the walk starts, while the scan's own threads do
  // not run yet: an engine that forks worker processes forks them here.
  virtual void Start() {}
  // Scans every file of the queue until it is done, one verdict per file.
  // By default Threads() workers each call ScanOne.
  virtual void ScanAll(FileQueue& files, const VerdictSink& sink);
  virtual unsigned Threads() const { return 1; }
};

// Workers, each taking the next file of the queue and scanning it.
void ScanWithWorkers(FileQueue& files, const VerdictSink& sink, unsigned threads,
                     const std::function<Verdict(const FileToScan&)>& scanOne);

// Called now and then on the thread that makes the local engine while its
// signature database loads (at least every few tenths of a second); it may
// end the process, for a stop.
using WhileLoading = std::function<void()>;

// This machine's engine without a daemon: ClamAV's library with the signature
// database loaded (Linux), clamscan.exe (Windows). Nothing, with the message
// for the user in *problem, when it cannot scan (no signatures, no clamscan).
std::unique_ptr<Engine> MakeLocalEngine(const ScanRequest& request, std::string* problem,
                                        const WhileLoading& whileLoading = {});

// /virlist: the lines that show ClamAV's version and the number of
// signatures of the database the scan would use; nothing, with the message
// in *problem, when no signature can be loaded.
std::optional<std::vector<std::string>> VirusListLines(const ScanRequest& request,
                                                       std::string* problem);

}  // namespace bridge
