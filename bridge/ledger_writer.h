// The one writer of the bridge's lines: the console as they come, and the
// report file (UTF-8; on Windows with a byte-order mark when the bridge
// creates it, and CR LF line ends). Paths are written exactly, with line
// breaks and other control characters escaped ("\n"), so that one line is
// always one file and no name can pose as another file or as the summary.
#pragma once

#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "bridge/scan_request.h"

namespace bridge {

// Writes one line to the console (error: to the error stream).
using Printer = std::function<void(const std::string& line, bool error)>;

// The path as it may stand in a line: control characters as "\n", "\t",
// "\r" or "\xNN", bytes that are not UTF-8 as "\xNN", and (Linux, where a
// backslash is no separator) a backslash as "\\".
std::string EscapedPath(std::string_view path, PathStyle style);

class LedgerWriter {
 public:
  LedgerWriter(const Printer& print, PathStyle style) : print_(print), style_(style) {}

  // Empties (or, appending, keeps) the report file. False with a message on
  // the console when it cannot be written.
  bool OpenReport(const std::string& path, bool append);

  // A line to the console and, when report, to the report too.
  void Line(const std::string& line, bool error, bool report);
  void Console(const std::string& line, bool error) { Line(line, error, false); }

  PathStyle style() const { return style_; }
  std::string Path(std::string_view path) const { return EscapedPath(path, style_); }

 private:
  const Printer& print_;
  PathStyle style_;
  std::mutex mutex_;
  std::ofstream report_;
};

}  // namespace bridge
