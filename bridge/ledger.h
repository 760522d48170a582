// Every file the scan reaches gets exactly one fate in the ledger, which
// writes it at once (console, and the report as its switches ask) and knows
// the summary and the exit code: 13 when anything infected was found; else 2
// when any file was not completely scanned, the walk hit an error or nothing
// was reached; else 0. So "nothing found" means every file the scan reached
// was scanned completely and is clean.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

#include "bridge/ledger_writer.h"
#include "bridge/scan_events.h"
#include "bridge/scan_request.h"

namespace bridge {

struct LedgerTotals {
  long scanned = 0;  // scanned completely (clean or infected)
  long infected = 0;
  long treated = 0;     // moved or removed
  long incomplete = 0;  // not (completely) scanned
  long errors = 0;      // folders that could not be read, treatments that failed, problems
  long skipped = 0;     // links and special files passed over
};

class Ledger {
 public:
  Ledger(LedgerWriter& writer, const ScanRequest& request);

  // Each may be called from any thread.
  void File(const FileToScan& file, const Verdict& verdict, const Treatment& treatment);
  void Skipped(const std::string& path, SkipReason why);
  void WalkError(const std::string& path, const std::string& reason);
  // A problem of the whole scan (a missing target, no drive): the scan ends
  // with 2. Its text, as a note's, is written escaped: it may hold the
  // words of the system, the engine or the daemon.
  void Problem(const std::string& text);
  // A line for console and report that changes no count.
  void Note(const std::string& text);
  // The same, our own words followed by a path, each escaped once.
  void Note(const std::string& text, const std::string& path);

  LedgerTotals Totals() const;
  int ExitCode() const;

  // The summary; then, for a stopped scan, the line that says so (the
  // report's last: no line reaches it after). Once finished, the ledger
  // takes no more files.
  void Finish(std::chrono::seconds taken);
  void FinishStopped(std::chrono::seconds taken);

 private:
  void WriteSummary(std::chrono::seconds taken, bool stopped);

  LedgerWriter& writer_;
  const ScanRequest& request_;
  mutable std::mutex mutex_;
  LedgerTotals totals_;
  bool problems_ = false;
  bool finished_ = false;
};

}  // namespace bridge
