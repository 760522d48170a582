// One scan: arguments -> request -> walk -> engine -> verdicts -> ledger.
#include "bridge/run.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include "base/exit_codes.h"
#include "bridge/clamd_client.h"
#include "bridge/clamd_config.h"
#include "bridge/drives.h"
#include "bridge/engine.h"
#include "bridge/engine_choice.h"
#include "bridge/ledger.h"
#include "bridge/scan_request.h"
#include "bridge/system.h"
#include "bridge/texts.h"
#include "bridge/treatment.h"
#include "bridge/walk.h"

namespace bridge {

namespace {

// /virlist: the local ClamAV's database. Without one, a daemon that answers
// is named with its version, and what listing would need.
int ShowVirusList(const ScanRequest& request, LedgerWriter& writer) {
  std::string problem;
  const std::optional<std::vector<std::string>> lines = VirusListLines(request, &problem);
  if (lines) {
    for (const std::string& line : *lines)
      writer.Line(line, LineStream::kOutput, LineReport::kAlsoReport);
    return kExitNothingFound;
  }
  writer.Line(texts::kVirusListFailed, LineStream::kError, LineReport::kAlsoReport);
  if (!problem.empty()) writer.Line(problem, LineStream::kError, LineReport::kAlsoReport);
  const std::string path = ClamdConfigPath();
  const std::optional<ClamdConfig> config = path.empty() ? std::nullopt : ReadClamdConfig(path);
  std::string daemonProblem;
  ClamdWaits waits;
  waits.connect = waits.firstPing;
  const std::optional<std::string> version =
      config && config->HasSocket() ? ClamdVersion(*config, &daemonProblem, waits) : std::nullopt;
  if (version) {
    writer.Line(texts::kVirusListNeedsLocal, LineStream::kError, LineReport::kAlsoReport);
    writer.Line(writer.Text(texts::kVirusListDaemon + ClamdAddress(*config) +
                            texts::kVirusListDaemonVersion + *version),
                LineStream::kOutput, LineReport::kAlsoReport);
  } else {
    writer.Line(texts::kFreshclamHint, LineStream::kError, LineReport::kAlsoReport);
  }
  return kExitError;
}

std::chrono::seconds Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
}

// A stop before any file was scanned: the report says so, the console
// what it takes within half a second. Once: a second thread that sees the
// stop waits here for the end.
[[noreturn]] void EndStopped(LedgerWriter& writer) {
  static std::mutex ending;
  ending.lock();
  writer.Stopping();
  writer.LastReportLine(texts::kStopped);
  writer.Console(texts::kStopped, LineStream::kError);
  writer.WaitForConsole(std::chrono::milliseconds(500));
  ExitNow(kExitStopped);
}

// What the scan looks at, the report's first line: a report cut short
// (a console closed, the bridge killed) still says what it was.
std::string TargetsLine(const ScanRequest& request, const LedgerWriter& writer) {
  std::string line = texts::kReportTargets;
  std::string separator;
  const auto add = [&](const std::string& text) { line += separator + text, separator = ", "; };
  for (const std::string& target : request.targets) add(writer.Path(target));
  if (request.WantsLocalDrives()) add(texts::kReportLocalDrives);
  if (request.WantsNetworkDrives()) add(texts::kReportNetworkDrives);
  return line;
}

// At every return the console takes the last lines first; a stop meanwhile
// ends the bridge at once.
struct ConsoleWrittenOut {
  LedgerWriter& writer;
  ~ConsoleWrittenOut() {
    while (!writer.WaitForConsole(std::chrono::milliseconds(200)))
      if (StopRequested()) ExitNow(kExitStopped);
  }
};

}  // namespace

