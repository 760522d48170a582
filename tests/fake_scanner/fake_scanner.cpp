// Stands in for the scanner in the tests. Steered by its environment (see
// tests/support/test_support.h): records how it was started, writes the
// report it is asked for, can write to its console, wait and end with a
// chosen exit code or, on Linux, a signal.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/exit_codes.h"
#include "tests/support/fake_program_env.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

using fake_program::Environment;
std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

uint32_t ParseNumber(const std::string& text) {
  if (StartsWith(text, "0x") || StartsWith(text, "0X"))
    return static_cast<uint32_t>(std::strtoull(text.c_str() + 2, nullptr, 16));
  return static_cast<uint32_t>(std::strtoull(text.c_str(), nullptr, 10));
}

// How the scanner's console looks from inside: "T" for each of the standard
// streams that is a terminal ("-" if not), then "F" when (Linux) its process
// group is the terminal's foreground group, so Ctrl+C reaches it, then a
// blank and (Linux) the name of the program that started it.
std::string DescribeConsole() {
  std::string console;
#if defined(_WIN32)
  for (int stream = 0; stream < 3; ++stream) console += _isatty(stream) ? 'T' : '-';
  console += "- ";
#else
  for (int stream = 0; stream < 3; ++stream) console += isatty(stream) ? 'T' : '-';
  console += isatty(0) && tcgetpgrp(0) == getpgrp() ? "F " : "- ";
  std::ifstream parent("/proc/" + std::to_string(getppid()) + "/comm");
  std::string name;
  std::getline(parent, name);
  console += name;
#endif
  return console;
}

// Written aside and renamed, so that a test that sees the record sees all of it.
void WriteRecord(const std::string& path, const std::string& rawLine,
                 const std::vector<std::string>& arguments) {
  std::filesystem::path part = PathOf(path);
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << rawLine << '\n' << DescribeConsole() << '\n';
    for (const std::string& argument : arguments) out << argument << '\n';
  }
  std::error_code error;
  std::filesystem::rename(part, PathOf(path), error);
}

void WriteReport(const std::vector<std::string>& arguments) {
  bool append = false;
  std::string report;
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "/append") append = true;
    if (arguments[i] == "/report" && i + 1 < arguments.size()) report = arguments[i + 1];
  }
  if (report.empty()) return;
  std::ofstream out(PathOf(report), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out << "fake scan report\n";
}

void WriteConsoleOutput(const std::string& count) {
  uint64_t remaining = ParseNumber(count);
  const std::string chunk(4096, '.');
  while (remaining > 0) {
    const size_t part = remaining < chunk.size() ? static_cast<size_t>(remaining) : chunk.size();
    std::fwrite(chunk.data(), 1, part, stdout);
    remaining -= part;
  }
  std::fflush(stdout);
}

// Gives up when the file's folder is gone: a test that ended (and removed its
// temporary folder) before releasing the scanner leaves no scanner behind.
void WaitForFile(const std::string& path) {
  const std::filesystem::path file = PathOf(path);
  std::error_code error;
  while (!std::filesystem::exists(file, error)) {
    if (!std::filesystem::is_directory(file.parent_path(), error)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

#if !defined(_WIN32)
volatile sig_atomic_t g_hangUpExit = 0;
void OnHangUp(int) { _exit(g_hangUpExit); }
#endif

int Scan(const std::string& rawLine, const std::vector<std::string>& arguments) {
#if !defined(_WIN32)
  // As a scanner that ends with a code of its own when its terminal closes.
  const std::string hangUpExit = Environment("QUORVEL_FAKE_SCAN_HANGUP_EXIT");
  if (!hangUpExit.empty()) {
    g_hangUpExit = static_cast<sig_atomic_t>(ParseNumber(hangUpExit));
    std::signal(SIGHUP, OnHangUp);
  }
#endif
  const std::string record = Environment("QUORVEL_FAKE_SCAN_RECORD");
  if (!record.empty()) WriteRecord(record, rawLine, arguments);
  WriteReport(arguments);

  const std::string outputBytes = Environment("QUORVEL_FAKE_SCAN_OUTPUT_BYTES");
  if (!outputBytes.empty()) WriteConsoleOutput(outputBytes);
  const std::string waitFile = Environment("QUORVEL_FAKE_SCAN_WAIT_FILE");
  if (!waitFile.empty()) WaitForFile(waitFile);
  const std::string sleep = Environment("QUORVEL_FAKE_SCAN_SLEEP_MS");
  if (!sleep.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(ParseNumber(sleep)));

  const std::string exit = Environment("QUORVEL_FAKE_SCAN_EXIT");
  if (StartsWith(exit, "signal:")) {
#if defined(_WIN32)
    return static_cast<int>(kNoExitCode);
#else
    const int number = static_cast<int>(ParseNumber(exit.substr(7)));
    std::signal(number, SIG_DFL);
    std::raise(number);
    return 128 + number;
#endif
  }
  return static_cast<int>(ParseNumber(exit));
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Narrow(argv[i]));
  return Scan(Narrow(GetCommandLineW()), arguments);
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  return Scan(std::string(), arguments);
}
#endif
