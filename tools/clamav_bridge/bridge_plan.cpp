// What one run does: clamscan's arguments for the switches, the notes, and
// the exit code for the way clamscan ended.
#include "bridge.h"
#include "bridge_internal.h"
#include "bridge_texts.h"

namespace bridge {

namespace {

bool IsDatabaseOption(const std::string& option) {
  return option == "-d" || option == "--database" || StartsWith(option, "--database=") ||
         (StartsWith(option, "-d") && !StartsWith(option, "--"));
}

// "-d <dir>", "--database=<dir>" and the like among clamscan's options.
std::vector<std::string> DatabaseOptions(const std::vector<std::string>& options) {
  std::vector<std::string> result;
  for (size_t i = 0; i < options.size(); ++i) {
    const bool withValue = TakesSeparateValue(options[i]) && i + 1 < options.size();
    if (IsDatabaseOption(options[i])) {
      result.push_back(options[i]);
      if (withValue) result.push_back(options[i + 1]);
    }
    if (withValue) ++i;
  }
  return result;
}

}  // namespace

Plan MakePlan(const Arguments& arguments, const DriveSelection& drives) {
  Plan plan;
  if (arguments.Has("/virlist")) {
    plan.action = Plan::Action::kVirusList;
    plan.databaseOptions = DatabaseOptions(arguments.clamscanOptions);
    return plan;
  }

  if (arguments.Has("/clean")) plan.notes.push_back(texts::kNoteClean);
  if (arguments.Has("/boot")) plan.notes.push_back(texts::kNoteBoot);
  if (arguments.Has("/streams")) plan.notes.push_back(texts::kNoteStreams);
  const bool wantsDrives = arguments.WantsLocalDrives() || arguments.WantsNetworkDrives();
  if (wantsDrives && drives.roots.empty()) plan.problems.push_back(texts::kNoteNoDrives);

  // clamscan lists every file it reaches: the bridge shows them and writes
  // the report itself (no --infected, no --log).
  std::vector<std::string> options;
  options.push_back(arguments.Has("/unzip") ? "--scan-archive=yes" : "--scan-archive=no");
  options.push_back(arguments.Has("/mime") ? "--scan-mail=yes" : "--scan-mail=no");
  if (arguments.Has("/nodoc")) options.push_back("--scan-ole2=no");
  if (arguments.Has("/del")) options.push_back("--remove=yes");
  if (arguments.moveDirectory) options.push_back("--move=" + *arguments.moveDirectory);
  const auto run = [&](bool recursive, const std::vector<std::string>& excludeDirs,
                       const std::vector<std::string>& targets,
                       const std::vector<std::string>& roots) {
    std::vector<std::string> args;
    if (recursive) args.push_back("--recursive");
    args.insert(args.end(), options.begin(), options.end());
    for (const std::string& pattern : excludeDirs) args.push_back("--exclude-dir=" + pattern);
    args.insert(args.end(), arguments.clamscanOptions.begin(), arguments.clamscanOptions.end());
    args.insert(args.end(), targets.begin(), targets.end());
    args.insert(args.end(), roots.begin(), roots.end());
    plan.clamscanRuns.push_back(std::move(args));
  };

  const bool sub = arguments.Has("/sub");
  if (!sub && !arguments.targets.empty()) run(false, {}, arguments.targets, {});
  if (!drives.roots.empty() || (sub && !arguments.targets.empty()))
    run(true, drives.excludeDirs, sub ? arguments.targets : std::vector<std::string>{},
        drives.roots);
  if (plan.clamscanRuns.empty()) plan.action = Plan::Action::kNothingToScan;
  return plan;
}

int MapExitCode(const ChildEnd& end, bool stopRequested) {
  if (stopRequested) return kExitStopped;
  switch (end.kind) {
    case ChildEnd::Kind::kExited:
      if (end.code == 0) return kExitNothingFound;
      if (end.code == 1) return kExitInfected;
      return kExitError;
    case ChildEnd::Kind::kInterrupted:
      return kExitStopped;
    case ChildEnd::Kind::kOther:
      break;
  }
  return kExitError;
}

// The more telling code wins: a stop, then infected files (which the user
// must hear of even when another part failed), then an error.
int WorseExitCode(int a, int b) {
  for (int code : {kExitStopped, kExitInfected, kExitError})
    if (a == code || b == code) return code;
  return a;
}

}  // namespace bridge
