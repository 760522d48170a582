// Which engine scans: the running daemon where it scans at least what is
// asked and answers, else this machine's own; and what a find of a daemon
// that looks deeper than asked needs before it is treated.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "bridge/clamd_config.h"
#include "bridge/clamd_engine.h"
#include "bridge/engine.h"
#include "bridge/scan_events.h"
#include "bridge/scan_request.h"

namespace bridge {

// The choice on the arguments and the daemon's options alone, by the rows
// of the scan option table: the daemon is used where it looks into files at
// least as far as asked. Where it looks deeper and finds are removed or
// moved, each find is confirmed by the local engine under the request's own
// options before it is treated.
struct EngineChoice {
  bool daemon = false;
  bool confirm = false;  // the daemon's finds are confirmed before treatment
  std::string reason;    // for the local engine: why, in the user's words
};
EngineChoice ChooseEngine(const ScanRequest& request, const std::optional<ClamdConfig>& config);

// What to do about a daemon that is configured but does not answer: start
// it here, or, for one on another machine, check that machine and the way
// to it.
const char* DaemonNotAnsweringHint(const ClamdConfig& config);

// The local engine, made once when first needed: at the start without a
// daemon, else only when the daemon hands a file over. Kept to the end of
// the program.
class LocalEngineHolder {
 public:
  // whileLoading: called now and then while the database loads.
  explicit LocalEngineHolder(const ScanRequest& request, WhileLoading whileLoading = {})
      : request_(request), whileLoading_(std::move(whileLoading)) {}
  ~LocalEngineHolder();
  // Without a -d of its own, the local engine scans with the signatures the
  // daemon's configuration names.
  void UseDaemonSignatures(const ClamdConfig& config);
  Engine* Get();
  // Why there is none, once Get gave nothing.
  const std::string& problem() const { return problem_; }

 private:
  ScanRequest request_;
  const WhileLoading whileLoading_;
  std::mutex mutex_;
  bool tried_ = false;
  std::unique_ptr<Engine> engine_;
  std::string problem_;
};

// Whether the choice asks the daemon over its socket, which may take
// seconds.
bool AsksDaemon(const ScanRequest& request);

// The daemon when it may and does answer, and whether its finds need the
// local engine's word before treatment; else no engine, and why not.
struct DaemonChoice {
  std::unique_ptr<Engine> engine;
  bool confirm = false;
  std::string whyNot;
};
DaemonChoice ChooseDaemon(const ScanRequest& request, LocalEngineHolder& local, DaemonNote note);

// What /move or /del does with a find. A find of a daemon that looks deeper
// than asked is first confirmed by the local engine under the request's own
// options; one that is not stays where it is, named, with the reason. With no
// local engine at all the find is treated as asked, its line saying that the
// daemon looked deeper.
Treatment TreatFind(const ScanRequest& request, const FileToScan& file, const Verdict& verdict,
                    bool confirm, LocalEngineHolder& local);

}  // namespace bridge
