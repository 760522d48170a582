// Stands in for ClamAV's clamscan in the bridge's tests. It scans the files of
// "--file-list=<list>" by the first bytes of their content:
//   "INFECTED"  "<path>: Fake.Test FOUND"
//   "TOOBIG"    "<path>: Heuristics.Limits.Exceeded.MaxFileSize FOUND"
//   "DENIED"    "<path>: Access denied"
//   "SKIP"      no line at all
//   other       "<path>: OK"
// and a file it cannot open as clamscan does. Then the summary.
// Steered by its environment:
//   QUORVEL_FAKE_CLAMSCAN_RECORD  file to which each run adds "--run-- <pid>",
//                                 its arguments, one a line, and then
//                                 "--listed-- <path>" for each listed file
//   QUORVEL_FAKE_CLAMSCAN_FAIL    "open": "ERROR: Can't open file <path>" for
//                                 every listed file; "database": a database
//                                 error and nothing scanned; both end with 2
// "--version" prints a version line; a scan of "-" (empty input) prints the
// summary with the signature count.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/fake_program_env.h"

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

constexpr char kSummary[] =
    "\n----------- SCAN SUMMARY -----------\nKnown viruses: 8675309\nEngine version: 9.9.9\n";

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::vector<std::string> ListedFiles(const std::vector<std::string>& arguments) {
  static constexpr char kOption[] = "--file-list=";
  std::vector<std::string> files;
  for (const std::string& argument : arguments) {
    if (argument.rfind(kOption, 0) != 0) continue;
    std::ifstream list(PathOf(argument.substr(sizeof kOption - 1)), std::ios::binary);
    for (std::string line; std::getline(list, line);)
      if (!line.empty()) files.push_back(line);
  }
  return files;
}

// The whole record is written aside and renamed, so a test that sees the file
// sees every line of it.
void Record(const std::vector<std::string>& arguments, const std::vector<std::string>& files) {
  const std::string path = Environment("QUORVEL_FAKE_CLAMSCAN_RECORD");
  if (path.empty()) return;
  std::ostringstream content;
  {
    std::ifstream old(PathOf(path), std::ios::binary);
    if (old) content << old.rdbuf();
  }
  content << "--run-- " << ProcessId() << '\n';
  for (const std::string& argument : arguments) content << argument << '\n';
  for (const std::string& file : files) content << "--listed-- " << file << '\n';
  std::filesystem::path part = PathOf(path);
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << content.str();
  }
  std::error_code error;
  std::filesystem::rename(part, PathOf(path), error);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Returns true when it found something.
bool Scan(const std::string& file) {
  std::ifstream in(PathOf(file), std::ios::binary);
  if (!in) {
    std::cerr << file << ": No such file or directory\nWARNING: " << file
              << ": Can't access file\n";
    return false;
  }
  std::string start(16, '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  start.resize(static_cast<size_t>(in.gcount()));
  if (StartsWith(start, "SKIP")) return false;
  if (StartsWith(start, "DENIED")) {
    std::cout << file << ": Access denied\n";
  } else if (StartsWith(start, "INFECTED")) {
    std::cout << file << ": Fake.Test FOUND\n";
    return true;
  } else if (StartsWith(start, "TOOBIG")) {
    std::cout << file << ": Heuristics.Limits.Exceeded.MaxFileSize FOUND\n";
    return true;
  } else {
    std::cout << file << ": OK\n";
  }
  return false;
}

int Run(const std::vector<std::string>& arguments) {
  const std::vector<std::string> files = ListedFiles(arguments);
  Record(arguments, files);
  for (const std::string& argument : arguments) {
    if (argument == "--version") {
      std::cout << "ClamAV 9.9.9/27555/Fake\n";
      return 0;
    }
  }
  if (!arguments.empty() && arguments.back() == "-") {
    std::cout << "stdin: OK\n" << kSummary;
    return 0;
  }
  const std::string fail = Environment("QUORVEL_FAKE_CLAMSCAN_FAIL");
  if (fail == "database") {
    std::cerr << "LibClamAV Error: cli_loaddbdir(): No supported database files found in "
                 "C:\\ClamAV\\database\nERROR: Can't open file or directory\n";
    std::cout << "\n----------- SCAN SUMMARY -----------\nKnown viruses: 0\n";
    return 2;
  }
  if (fail == "open") {
    for (const std::string& file : files) std::cerr << "ERROR: Can't open file " << file << '\n';
    std::cout << kSummary;
    return 2;
  }
  bool found = false;
  for (const std::string& file : files) found = Scan(file) || found;
  std::cout << kSummary;
  return found ? 1 : 0;
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
