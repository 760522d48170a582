// The one writer of the bridge's lines: the report file (UTF-8; on Windows
// with a byte-order mark when the bridge creates it, and CR LF line ends) at
// once, and the console as it takes them. Paths and every text from outside
// (virus names, the daemon's and the library's words) are written exactly,
// with line breaks and other control characters escaped ("\n"), so that one
// line is always one file and no name can pose as another file or as the
// summary.
//
// The console is written by a thread of its own: a console that takes
// nothing (a paused terminal, a pipe nobody reads) holds the scan up once a
// few hundred lines wait, but never a stop, and never the report. That
// thread may start later than the writer: once a process has had a second
// thread, the C library locks every character it reads from a file and
// every allocation, and ClamAV's library loads its signatures a fifth
// slower.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "bridge/scan_request.h"

namespace bridge {

// Writes one line to the console (error: to the error stream).
using Printer = std::function<void(const std::string& line, bool error)>;

// The path as it may stand in a line: control characters as "\n", "\t",
// "\r" or "\xNN", bytes that are not UTF-8 as "\xNN", and (Linux, where a
// backslash is no separator) a backslash as "\\".
std::string EscapedPath(std::string_view path, PathStyle style);

// Which of the console's streams a line goes to.
enum class LineStream { kOutput, kError };
// Whether a line goes to the report as well as to the console.
enum class LineReport { kConsoleOnly, kAlsoReport };
inline LineReport ReportIf(bool reported) {
  return reported ? LineReport::kAlsoReport : LineReport::kConsoleOnly;
}

// When the console's thread starts: with the writer, or at StartConsole
// (or when a line must wait for the console, or the writer goes).
enum class ConsoleStart { kNow, kLater };

class LedgerWriter {
 public:
  LedgerWriter(const Printer& print, PathStyle style, ConsoleStart start = ConsoleStart::kNow);
  // Waits until the console took every line.
  ~LedgerWriter();
  LedgerWriter(const LedgerWriter&) = delete;
  LedgerWriter& operator=(const LedgerWriter&) = delete;

  // Empties (or, appending, keeps) the report file. False with a message on
  // the console when it cannot be written.
  bool OpenReport(const std::string& path, bool append);

  // A line to the report when asked, then to the console. Control
  // characters left in it are escaped: no text makes or breaks a line.
  void Line(const std::string& line, LineStream stream, LineReport report);
  void Console(const std::string& line, LineStream stream) {
    Line(line, stream, LineReport::kConsoleOnly);
  }
  // A line to the report alone.
  void ReportLine(const std::string& line);

  // A write of the report failed: the console said so, the report ends
  // there (with a line saying so where it still can) and takes no more.
  bool ReportFailed() const;

  // The scan is being stopped: from now on no line waits for the console;
  // what it cannot take at once is left out. The report takes the lines
  // up to the one given with last, and no line after it.
  void Stopping();
  void LastReportLine(const std::string& line);
  // Waits until the console took every line or the time is up; true when it did.
  bool WaitForConsole(std::chrono::milliseconds limit);
  // Starts the console's thread, when it has not started: the lines given
  // until now go out.
  void StartConsole();

  PathStyle style() const { return style_; }
  std::string Path(std::string_view path) const { return EscapedPath(path, style_); }
  // A text from outside as it may stand in a line: escaped as paths are.
  std::string Text(std::string_view text) const { return EscapedPath(text, style_); }

 private:
  void WriteReport(const std::string& line);
  void EndReport(int error);
  void PrintLoop();

  const Printer& print_;
  PathStyle style_;

  mutable std::mutex reportMutex_;
  std::ofstream report_;
  std::string reportPath_;
  uint64_t reportWritten_ = 0;  // the report's size up to its last whole line
  bool reportFailed_ = false;
  bool reportClosed_ = false;

  std::mutex consoleMutex_;
  std::condition_variable consoleChanged_;
  std::deque<std::pair<std::string, bool>> pending_;
  bool printing_ = false;
  bool stopping_ = false;
  bool closing_ = false;
  std::once_flag printerStarted_;
  std::thread printer_;
};

}  // namespace bridge
