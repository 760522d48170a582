// Stands in for ClamAV's clamscan in the bridge's tests. Steered by its
// environment:
//   QUORVEL_FAKE_CLAMSCAN_RECORD    file to which each run adds "--run-- <pid>"
//                                   and then its arguments, one a line (UTF-8)
//   QUORVEL_FAKE_CLAMSCAN_EXIT      exit code of a scan (default 0)
//   QUORVEL_FAKE_CLAMSCAN_SLEEP_MS  how long a scan takes
//   QUORVEL_FAKE_CLAMSCAN_OUTPUT    lines a scan prints, separated by '|'
//   QUORVEL_FAKE_CLAMSCAN_LINES     a scan also prints this many "<n>: OK" lines,
//                                   each beside a warning on standard error
// "--version" prints a version line; a scan of "-" (empty input) prints the
// summary line with the signature count.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_program_env.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

using fake_program::Environment;
#if defined(_WIN32)
long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }
#else
long ProcessId() { return static_cast<long>(getpid()); }
#endif

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The whole record is written aside and renamed, so a test that sees the file
// sees every line of it.
void Record(const std::vector<std::string>& arguments) {
  const std::string path = Environment("QUORVEL_FAKE_CLAMSCAN_RECORD");
  if (path.empty()) return;
  std::ostringstream content;
  {
    std::ifstream old(PathOf(path), std::ios::binary);
    if (old) content << old.rdbuf();
  }
  content << "--run-- " << ProcessId() << '\n';
  for (const std::string& argument : arguments) content << argument << '\n';
  std::filesystem::path part = PathOf(path);
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << content.str();
  }
  std::error_code error;
  std::filesystem::rename(part, PathOf(path), error);
}

int Run(const std::vector<std::string>& arguments) {
  Record(arguments);
  for (const std::string& argument : arguments) {
    if (argument == "--version") {
      std::cout << "ClamAV 9.9.9/27555/Fake\n";
      return 0;
    }
  }
  if (!arguments.empty() && arguments.back() == "-")
    std::cout << "stdin: OK\n\n----------- SCAN SUMMARY -----------\nKnown viruses: 8675309\n";
  std::istringstream lines(Environment("QUORVEL_FAKE_CLAMSCAN_OUTPUT"));
  for (std::string line; std::getline(lines, line, '|');) std::cout << line << '\n';
  const std::string count = Environment("QUORVEL_FAKE_CLAMSCAN_LINES");
  for (long i = 0; i < (count.empty() ? 0 : std::stol(count)); ++i) {
    std::cout << "file " << i << ": OK\n";
    std::cerr << "WARNING: file " << i << ": Can't access file\n";
  }
  std::cout.flush();
  const std::string sleep = Environment("QUORVEL_FAKE_CLAMSCAN_SLEEP_MS");
  if (!sleep.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(std::stol(sleep)));
  const std::string exitCode = Environment("QUORVEL_FAKE_CLAMSCAN_EXIT");
  return exitCode.empty() ? 0 : std::stoi(exitCode);
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(Narrow(argv[i]));
  return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
