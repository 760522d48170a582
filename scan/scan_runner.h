// Runs one scanner process at a time on a worker thread and sends the window
// the status of each stage:
//   "执行中", "_THREAD_START_", then "运行中" or "CreateProcess("...") 失败.",
//   "GetExitCodeProcess 失败" when the code cannot be read, "_THREAD_DONE_".
// exitCode holds the scan's result before "_THREAD_DONE_" reaches the window.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/status_receiver.h"
#include "base/system_error.h"
#include "scan/user_prompts.h"

class ScanRunner {
 public:
  // A failure to start a scan is shown to the user through prompts.
  explicit ScanRunner(UserPrompts& prompts);
  virtual ~ScanRunner();
  ScanRunner(const ScanRunner&) = delete;
  ScanRunner& operator=(const ScanRunner&) = delete;

  // Starts a scan of commandLine sending its status to window with message, unless one
  // is already running (then nothing happens). Returns 0 either way. When no
  // worker thread can be made, the runner stays idle and the user is told.
  int Start(std::shared_ptr<StatusReceiver> window, const std::string& commandLine,
            unsigned message);

  // Exit code of the last scan; 0xFFFFFFFF before any scan and after a failed start.
  uint32_t exitCode() const;
  bool IsIdle() const;

  // How a worker thread is made: runs work on a new detached thread, or
  // returns false with the error value. Tests replace it to see a failure.
  using ThreadStarter = std::function<bool(std::function<void()> work, SystemErrorCode* error)>;
  void SetThreadStarter(ThreadStarter starter);

 private:
  struct Job;
  // The state shared with the worker. The worker keeps it alive, so a window
  // (and its runner) may go away while the scanner still runs.
  UserPrompts& prompts_;
  std::shared_ptr<Job> job_;
  ThreadStarter startThread_;
};
