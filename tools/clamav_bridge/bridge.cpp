#include "bridge.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bridge_texts.h"
#include "scan_settings.h"

namespace bridge {

namespace {

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A switch of the window's table, spelled without its leading blank.
bool IsTableSwitch(const std::string& lower) {
  return std::any_of(kScanSwitches.begin(), kScanSwitches.end(),
                     [&](const ScanSwitch& entry) { return lower == entry.text + 1; });
}

bool IsKnownSwitch(const std::string& lower) {
  return IsTableSwitch(lower) || lower == "/report" || lower == "/move";
}

// A word shaped like a switch: "/" and a name without further separators.
// "/home/ann" and "//server/share" are paths. On Linux the quoted target comes
// first and may be a folder right under the root, so the first word is never
// taken for a switch there.
bool LooksLikeSwitch(const std::string& arg, size_t index, PathStyle style) {
  if (arg.size() < 2 || arg[0] != '/') return false;
  if (arg.find_first_of("/\\", 1) != std::string::npos) return false;
  return !(style == PathStyle::kPosix && index == 0);
}

// clamscan options whose value may come as the next word ("-d db").
bool TakesSeparateValue(const std::string& option) {
  static constexpr const char* kOptions[] = {
      "-d",          "--database",    "-l",           "--log",     "-f",
      "--file-list", "--move",        "--copy",       "--tempdir", "--exclude",
      "--include",   "--exclude-dir", "--include-dir"};
  return std::any_of(std::begin(kOptions), std::end(kOptions),
                     [&](const char* name) { return option == name; });
}

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

std::string RegexEscape(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (std::strchr(".[]{}()\\*+?^$|", c) != nullptr) result += '\\';
    result += c;
  }
  return result;
}

// A clamscan --exclude-dir pattern for dir and everything below it.
std::string ExcludeDirPattern(const std::string& dir) { return "^" + RegexEscape(dir) + "(/|$)"; }

bool IsUnder(const std::string& path, const std::string& dir) {
  if (dir == "/") return true;
  return path == dir || (StartsWith(path, dir) && path[dir.size()] == '/');
}

// Keeps only the folders not inside another one of the list.
std::vector<std::string> Outermost(std::vector<std::string> dirs) {
  std::sort(dirs.begin(), dirs.end());
  dirs.erase(std::unique(dirs.begin(), dirs.end()), dirs.end());
  std::vector<std::string> result;
  for (const std::string& dir : dirs)
    if (std::none_of(result.begin(), result.end(),
                     [&](const std::string& outer) { return IsUnder(dir, outer); }))
      result.push_back(dir);
  return result;
}

// The mount point field of /proc/self/mounts writes blanks, tabs, line feeds
// and backslashes as octal escapes.
std::string UnescapeMountField(const std::string& field) {
  std::string result;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      result += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                  (field[i + 3] - '0'));
      i += 3;
    } else {
      result += field[i];
    }
  }
  return result;
}

bool IsNetworkFileSystem(const std::string& type) {
  static constexpr const char* kTypes[] = {
      "nfs",         "nfs4",           "cifs",        "smb3",      "smbfs",          "ncpfs",
      "afs",         "coda",           "9p",          "ceph",      "glusterfs",      "lustre",
      "davfs",       "fuse.sshfs",     "fuse.rclone", "fuse.s3fs", "fuse.glusterfs", "fuse.cephfs",
      "fuse.davfs2", "fuse.gvfsd-fuse"};
  return std::any_of(std::begin(kTypes), std::end(kTypes),
                     [&](const char* name) { return type == name; });
}

// File systems of the kernel that hold no files worth scanning.
bool IsPseudoFileSystem(const std::string& type) {
  static constexpr const char* kTypes[] = {
      "proc",    "sysfs",       "devtmpfs", "devpts",   "cgroup",     "cgroup2",   "securityfs",
      "debugfs", "tracefs",     "pstore",   "bpf",      "mqueue",     "hugetlbfs", "configfs",
      "fusectl", "binfmt_misc", "autofs",   "efivarfs", "rpc_pipefs", "nsfs",      "selinuxfs"};
  return std::any_of(std::begin(kTypes), std::end(kTypes),
                     [&](const char* name) { return type == name; });
}

