// clamscan.exe as the engine of the bridge's own walk: the arguments of one
// run over a list of files, and the reading of its output back into one
// verdict per listed file. Only Windows runs clamscan (its file names cannot
// hold line breaks, so one line is one file); the reading is portable, so
// that it is tested on every system.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bridge/scan_events.h"
#include "bridge/scan_request.h"

namespace bridge {

// The path clamscan is given for a file: the form the user knows, unless it
// is too long for the system's ordinary calls (the long form "\\?\" then).
std::string ClamscanPathOf(const FileToScan& file);

// The arguments of a run over the files listed in listFile (one UTF-8 path a
// line): no recursion and no treatment of clamscan's own; the request's
// switches and extra parameters; an alert for every file over a limit.
std::vector<std::string> ClamscanArguments(const ScanRequest& request, const std::string& listFile);

// Reads one run's output, both streams, as it comes. Every listed file gets
// exactly one verdict: from the first line that names it ("<path>: OK",
// "<path>: <virus> FOUND", or why it was not scanned), else, once the run
// has ended, "not scanned" with the reason.
class ClamscanOutputReader {
 public:
  using FileVerdict = std::function<void(size_t index, Verdict verdict)>;
  // paths: the list given to clamscan, in order (a path may appear twice);
  // decided receives each file's verdict by its index in paths.
  ClamscanOutputReader(const std::vector<std::string>& paths, FileVerdict decided);

  // A piece of output of any size; errorStream tells standard error apart.
  void Feed(std::string_view piece, bool errorStream);
  // The run has ended: reads the last lines, then gives every file no line
  // named a verdict: not scanned, with the database failure, the run's
  // errors or noAnswer (why the run ended, in the user's words) as reason.
  void Finish(const std::string& noAnswer);

  // No signature could be loaded (or none was): nothing was scanned.
  bool NoDatabase() const { return !databaseError_.empty(); }
  // The lines that named no listed file and told of an error.
  const std::vector<std::string>& GeneralErrors() const { return generalErrors_; }

 private:
  void Line(std::string_view line, bool errorStream);
  bool FileLine(std::string_view line);
  bool FileLineAnywhere(std::string_view line);
  void Decide(size_t index, Verdict verdict);
  // The index of the next file of that path without a verdict.
  std::optional<size_t> Open(std::string_view path);

  std::unordered_map<std::string, std::vector<size_t>> byPath_;
  std::vector<bool> decided_;
  size_t undecided_ = 0;
  FileVerdict sink_;
  std::string pending_[2];  // the unfinished line of each stream
  bool inSummary_ = false;
  std::vector<std::string> generalErrors_;
  std::string databaseError_;
};

// /virlist: the lines for the user from the output of "clamscan --version"
// and of a scan of empty input with the same databases; nothing, with
// clamscan's complaint in *problem, when no signature was loaded.
std::optional<std::vector<std::string>> ReadVirusList(const std::string& versionOutput,
                                                      const std::string& scanOutput,
                                                      std::string* problem);

}  // namespace bridge
