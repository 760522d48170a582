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

  std::vector<std::string>& args = plan.clamscanArgs;
  if (arguments.Has("/sub")) args.push_back("--recursive");
  args.push_back(arguments.Has("/unzip") ? "--scan-archive=yes" : "--scan-archive=no");
  args.push_back(arguments.Has("/mime") ? "--scan-mail=yes" : "--scan-mail=no");
  if (arguments.Has("/nodoc")) args.push_back("--scan-ole2=no");
  if (arguments.Has("/del")) args.push_back("--remove=yes");
  if (arguments.moveDirectory) args.push_back("--move=" + *arguments.moveDirectory);
  if (arguments.reportFile) args.push_back("--log=" + *arguments.reportFile);
  // clamscan lists every file it scans unless told to list only the infected
  // ones; errors it reports either way.
  if (!arguments.Has("/rptall")) args.push_back("--infected");
  for (const std::string& pattern : drives.excludeDirs) args.push_back("--exclude-dir=" + pattern);
  args.insert(args.end(), arguments.clamscanOptions.begin(), arguments.clamscanOptions.end());

  const size_t firstTarget = args.size();
  args.insert(args.end(), arguments.targets.begin(), arguments.targets.end());
  args.insert(args.end(), drives.roots.begin(), drives.roots.end());
  if (args.size() == firstTarget) {
    plan.action = Plan::Action::kNothingToScan;
    plan.notes.push_back(texts::kNoteNoDrives);
  }
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

}  // namespace bridge