int RunBridge(const std::vector<std::string>& args, const Printer& print) {
  const auto started = std::chrono::steady_clock::now();
  const RequestResult read = ReadRequest(args, NativePathStyle());
  if (!read.ok()) {
    print(read.error, true);
    print(texts::kErrorNothingScanned, true);
    return kExitError;
  }
  const ScanRequest& request = read.request;

  // The console's thread waits for the engine: see below.
  LedgerWriter writer(print, NativePathStyle(), ConsoleStart::kLater);
  const ConsoleWrittenOut writtenOut{writer};
  // The report starts empty unless the scan appends to it.
  if (request.reportFile && !writer.OpenReport(*request.reportFile, request.Appends()))
    return kExitError;
  if (request.ListsVirusDatabase()) return ShowVirusList(request, writer);

  writer.ReportLine(TargetsLine(request, writer));
  Ledger ledger(writer, request);
  for (const std::string& note : UnsupportedSwitchNotes(request)) ledger.Note(note);
  WalkPlan plan;
  plan.targets = request.targets;
  plan.recursive = request.Recursive();
  plan.excludeFilePatterns = request.excludeFiles;
  plan.excludeFolderPatterns = request.excludeFolders;
  // Made before any engine, which then keeps its temporary files there.
  const ScanTempFolder temp;
  for (const std::optional<std::string>& own :
       {request.reportFile, request.moveDirectory, std::optional<std::string>(temp.path())})
    if (own && !own->empty()) plan.ownPaths.push_back(*own);
  if (request.WantsDrives()) {
    const DriveSelection drives =
        GatherDrives(request.WantsLocalDrives(), request.WantsNetworkDrives());
    if (drives.roots.empty()) ledger.Problem(texts::kNoteNoDrives);
    plan.driveRoots = drives.roots;
    plan.excludeFolderPaths = drives.excludeFolderPaths;
  }
  if (plan.targets.empty() && plan.driveRoots.empty()) {
    ledger.Problem(texts::kErrorNothingScanned);
    return kExitError;
  }

  // Choosing the engine takes seconds with a database to load. The
  // database loads before any thread starts, which would make the load
  // slower (see LedgerWriter), and a stop meanwhile is seen by the load
  // itself. A daemon is asked over the network, where a stop is watched by
  // a thread of its own.
  std::atomic<bool> chosen{false};
  LocalEngineHolder local(request, [&] {
    if (!chosen && StopRequested()) EndStopped(writer);
  });
  std::optional<std::thread> watcher;
  if (AsksDaemon(request))
    watcher.emplace([&] {
      while (!chosen)
        if (WaitForStop(200) && !chosen) EndStopped(writer);
    });
  DaemonChoice daemon =
      ChooseDaemon(request, local, [&ledger](const std::string& line) { ledger.Note(line); });
  Engine* engine = daemon.engine ? daemon.engine.get() : local.Get();
  chosen = true;
  if (watcher) {
    WakeUp();
    watcher->join();
  }
  if (StopRequested()) EndStopped(writer);
  if (!engine) {
    // Both reasons, the daemon's first: the user may mean to use either.
    // One problem: no engine.
    if (!daemon.whyNot.empty()) ledger.Note(texts::kEngineDaemonUnused + daemon.whyNot);
    ledger.Problem(local.problem());
    return kExitError;
  }
  writer.Line(
      writer.Text(engine->Description() +
                  (daemon.whyNot.empty() ? "" : texts::kEngineBecause + daemon.whyNot + ")")),
      LineStream::kOutput, LineReport::kAlsoReport);
  const bool confirm = daemon.confirm;

  // Treatments one at a time: a stop waits for the one under way, so that a
  // file is never left half moved.
  std::mutex treating;
  const VerdictSink sink = [&](const FileToScan& file, const Verdict& verdict) {
    const std::lock_guard<std::mutex> lock(treating);
    Treatment treatment;
    if (verdict.kind == Verdict::Kind::kInfected && request.Treats())
      treatment = TreatFind(request, file, verdict, confirm, local);
    ledger.File(file, verdict, treatment);
  };

  // The walk fills the queue, the engine empties it; this thread waits for
  // both or for a stop. Worker processes are forked before any thread.
  engine->Start();
  writer.StartConsole();
  FileQueue queue;
  std::atomic<int> running{2};
  std::thread walker([&] {
    WalkSink walkSink;
    walkSink.file = [&](FileToScan file) { return queue.Push(std::move(file)); };
    walkSink.skipped = [&](const std::string& path, SkipReason why) { ledger.Skipped(path, why); };
    walkSink.error = [&](const std::string& path, const std::string& reason) {
      ledger.WalkError(path, reason);
    };
    walkSink.leftOut = [&](const std::string& path, const char* why) { ledger.Note(why, path); };
    Walk(plan, walkSink);
    queue.Finish();
    --running;
    WakeUp();
  });
  std::thread scanner([&] {
    engine->ScanAll(queue, sink);
    --running;
    WakeUp();
  });
  while (running > 0) {
    if (WaitForStop(200)) {
      // No line waits for the console any more, so a file's line under way
      // lets the treatment lock go; the report gets the summary and the stop
      // line, the console what it takes within half a second.
      queue.Abort();
      writer.Stopping();
      {
        const std::lock_guard<std::mutex> lock(treating);
        ledger.FinishStopped(Since(started));
      }
      writer.WaitForConsole(std::chrono::milliseconds(500));
      ExitNow(kExitStopped);
    }
  }
  walker.join();
  scanner.join();
  ledger.Finish(Since(started));
  return ledger.ExitCode();
}

}  // namespace bridge
