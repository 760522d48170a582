// Starting the scanner and waiting for it: the edge between the runner and
// the operating system. Windows: CreateProcessW with its own console.
// Linux: the line split by the Windows rules, never through a shell; the
// scanner runs in a terminal window of its own through the console helper,
// or, with no terminal to be had, is started directly with posix_spawn in a
// session of its own, with /dev/null as its input.
#pragma once

#include <cstdint>
#include <string>

#include "base/exit_codes.h"
#include "base/system_error.h"

class ScannerProcess {
 public:
  ScannerProcess() = default;
  ScannerProcess(const ScannerProcess&) = delete;
  ScannerProcess& operator=(const ScannerProcess&) = delete;
  // Closes what is still open; never stops the scanner.
  ~ScannerProcess();

  // Starts the command line. False when it could not be started, with the
  // system's error value in *error.
  bool Start(const std::string& commandLine, SystemErrorCode* error = nullptr);

  // Waits without a time limit for the started process to end and reads its
  // exit code. False when the code cannot be read.
  bool WaitForExitCode(uint32_t* exitCode);

  // Releases the process and thread handles.
  void Close();

 private:
  // Windows: process and thread handles. Linux: the process id of a scanner
  // started directly in process_; for one in a terminal, the console
  // helper's socket in channel_ and the terminal's process id in terminal_.
  intptr_t process_ = 0;
  intptr_t thread_ = 0;
  intptr_t channel_ = -1;
  intptr_t terminal_ = 0;
};