std::string TrimLine(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
    line.pop_back();
  const size_t start = line.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : line.substr(start);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(TrimLine(line));
  return lines;
}

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The bridge's own lines go to the console and, when a report file is asked
// for, into that file too: on Windows the scanner's console closes as soon as
// the bridge ends, so the report is where the user can read them.
class Output {
 public:
  explicit Output(const Printer& print) : print_(print) {}

  // Empties (or, appending, keeps) the report file. False with a message when
  // it cannot be written.
  bool OpenReport(const std::string& path, bool empty) {
    std::ofstream file(FsPath(path), std::ios::binary | (empty ? std::ios::trunc : std::ios::app));
    if (!file) {
      print_(texts::kErrorReport + path + ": " + std::strerror(errno), true);
      return false;
    }
    report_ = path;
    return true;
  }

  void Line(const std::string& line, bool error) {
    print_(line, error);
    if (!report_) return;
    std::ofstream file(FsPath(*report_), std::ios::binary | std::ios::app);
    file << line << (NativePathStyle() == PathStyle::kWindows ? "\r\n" : "\n");
  }

 private:
  const Printer& print_;
  std::optional<std::string> report_;
};

int ShowVirusList(const std::string& clamscan, const Plan& plan, Output& out) {
  std::vector<std::string> versionArgs = {"--version"};
  versionArgs.insert(versionArgs.end(), plan.databaseOptions.begin(), plan.databaseOptions.end());
  std::string versionOutput;
  const RunOutcome version = RunProgram(clamscan, versionArgs, &versionOutput);
  if (version.stopRequested) return kExitStopped;
  if (!version.started) {
    out.Line(texts::kErrorStart + clamscan + ": " + version.startError, true);
    return kExitError;
  }

  // A scan of empty input loads the databases and counts their signatures.
  std::vector<std::string> countArgs = plan.databaseOptions;
  countArgs.push_back("-");
  std::string countOutput;
  const RunOutcome count = RunProgram(clamscan, countArgs, &countOutput);
  if (count.stopRequested) return kExitStopped;
  std::optional<std::vector<std::string>> lines;
  if (count.started && MapExitCode(count.end, false) == kExitNothingFound)
    lines = VirusListLines(versionOutput, countOutput);
  if (!lines) {
    out.Line(texts::kVirusListFailed, true);
    for (const std::string& line : Lines(countOutput)) {
      if (StartsWith(line, "----------- SCAN SUMMARY")) break;
      if (!line.empty()) out.Line(line, true);
    }
    out.Line(texts::kFreshclamHint, true);
    return kExitError;
  }
  for (const std::string& line : *lines) out.Line(line, false);
  return kExitNothingFound;
}

}  // namespace

bool Arguments::Has(std::string_view switchText) const {
  return std::find(switches.begin(), switches.end(), switchText) != switches.end();
}

ParseResult ParseArguments(const std::vector<std::string>& args, PathStyle style) {
  ParseResult result;
  Arguments& parsed = result.arguments;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::string lower = Lower(arg);
    if (arg.empty()) continue;
    if (lower == "/report" || lower == "/move") {
      if (i + 1 >= args.size() || IsKnownSwitch(Lower(args[i + 1]))) {
        result.error = arg + texts::kErrorMissingPath;
        return result;
      }
      (lower == "/report" ? parsed.reportFile : parsed.moveDirectory) = args[++i];
    } else if (IsTableSwitch(lower)) {
      if (!parsed.Has(lower)) parsed.switches.push_back(lower);
    } else if (arg.size() > 1 && arg[0] == '-') {
      parsed.clamscanOptions.push_back(arg);
      if (TakesSeparateValue(arg) && i + 1 < args.size())
        parsed.clamscanOptions.push_back(args[++i]);
    } else if (LooksLikeSwitch(arg, i, style)) {
      result.error = texts::kErrorUnknownSwitch + arg;
      return result;
    } else {
      parsed.targets.push_back(arg);
    }
  }
  if (parsed.targets.empty() && !parsed.WantsLocalDrives() && !parsed.WantsNetworkDrives() &&
      !parsed.Has("/virlist"))
    result.error = texts::kErrorNoTarget;
  return result;
}

DriveSelection SelectWindowsDrives(const std::vector<Drive>& drives, bool local, bool network) {
  DriveSelection selection;
  for (const Drive& drive : drives)
    if ((local && drive.kind == DriveKind::kLocal) ||
        (network && drive.kind == DriveKind::kNetwork))
      selection.roots.push_back(drive.root);
  return selection;
}

