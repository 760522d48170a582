// Starting the scanner and waiting for it: the edge between the runner and
// the operating system. Windows: CreateProcessW with its own console.
// Linux: the line split by the Windows rules and started with posix_spawn in
// a session of its own, never through a shell.
#pragma once

#include <cstdint>
#include <string>

#include "exit_codes.h"
#include "system_error.h"

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
  // Windows: process and thread handles; Linux: the process id in process_.
  intptr_t process_ = 0;
  intptr_t thread_ = 0;
};
