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

// The path a file is listed under for clamscan: the system's path without
// the long form's "\\?\" before a drive letter (clamscan adds it itself to
// every absolute path, and a "?" would be read as a wildcard in an argument),
// a network path in its long form "\\?\UNC\...".
std::string ClamscanPathOf(const FileToScan& file);

// The longest path clamscan.exe can scan, in UTF-8 bytes: it reads its list
// in lines of at most 1023 bytes with the line break, and turns no longer
// path into the system's form (its buffer holds 1024 bytes with the end).
constexpr size_t kClamscanLongestPath = 1022;

// The arguments of a run over the files listed in listFile (one UTF-8 path a
// line): no recursion and no treatment of clamscan's own; the request's
// switches and extra parameters; an alert for every file over a limit and for
// every encrypted archive or document (which clamscan cannot look into).
std::vector<std::string> ClamscanArguments(const ScanRequest& request, const std::string& listFile);

// Reads one run's output, both streams, as it comes. Every listed file gets
// exactly one verdict, from the line on standard output that names it
// ("<name>: OK", "<name>: <virus> FOUND", "<name>: <why> ERROR", ...).
// Warnings on standard error that name a file are notes: a later line on
// standard output for the file wins over them; without one, the file was not
// scanned, for the reason the system gave ("WARNING: Can't open file <name>:
// Permission denied") or for why the run ended. A file clamscan calls clean
// is given its verdict once the run has ended and its summary has been read:
// a run that counts more infected files than the lines that named one (or
// ends with code 1 without naming any) leaves none of them clean. Lines for
// a name several listed files share (two names alike in the OEM code page,
// a file listed twice) are theirs in list order when each of them got one
// line on standard output; after a warning about one of them it is not known
// which one (standard output and standard error do not keep their order
// between them), and they are left to be scanned again, each on its own.
class ClamscanOutputReader {
 public:
  using FileVerdict = std::function<void(size_t index, Verdict verdict)>;
  // names: for each file of the list, in order, every name clamscan may
  // print for it, as the bytes it prints; decided receives each file's
  // verdict by its index in the list.
  ClamscanOutputReader(const std::vector<std::vector<std::string>>& names, FileVerdict decided);

  // A piece of output of any size; errorStream tells standard error apart.
  void Feed(std::string_view piece, bool errorStream);
  // The run has ended (with exitCode, when it exited): reads the last lines,
  // then gives every file its verdict: the clean ones, those with only
  // notes, and those never named, not scanned with the database failure,
  // the run's errors or noAnswer (why the run ended, in the user's words).
  void Finish(const std::string& noAnswer, std::optional<int> exitCode);

  // The scan is being stopped: the files called clean get their verdict,
  // the others none.
  void Stopped();

  // No signature could be loaded (or none was): nothing was scanned.
  bool NoDatabase() const { return !databaseError_.empty(); }
  // The lines that named no listed file and told of an error.
  const std::vector<std::string>& GeneralErrors() const { return generalErrors_; }
  // After Finish: the files given no verdict, to be scanned again one by one.
  const std::vector<size_t>& Uncertain() const { return uncertain_; }

 private:
  struct File {
    bool decided = false;
    bool clean = false;           // named clean, its verdict held until the end
    std::optional<Verdict> note;  // what clamscan's warning said of it
    std::string hint;             // a library warning that named it
  };
  void Line(std::string_view line, bool errorStream);
  bool FileLine(std::string_view line, bool errorStream);
  bool NoteAnywhere(std::string_view line);
  void Note(std::string_view name, std::string_view said, Shortfall why, bool fromLibrary);
  void Decide(size_t index, Verdict verdict);
  // The file of that name still without a verdict, if only one has the name.
  std::optional<size_t> Open(std::string_view name) const;
  // The lines for a name several files share.
  struct Shared {
    std::vector<Verdict> said;  // the lines on standard output, in order
    bool warned = false;        // a warning of clamscan's named one of them
  };
  std::unordered_map<std::string, std::vector<size_t>> byName_;
  std::unordered_map<std::string, Shared> shared_;
  std::vector<size_t> uncertain_;
  std::vector<File> files_;
  FileVerdict sink_;
  std::string pending_[2];  // the unfinished line of each stream
  bool inSummary_ = false;
  size_t foundLines_ = 0;                  // "FOUND" lines that named a listed file
  std::optional<size_t> infectedCounted_;  // the summary's count
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
