// Running clamscan: the virus list, the scan, the whole run, and the command
// line that starts clamscan on Windows.
#include <chrono>
#include <filesystem>
#include <sstream>

#include "bridge.h"
#include "bridge_internal.h"
#include "bridge_texts.h"
#include "clamd_client.h"
#include "clamd_scan.h"
#include "windows_argv_quote.h"

namespace bridge {

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(TrimLine(line));
  return lines;
}

// Runs clamscan and keeps both its streams in *text.
RunOutcome RunCapturing(const std::string& clamscan, const std::vector<std::string>& args,
                        std::string* text) {
  return RunProgram(clamscan, args, [text](std::string_view piece, bool) { text->append(piece); });
}

int ShowVirusList(const std::string& clamscan, const Plan& plan, Output& out) {
  std::vector<std::string> versionArgs = {"--version"};
  versionArgs.insert(versionArgs.end(), plan.databaseOptions.begin(), plan.databaseOptions.end());
  std::string versionOutput;
  const RunOutcome version = RunCapturing(clamscan, versionArgs, &versionOutput);
  if (version.stopRequested) return kExitStopped;
  if (!version.started) {
    out.Line(texts::kErrorStart + clamscan + ": " + version.startError, true);
    return kExitError;
  }

  // A scan of empty input loads the databases and counts their signatures.
  std::vector<std::string> countArgs = plan.databaseOptions;
  countArgs.push_back("-");
  std::string countOutput;
  const RunOutcome count = RunCapturing(clamscan, countArgs, &countOutput);
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
    line += QuoteWindowsArgument(arg, true);
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

namespace {

// Every run of the plan, one after the other, read as it goes. The code
// tells the worst of what happened; anyRun whether clamscan ran at all.
int RunClamscan(const std::string& clamscan, const Plan& plan, ClamscanReader& reader, Output& out,
                bool* anyRun) {
  int code = kExitNothingFound;
  for (const std::vector<std::string>& args : plan.clamscanRuns) {
    if (StopRequested()) return kExitStopped;
    const RunOutcome outcome = RunProgram(
        clamscan, args,
        [&](std::string_view piece, bool errorStream) { reader.Feed(piece, errorStream); });
    reader.FinishRun();
    if (!outcome.started) {
      out.Line(texts::kErrorStart + clamscan + ": " + outcome.startError, true);
      if (outcome.stopRequested) return kExitStopped;
      code = WorseExitCode(code, kExitError);
      continue;
    }
    *anyRun = true;
    code = WorseExitCode(code, MapExitCode(outcome.end, outcome.stopRequested));
    if (code == kExitStopped) return code;
  }
  return code;
}

// The daemon when it may and does answer, with the console line that names
// the engine and, for clamscan, why. The report stays the same with either.
std::optional<ClamdConfig> ChooseDaemon(const std::string& clamscan, const Arguments& arguments,
                                        Output& out) {
  const std::string path = ClamdConfigPath(clamscan);
  const std::optional<ClamdConfig> config = path.empty() ? std::nullopt : ReadClamdConfig(path);
  EngineChoice choice = ChooseEngine(arguments, config);
  if (path.empty()) choice.reason = texts::kEngineOff;
  std::string problem;
  if (choice.daemon && !PingClamd(*config, &problem)) {
    choice = {false, texts::kEngineNotAnswering + problem};
  }
  if (!choice.daemon) {
    out.Console(texts::kEngineClamscan + choice.reason, false);
    return std::nullopt;
  }
  out.Console(texts::kEngineDaemon + (config->localSocket.empty()
                                          ? config->tcpAddress + ":" + config->tcpSocket
                                          : config->localSocket),
              false);
  return config;
}

// The scan with the engine chosen, read as it goes; then the summary.
int Scan(const std::string& clamscan, const Plan& plan, const Arguments& arguments,
         const DriveSelection& drives, int code, Output& out) {
  const auto started = std::chrono::steady_clock::now();
  ClamscanReader reader(out, arguments.Has("/rptall"));
  bool anyRun = false;
  if (const std::optional<ClamdConfig> daemon = ChooseDaemon(clamscan, arguments, out)) {
    const int daemonCode = ScanThroughDaemon(*daemon, arguments, drives, reader, out);
    reader.FinishRun();
    anyRun = true;
    code = WorseExitCode(
        code, MapExitCode({ChildEnd::Kind::kExited, daemonCode}, daemonCode == kExitStopped));
  } else {
    code = WorseExitCode(code, RunClamscan(clamscan, plan, reader, out, &anyRun));
  }
  if (code == kExitStopped || !anyRun) return code;

  const ScanTotals& totals = reader.totals();
  if (totals.missingDatabase) out.Line(texts::kErrorNoDatabase, true);
  // Not one file or folder reached: whatever clamscan's code, nothing was
  // scanned, and that is no clean result.
  if (totals.summarySeen && totals.files == 0 && totals.directories == 0 && code == 0) {
    out.Line(texts::kErrorNothingScanned, true);
    code = kExitError;
  }
  const auto taken =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
  for (const std::string& line : SummaryLines(totals, taken)) out.Line(line, false);
  return code;
}

}  // namespace

int RunBridge(const std::vector<std::string>& args, const Printer& print) {
  const ParseResult parsed = ParseArguments(args, NativePathStyle());
  if (!parsed.ok()) {
    print(parsed.error, true);
    print(texts::kErrorNothingScanned, true);
    return kExitError;
  }
  Arguments arguments = parsed.arguments;

  Output out(print);
  // The report starts empty unless the scan appends to it.
  if (arguments.reportFile && !out.OpenReport(*arguments.reportFile, !arguments.Has("/append")))
    return kExitError;

  std::string problem;
  const std::string clamscan = FindClamscan(&problem);
  if (clamscan.empty()) {
    out.Line(problem, true);
    return kExitError;
  }

  // A target that is not there is named, and the rest is scanned.
  int code = kExitNothingFound;
  std::vector<std::string> present;
  for (const std::string& target : arguments.targets) {
    std::error_code error;
    if (std::filesystem::exists(FsPath(target), error)) {
      present.push_back(target);
    } else {
      out.Line(texts::kErrorTargetMissing + target, true);
      code = kExitError;
    }
  }
  arguments.targets = present;

  DriveSelection drives;
  if (arguments.WantsLocalDrives() || arguments.WantsNetworkDrives())
    drives = GatherDrives(arguments.WantsLocalDrives(), arguments.WantsNetworkDrives());
  const Plan plan = MakePlan(arguments, drives);
  if (plan.action == Plan::Action::kVirusList) return ShowVirusList(clamscan, plan, out);

  for (const std::string& note : plan.notes) out.Line(note, false);
  for (const std::string& line : plan.problems) out.Line(line, true);
  if (!plan.problems.empty()) code = kExitError;
  if (plan.action == Plan::Action::kNothingToScan) {
    out.Line(texts::kErrorNothingScanned, true);
    return kExitError;
  }
  if (StopRequested()) return kExitStopped;
  return Scan(clamscan, plan, arguments, drives, code, out);
}

}  // namespace bridge
