// One scan: arguments -> request -> walk -> engine -> verdicts -> ledger.
#include "bridge/run.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "base/exit_codes.h"
#include "bridge/clamd_client.h"
#include "bridge/clamd_config.h"
#include "bridge/clamd_engine.h"
#include "bridge/drives.h"
#include "bridge/engine.h"
#include "bridge/ledger.h"
#include "bridge/scan_request.h"
#include "bridge/system.h"
#include "bridge/texts.h"
#include "bridge/treatment.h"
#include "bridge/walk.h"

namespace bridge {

namespace {

Engine* g_keptEngine = nullptr;

// The local engine is made once, when first needed: at the start without a
// daemon, else only when the daemon hands a file over.
class LocalEngineHolder {
 public:
  explicit LocalEngineHolder(const ScanRequest& request) : request_(request) {}
  // The bridge ends right after its scan: freeing a loaded signature
  // database would only hold the window's verdict up (a tenth of a second
  // with a million signatures), so the engine is kept to the end.
  ~LocalEngineHolder() {
    if (engine_) g_keptEngine = engine_.release();
  }
  // Without a -d of its own, the local engine scans with the signatures the
  // daemon's configuration names.
  void UseDaemonSignatures(const ClamdConfig& config) {
    if (request_.databases.empty() && !config.databaseDirectory.empty())
      request_.databases.push_back(config.databaseDirectory);
  }
  Engine* Get() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!tried_) engine_ = MakeLocalEngine(request_, &problem_), tried_ = true;
    return engine_.get();
  }
  const std::string& problem() const { return problem_; }

 private:
  ScanRequest request_;
  std::mutex mutex_;
  bool tried_ = false;
  std::unique_ptr<Engine> engine_;
  std::string problem_;
};

// The daemon when it may and does answer; else nothing, and why. *confirm
// tells whether its finds need the local engine's word before treatment.
std::unique_ptr<Engine> ChooseDaemon(const ScanRequest& request, LocalEngineHolder& local,
                                     Ledger& ledger, std::string* whyNot, bool* confirm) {
  const std::string path = ClamdConfigPath();
  const std::optional<ClamdConfig> config = path.empty() ? std::nullopt : ReadClamdConfig(path);
  // The local engine reads the signatures the daemon is configured with,
  // whether it takes over a file or the whole scan.
  if (config) local.UseDaemonSignatures(*config);
  EngineChoice choice = ChooseEngine(request, config);
  if (path.empty())
    choice = {false, false, texts::kEngineOff};
  else if (!config)
    choice.reason += texts::kEngineDaemonHint;
  // A daemon that does not answer at once counts as none.
  std::string problem;
  ClamdWaits first;
  first.connect = first.firstPing;
  if (choice.daemon && !PingClamd(*config, &problem, first))
    choice = {false, false, texts::kEngineNotAnswering + problem + texts::kEngineDaemonHint};
  if (!choice.daemon) {
    *whyNot = choice.reason;
    return nullptr;
  }
  *confirm = choice.confirm;
  return MakeDaemonEngine(
      *config, request, [&local] { return local.Get(); },
      [&ledger](const std::string& line) { ledger.Note(line); });
}

// What /move or /del does with a find. A find of a daemon that looks deeper
// than asked is first confirmed by the local engine under the request's own
// options; one that is not stays where it is, named, with the reason.
Treatment TreatFind(const ScanRequest& request, const FileToScan& file, const Verdict& verdict,
                    bool confirm, LocalEngineHolder& local) {
  if (!confirm) return Treat(request, file, verdict.scanned);
  Engine* engine = local.Get();
  if (!engine) return {Treatment::Kind::kFailed, texts::kTreatNoConfirmEngine};
  const Verdict again = engine->ScanOne(file);
  switch (again.kind) {
    case Verdict::Kind::kInfected:
      return Treat(request, file, again.scanned.known ? again.scanned : verdict.scanned);
    case Verdict::Kind::kClean:
      return {Treatment::Kind::kFailed, texts::kTreatNotConfirmed};
    case Verdict::Kind::kIncomplete:
      break;
  }
  return {Treatment::Kind::kFailed, texts::kTreatConfirmIncomplete};
}

int ShowVirusList(const ScanRequest& request, LedgerWriter& writer) {
  std::string problem;
  const std::optional<std::vector<std::string>> lines = VirusListLines(request, &problem);
  if (!lines) {
    writer.Line(texts::kVirusListFailed, true, true);
    if (!problem.empty()) writer.Line(problem, true, true);
    writer.Line(texts::kFreshclamHint, true, true);
    return kExitError;
  }
  for (const std::string& line : *lines) writer.Line(line, false, true);
  return kExitNothingFound;
}

std::chrono::seconds Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
}

// A stop before any file was scanned: the report says so, the console
// what it takes within half a second.
[[noreturn]] void EndStopped(LedgerWriter& writer) {
  writer.Stopping();
  writer.LastReportLine(texts::kStopped);
  writer.Console(texts::kStopped, true);
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

  LedgerWriter writer(print, NativePathStyle());
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
  plan.excludeFiles = request.excludeFiles;
  plan.excludeFolders = request.excludeFolders;
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
    plan.excludedFolders = drives.excludedFolders;
  }
  if (plan.targets.empty() && plan.driveRoots.empty()) {
    ledger.Problem(texts::kErrorNothingScanned);
    return kExitError;
  }

  // Choosing the engine takes seconds with a database to load: a stop
  // meanwhile is watched by a thread of its own.
  LocalEngineHolder local(request);
  std::string whyNotDaemon;
  bool confirm = false;
  std::atomic<bool> chosen{false};
  std::thread watcher([&] {
    while (!chosen)
      if (WaitForStop(200) && !chosen) EndStopped(writer);
  });
  std::unique_ptr<Engine> daemon = ChooseDaemon(request, local, ledger, &whyNotDaemon, &confirm);
  Engine* engine = daemon ? daemon.get() : local.Get();
  chosen = true;
  WakeUp();
  watcher.join();
  if (StopRequested()) EndStopped(writer);
  if (!engine) {
    ledger.Problem(local.problem());
    return kExitError;
  }
  writer.Line(writer.Text(engine->Description() +
                          (whyNotDaemon.empty() ? "" : texts::kEngineBecause + whyNotDaemon + ")")),
              false, true);

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
  // both or for a stop.
  engine->Start();
  FileQueue queue;
  std::atomic<int> running{2};
  std::thread walker([&] {
    WalkSink walkSink;
    walkSink.file = [&](FileToScan file) { return queue.Push(std::move(file)); };
    walkSink.skipped = [&](const std::string& path, SkipReason why) { ledger.Skipped(path, why); };
    walkSink.error = [&](const std::string& path, const std::string& reason) {
      ledger.WalkError(path, reason);
    };
    walkSink.leftOut = [&](const std::string& path, const char* why) {
      ledger.Note(why + writer.Path(path));
    };
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
