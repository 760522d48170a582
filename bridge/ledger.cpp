// Each file's fate, written as it comes; the summary and the exit code.
#include "bridge/ledger.h"

#include "base/exit_codes.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

const char* ShortfallText(Shortfall why) {
  switch (why) {
    case Shortfall::kUnreadable:
      return texts::kShortfallUnreadable;
    case Shortfall::kGone:
      return texts::kShortfallGone;
    case Shortfall::kChanged:
      return texts::kShortfallChanged;
    case Shortfall::kFileSizeLimit:
      return texts::kShortfallFileSize;
    case Shortfall::kScanSizeLimit:
      return texts::kShortfallScanSize;
    case Shortfall::kRecursionLimit:
      return texts::kShortfallRecursion;
    case Shortfall::kFilesLimit:
      return texts::kShortfallFiles;
    case Shortfall::kTimeLimit:
      return texts::kShortfallTime;
    case Shortfall::kOtherLimit:
      return texts::kShortfallOtherLimit;
    case Shortfall::kEncrypted:
      return texts::kShortfallEncrypted;
    case Shortfall::kEngineError:
      return texts::kShortfallEngine;
    case Shortfall::kDaemonLost:
      return texts::kShortfallDaemonLost;
    case Shortfall::kDaemonPartial:
      return texts::kShortfallDaemonPartial;
  }
  return texts::kShortfallEngine;
}

std::string TimeText(std::chrono::seconds taken) {
  const long seconds = static_cast<long>(taken.count());
  std::string time;
  if (seconds >= 3600) time += std::to_string(seconds / 3600) + texts::kHours;
  if (seconds >= 60) time += std::to_string(seconds / 60 % 60) + texts::kMinutes;
  return time + std::to_string(seconds % 60) + texts::kSeconds;
}

}  // namespace

Ledger::Ledger(LedgerWriter& writer, const ScanRequest& request)
    : writer_(writer), request_(request) {}

void Ledger::File(const FileToScan& file, const Verdict& verdict, const Treatment& treatment) {
  const std::string path = writer_.Path(file.path);
  const std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  switch (verdict.kind) {
    case Verdict::Kind::kClean:
      ++totals_.scanned;
      writer_.Line(path + texts::kClean, LineStream::kOutput,
                   ReportIf(request_.ReportsEveryFile()));
      return;
    case Verdict::Kind::kInfected: {
      ++totals_.scanned;
      ++totals_.infected;
      std::string line = texts::kInfectedMark + path + ": " + writer_.Text(verdict.virus);
      switch (treatment.kind) {
        case Treatment::Kind::kNone:
          break;
        case Treatment::Kind::kMoved:
          ++totals_.treated;
          line += texts::kMovedTo + writer_.Path(treatment.detail);
          break;
        case Treatment::Kind::kRemoved:
          ++totals_.treated;
          line += texts::kRemoved;
          break;
        case Treatment::Kind::kFailed:
          ++totals_.errors;
          line += texts::kNotTreated + writer_.Text(treatment.detail);
          break;
      }
      line += treatment.note;
      writer_.Line(line, LineStream::kOutput, LineReport::kAlsoReport);
      return;
    }
    case Verdict::Kind::kIncomplete: {
      ++totals_.incomplete;
      std::string line = texts::kIncompleteMark + path + ": " + ShortfallText(verdict.shortfall);
      if (!verdict.detail.empty()) line += " (" + writer_.Text(verdict.detail) + ")";
      const bool error = verdict.shortfall == Shortfall::kUnreadable ||
                         verdict.shortfall == Shortfall::kEngineError ||
                         verdict.shortfall == Shortfall::kDaemonLost;
      writer_.Line(line, LineStream::kError,
                   ReportIf(request_.ReportsIncomplete() || (error && request_.ReportsErrors())));
      return;
    }
  }
}

void Ledger::Skipped(const std::string& path, SkipReason why) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  ++totals_.skipped;
  writer_.Line(writer_.Path(path) +
                   (why == SkipReason::kLink ? texts::kSkippedLink : texts::kSkippedSpecial),
               LineStream::kOutput, ReportIf(request_.ReportsEveryFile()));
}

void Ledger::WalkError(const std::string& path, const std::string& reason) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  ++totals_.errors;
  writer_.Line(texts::kErrorMark + writer_.Path(path) + ": " + writer_.Text(reason),
               LineStream::kError, ReportIf(request_.ReportsErrors()));
}

void Ledger::Problem(const std::string& text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  problems_ = true;
  ++totals_.errors;
  writer_.Line(writer_.Text(text), LineStream::kError, LineReport::kAlsoReport);
}

void Ledger::Note(const std::string& text) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!finished_) writer_.Line(writer_.Text(text), LineStream::kOutput, LineReport::kAlsoReport);
}

void Ledger::Note(const std::string& text, const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!finished_)
    writer_.Line(writer_.Text(text) + writer_.Path(path), LineStream::kOutput,
                 LineReport::kAlsoReport);
}

LedgerTotals Ledger::Totals() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return totals_;
}

int Ledger::ExitCode() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (totals_.infected > 0) return kExitInfected;
  if (problems_ || totals_.incomplete > 0 || totals_.errors > 0 || writer_.ReportFailed())
    return kExitError;
  // Not one file reached is no clean result.
  if (totals_.scanned == 0) return kExitError;
  return kExitNothingFound;
}

void Ledger::Finish(std::chrono::seconds taken) {
  // Not one file reached is no clean result; when an error already says why
  // (a missing target), that is the one line and the one error.
  const LedgerTotals totals = Totals();
  if (totals.scanned == 0 && totals.incomplete == 0 && totals.errors == 0)
    Problem(texts::kErrorNothingScanned);
  WriteSummary(taken, false);
}

void Ledger::FinishStopped(std::chrono::seconds taken) { WriteSummary(taken, true); }

void Ledger::WriteSummary(std::chrono::seconds taken, bool stopped) {
  LedgerTotals totals;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) return;
    finished_ = true;
    totals = totals_;
  }
  // A report that could not be written is an error of the scan.
  if (writer_.ReportFailed()) ++totals.errors;
  const std::string lines[] = {texts::kSummaryHeading,
                               texts::kSummaryFiles + std::to_string(totals.scanned),
                               texts::kSummaryInfected + std::to_string(totals.infected),
                               texts::kSummaryTreated + std::to_string(totals.treated),
                               texts::kSummaryIncomplete + std::to_string(totals.incomplete),
                               texts::kSummaryErrors + std::to_string(totals.errors),
                               texts::kSummaryTime + TimeText(taken)};
  if (!stopped) {
    for (const std::string& line : lines)
      writer_.Line(line, LineStream::kOutput, LineReport::kAlsoReport);
    return;
  }
  // Stopped: the report first and whole, the console what it takes.
  for (const std::string& line : lines) writer_.ReportLine(line);
  writer_.LastReportLine(texts::kStopped);
  for (const std::string& line : lines) writer_.Console(line, LineStream::kOutput);
  writer_.Console(texts::kStopped, LineStream::kError);
}

}  // namespace bridge
