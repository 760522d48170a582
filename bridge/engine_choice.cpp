// The choice of the engine and the confirmation of the daemon's deeper finds.
#include "bridge/engine_choice.h"

#include "bridge/clamd_client.h"
#include "bridge/scan_options.h"
#include "bridge/system.h"
#include "bridge/texts.h"
#include "bridge/treatment.h"

namespace bridge {

namespace {

Engine* g_keptEngine = nullptr;

}  // namespace

EngineChoice ChooseEngine(const ScanRequest& request, const std::optional<ClamdConfig>& config) {
  if (!config) return {false, false, texts::kEngineNoConfig};
  if (!config->HasSocket()) return {false, false, texts::kEngineNoSocket};
  if (request.HasEngineOptions()) return {false, false, texts::kEngineOptions};
  // Looking deeper than asked finds more: harmless for a report, but a find
  // the request would not have made is not removed or moved unconfirmed.
  // The alerts do not decide the choice: the daemon engine hands over what
  // it cannot tell without them.
  EngineChoice choice{true, false, {}};
  for (const ScanOption& row : ScanOptionTable()) {
    if (row.role != ScanOption::Role::kLooksInto) continue;
    const bool asked = !row.asked || row.asked(request);
    const bool has = row.daemonHas(*config);
    if (asked && !has) return {false, false, row.whyNot};
    if (!asked && has && request.Treats()) choice.confirm = true;
  }
  return choice;
}

// The bridge ends right after its scan: freeing a loaded signature database
// would only hold the window's verdict up (a tenth of a second with a
// million signatures), so the engine is kept to the end.
LocalEngineHolder::~LocalEngineHolder() {
  if (engine_) g_keptEngine = engine_.release();
}

void LocalEngineHolder::UseDaemonSignatures(const ClamdConfig& config) {
  if (request_.databases.empty() && !config.databaseDirectory.empty())
    request_.databases.push_back(config.databaseDirectory);
}

Engine* LocalEngineHolder::Get() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!tried_) engine_ = MakeLocalEngine(request_, &problem_, whileLoading_), tried_ = true;
  return engine_.get();
}

const char* DaemonNotAnsweringHint(const ClamdConfig& config) {
  const std::string& host = config.tcpAddress;
  const bool here = !config.localSocket.empty() || host.empty() || host == "localhost" ||
                    host == "::1" || host.rfind("127.", 0) == 0;
  return here ? texts::kEngineDaemonStartHint : texts::kEngineDaemonRemoteHint;
}

bool AsksDaemon(const ScanRequest& request) {
  const std::string path = ClamdConfigPath();
  return !path.empty() && ChooseEngine(request, ReadClamdConfig(path)).daemon;
}

DaemonChoice ChooseDaemon(const ScanRequest& request, LocalEngineHolder& local, DaemonNote note) {
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
  // A daemon that does not answer at once counts as none. Its configuration
  // is there: it is installed, and only needs starting.
  std::string problem;
  ClamdWaits first;
  first.connect = first.firstPing;
  if (choice.daemon && !PingClamd(*config, &problem, first))
    choice = {false, false, texts::kEngineNotAnswering + problem + DaemonNotAnsweringHint(*config)};
  DaemonChoice chosen;
  if (!choice.daemon) {
    chosen.whyNot = choice.reason;
    return chosen;
  }
  chosen.confirm = choice.confirm;
  chosen.engine = MakeDaemonEngine(
      *config, request, [&local] { return local.Get(); }, std::move(note));
  return chosen;
}

Treatment TreatFind(const ScanRequest& request, const FileToScan& file, const Verdict& verdict,
                    bool confirm, LocalEngineHolder& local) {
  if (!confirm) return Treat(request, file, verdict.scanned);
  Engine* engine = local.Get();
  if (!engine) {
    // ClamAV's engine found it infected, and the user asked for infected
    // files to be moved or removed: done, and said.
    Treatment treatment = Treat(request, file, verdict.scanned);
    treatment.note = texts::kTreatDeeperFind;
    return treatment;
  }
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

}  // namespace bridge
