// What the bridge's files share among themselves.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bridge.h"

namespace bridge {

inline bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

inline bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The line without the blanks (and carriage return) around it.
inline std::string TrimLine(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.pop_back();
  const size_t start = line.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : line.substr(start);
}

// A UTF-8 path for the file system library, on every system.
inline std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Whether a clamscan option may take its value as the next word ("-d db").
bool TakesSeparateValue(const std::string& option);

// The bridge's lines go to the console and, when a report file is asked for,
// into that file too: on Windows the scanner's console closes as soon as the
// bridge ends, so the report is where the user can read them afterwards.
class Output {
 public:
  explicit Output(const Printer& print) : print_(print) {}

  // Empties (or, appending, keeps) the report file. False with a message on
  // the console when it cannot be written.
  bool OpenReport(const std::string& path, bool empty);

  void Line(const std::string& line, bool error) {
    Console(line, error);
    Report(line);
  }
  // File names reach the console with their control characters and broken
  // UTF-8 made harmless; the report keeps them as they are.
  void Console(const std::string& line, bool error);
  void Report(const std::string& line);

 private:
  const Printer& print_;
  std::ofstream report_;
};

// What clamscan said, added up over its runs.
struct ScanTotals {
  long files = 0;
  long infected = 0;
  long errors = 0;
  long directories = 0;
  bool summarySeen = false;  // clamscan's summary gave the counts
  bool missingDatabase = false;
};

// Reads clamscan's two output streams line by line as they come: every file
// to the console, infected files marked; to the report the infected files,
// the errors and, when asked for, every scanned file. clamscan's own summary
// is read for its counts and not shown.
class ClamscanReader {
 public:
  ClamscanReader(Output& out, bool reportEveryFile)
      : out_(out), reportEveryFile_(reportEveryFile) {}

  void Feed(std::string_view piece, bool errorStream);
  // One run has ended: its last line may lack its line end.
  void FinishRun();
  const ScanTotals& totals() const { return totals_; }

 private:
  void OutputLine(const std::string& line);
  void ErrorLine(const std::string& line);

  Output& out_;
  bool reportEveryFile_;
  std::string pending_[2];
  bool inSummary_ = false;
  bool runSummary_ = false;
  long runFiles_ = 0, runInfected_ = 0;  // counted from the lines of this run
  long summaryFiles_ = 0, summaryInfected_ = 0;
  ScanTotals totals_;
};

// The text with C0/C1 control characters and ill-formed UTF-8 as '?'.
std::string ConsoleSafe(std::string_view text);

// The short summary in the user's words.
std::vector<std::string> SummaryLines(const ScanTotals& totals, std::chrono::seconds taken);

}  // namespace bridge