DriveSelection SelectPosixDrives(const std::string& mountsText, bool local, bool network) {
  std::vector<std::string> networkMounts;
  // Always left out, whatever is mounted there.
  std::vector<std::string> pseudoMounts = {"/proc", "/sys", "/dev"};
  std::istringstream lines(mountsText);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, dir, type;
    if (!(fields >> device >> dir >> type)) continue;
    dir = UnescapeMountField(dir);
    if (dir.empty() || dir[0] != '/') continue;
    if (IsNetworkFileSystem(type))
      networkMounts.push_back(dir);
    else if (IsPseudoFileSystem(type))
      pseudoMounts.push_back(dir);
  }

  DriveSelection selection;
  if (local) {
    selection.roots.push_back("/");
    std::vector<std::string> excluded = pseudoMounts;
    if (!network) excluded.insert(excluded.end(), networkMounts.begin(), networkMounts.end());
    for (const std::string& dir : Outermost(excluded))
      if (dir != "/") selection.excludeDirs.push_back(ExcludeDirPattern(dir));
  } else if (network) {
    selection.roots = Outermost(networkMounts);
  }
  return selection;
}

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

std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& args) {
  // The program name ends at the first blank outside quotes and cannot hold
  // a quote itself: quotes around it are enough.
  std::string line =
      program.find_first_of(" \t") == std::string::npos ? program : "\"" + program + "\"";
  for (const std::string& arg : args) {
    line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
      line += arg;
      continue;
    }
    // Backslashes count only before a quote: doubled there (and before the
    // closing quote), and a quote of the argument gets one more.
    line += '"';
    size_t backslashes = 0;
    for (char c : arg) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      if (c == '"') backslashes = backslashes * 2 + 1;
      line.append(backslashes, '\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
  }
  return line;
}

std::optional<std::vector<std::string>> VirusListLines(const std::string& versionOutput,
                                                       const std::string& scanOutput) {
  std::string version;
  for (const std::string& line : Lines(versionOutput))
    if (!line.empty()) {
      version = line;
      break;
    }
  static constexpr std::string_view kKnown = "Known viruses:";
  for (const std::string& line : Lines(scanOutput)) {
    if (!StartsWith(line, kKnown)) continue;
    const std::string count = TrimLine(line.substr(kKnown.size()));
    if (count.empty() || count == "0") return std::nullopt;
    std::vector<std::string> lines;
    if (!version.empty()) lines.push_back(texts::kVirusListVersion + version);
    lines.push_back(texts::kVirusListCount + count);
    return lines;
  }
  return std::nullopt;
}

int RunBridge(const std::vector<std::string>& args, const Printer& print) {
  const ParseResult parsed = ParseArguments(args, NativePathStyle());
  if (!parsed.ok()) {
    print(parsed.error, true);
    print(texts::kErrorNothingScanned, true);
    return kExitError;
  }
  const Arguments& arguments = parsed.arguments;

  Output out(print);
  // The report starts empty unless the scan appends to it; clamscan's --log
  // always appends.
  if (arguments.reportFile && !out.OpenReport(*arguments.reportFile, !arguments.Has("/append")))
    return kExitError;

  std::string problem;
  const std::string clamscan = FindClamscan(&problem);
  if (clamscan.empty()) {
    out.Line(problem, true);
    return kExitError;
  }

  DriveSelection drives;
  if (arguments.WantsLocalDrives() || arguments.WantsNetworkDrives())
    drives = GatherDrives(arguments.WantsLocalDrives(), arguments.WantsNetworkDrives());
  const Plan plan = MakePlan(arguments, drives);
  if (plan.action == Plan::Action::kVirusList) return ShowVirusList(clamscan, plan, out);

  for (const std::string& note : plan.notes) out.Line(note, false);
  if (plan.action == Plan::Action::kNothingToScan) return kExitNothingFound;
  if (StopRequested()) return kExitStopped;

  const RunOutcome outcome = RunProgram(clamscan, plan.clamscanArgs, nullptr);
  if (!outcome.started) {
    out.Line(texts::kErrorStart + clamscan + ": " + outcome.startError, true);
    return outcome.stopRequested ? kExitStopped : kExitError;
  }
  return MapExitCode(outcome.end, outcome.stopRequested);
}

}  // namespace bridge
