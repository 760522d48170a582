// Running clamscan: the report file, the virus list, the whole run, and the
// command line that starts clamscan on Windows.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bridge.h"
#include "bridge_internal.h"
#include "bridge_texts.h"

namespace bridge {

namespace {

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
