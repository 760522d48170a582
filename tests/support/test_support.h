// Helpers shared by the test programs.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace testing_support {

// A UTF-8 path as a std::filesystem path (and back), on every system.
using ::FsPath;
using ::Utf8;

// A fresh folder under the temporary directory, removed with everything in it
// when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder, without a trailing separator.
  const std::string& path() const { return path_; }
  // path() + separator + name.
  std::string Join(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadTextFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// The folder of the running test program, with a trailing separator; the fake
// scanner "scan.exe" lies there.
std::string TestProgramDir();
std::string FakeScannerPath();

// Sets (or, with an empty value, removes) an environment variable of this
// process; the scanner inherits it.
void SetEnv(const std::string& name, const std::string& value);

#if !defined(_WIN32)
// SetEnv until this goes away, then the variable as it was (Linux), also
// when a failed assertion leaves the test early.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};
#endif

// The fake scanner is steered through the environment it inherits:
//   QUORVEL_FAKE_SCAN_RECORD  file to which it writes, one a line (UTF-8), the
//                             raw command line (Windows; empty line on Linux),
//                             its console (see FakeScannerRun::console), then
//                             argv[0], argv[1], ...
//   QUORVEL_FAKE_SCAN_EXIT    exit code (decimal or 0x...); "signal:N" ends it
//                             with signal N (Linux)
//   QUORVEL_FAKE_SCAN_WAIT_FILE  it waits until this file exists before ending
//   QUORVEL_FAKE_SCAN_SLEEP_MS   it sleeps this long before ending
//   QUORVEL_FAKE_SCAN_OUTPUT_BYTES  it writes this many bytes to its console
//   QUORVEL_FAKE_SCAN_HANGUP_EXIT   on SIGHUP it ends with this code (Linux)
// With "/report <path>" it writes a line to that report (appending with /append).
struct FakeScannerRun {
  std::string rawCommandLine;  // Windows only
  // "TTTF quorvel-console": stdin, stdout and stderr a terminal ("T") or not
  // ("-"); "F" when its process group is the terminal's foreground group
  // (Linux); after a blank the name of the process that started it (Linux).
  std::string console;
  std::string program;                 // argv[0]
  std::vector<std::string> arguments;  // argv[1..]
};
// Reads the record the fake scanner wrote.
FakeScannerRun ReadFakeScannerRecord(const std::string& recordPath);

// Polls done() every few milliseconds until it holds (true) or timeout
// passes (false).
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The QUORVEL_FAKE_SCAN_EXIT setting for a scanner that ends without an exit
// code of its own: killed by a signal on Linux, 0xC000013A on Windows.
const char* FakeScannerCrashSetting();

// Clears every QUORVEL_FAKE_SCAN_* variable.
void ResetFakeScannerEnvironment();

}  // namespace testing_support
