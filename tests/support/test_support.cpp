#include "tests/support/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "support/fs_helpers.h"

namespace fs = std::filesystem;

namespace testing_support {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / ("quorvel-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = Utf8(candidate);
      break;
    }
  }
}

TempDir::~TempDir() {
  std::error_code error;
  // Read-only folders made by a test would stop the removal.
  for (auto it = fs::recursive_directory_iterator(FsPath(path_), error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    // Not through a link: its target may lie outside the folder.
    if (it->is_symlink(error)) continue;
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::permissions(FsPath(path_), fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(FsPath(path_), error);
}

std::string TempDir::Join(const std::string& name) const { return path_ + kPathSeparator + name; }

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(FsPath(path), error);
}

bool DirectoryExists(const std::string& path) {
  std::error_code error;
  return fs::is_directory(FsPath(path), error);
}

std::string TestProgramDir() { return GetModuleRelativePath(""); }

std::string FakeScannerPath() { return GetModuleRelativePath("scan.exe"); }

FakeScannerRun ReadFakeScannerRecord(const std::string& recordPath) {
  FakeScannerRun run;
  std::istringstream lines(ReadTextFile(recordPath));
  std::string line;
  int index = 0;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (index == 0)
      run.rawCommandLine = line;
    else if (index == 1)
      run.console = line;
    else if (index == 2)
      run.program = line;
    else
      run.arguments.push_back(line);
    ++index;
  }
  return run;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void ResetFakeScannerEnvironment() {
  for (const char* name : {"QUORVEL_FAKE_SCAN_RECORD", "QUORVEL_FAKE_SCAN_EXIT",
                           "QUORVEL_FAKE_SCAN_WAIT_FILE", "QUORVEL_FAKE_SCAN_SLEEP_MS",
                           "QUORVEL_FAKE_SCAN_OUTPUT_BYTES", "QUORVEL_FAKE_SCAN_HANGUP_EXIT"})
    SetEnv(name, "");
}

}  // namespace testing_support
