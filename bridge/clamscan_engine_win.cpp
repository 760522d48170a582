// The local engine on Windows: clamscan.exe over the list of files the
// bridge's walk found, run once for all of them (its database loads once per
// run), its output read back into one verdict per file.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/exit_codes.h"
#include "base/utf_win.h"
#include "bridge/clamscan_output.h"
#include "bridge/engine.h"
#include "bridge/system.h"
#include "bridge/text_util.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

// Files per run: one run for any ordinary scan; a drive of more files is
// scanned in several, so that the list held in memory stays small.
constexpr size_t kFilesPerRun = 100000;

// A private list file in the temporary folder, removed when done.
class ListFile {
 public:
  ListFile() {
    static std::atomic<unsigned> counter{0};
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    path_ = folder / ("quorvel-clamscan-" + std::to_string(GetCurrentProcessId()) + "-" +
                      std::to_string(counter++) + ".txt");
  }
  ~ListFile() {
    std::error_code error;
    std::filesystem::remove(path_, error);
  }
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;

  bool Write(const std::vector<std::string>& paths) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const std::string& path : paths) out << path << '\n';
    out.close();
    return !out.fail();
  }
  // The list's name as clamscan is given it: the short form where there is
  // one, as clamscan reads its arguments in the system's code page.
  std::string Argument() const {
    wchar_t shortName[MAX_PATH];
    const DWORD length = GetShortPathNameW(path_.c_str(), shortName, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return Narrow(std::wstring_view(shortName, length));
    return Utf8(path_);
  }
  std::string Name() const { return Utf8(path_); }

 private:
  std::filesystem::path path_;
};

std::string CaptureRun(const std::string& program, const std::vector<std::string>& args,
                       RunOutcome* outcome) {
  std::string text;
  *outcome =
      RunProgram(program, args, [&text](std::string_view piece, bool) { text.append(piece); });
  return text;
}

class ClamscanEngine : public Engine {
 public:
  ClamscanEngine(std::string clamscan, const ScanRequest& request)
      : clamscan_(std::move(clamscan)), request_(request) {}

  std::string Description() const override {
    return std::string(texts::kEngineClamscan) + " " + clamscan_;
  }

  Verdict ScanOne(const FileToScan& file) override {
    Verdict verdict = Verdict::Incomplete(Shortfall::kEngineError);
    Run({file}, [&](const FileToScan&, const Verdict& found) { verdict = found; });
    return verdict;
  }

  void ScanAll(FileQueue& files, const VerdictSink& sink) override {
    std::vector<FileToScan> batch;
    for (;;) {
      std::optional<FileToScan> file = files.Pop();
      if (!file && files.Aborted()) return;
      if (file) batch.push_back(std::move(*file));
      if (!batch.empty() && (!file || batch.size() >= kFilesPerRun)) {
        if (!Run(batch, sink)) return;
        batch.clear();
      }
      if (!file) return;
    }
  }

 private:
  // One run over the files, each one's verdict to the sink; false when the
  // scan is being stopped.
  bool Run(const std::vector<FileToScan>& files, const VerdictSink& sink) {
    std::vector<std::string> paths;
    paths.reserve(files.size());
    for (const FileToScan& file : files) paths.push_back(ClamscanPathOf(file));
    ClamscanOutputReader reader(
        paths, [&](size_t index, const Verdict& verdict) { sink(files[index], verdict); });

    ListFile list;
    if (!list.Write(paths)) {
      reader.Finish(texts::kClamscanListFailed + list.Name());
      return true;
    }
    const RunOutcome outcome = RunProgram(
        clamscan_, ClamscanArguments(request_, list.Argument()),
        [&](std::string_view piece, bool errorStream) { reader.Feed(piece, errorStream); });
    // A stopped scan names no file as not scanned: the stop says it all.
    if (outcome.stopRequested) return false;
    std::string noAnswer = texts::kClamscanNoAnswer;
    if (!outcome.started) {
      noAnswer = texts::kErrorStart + clamscan_ + ": " + outcome.startError;
    } else if (outcome.exited) {
      char code[64];
      std::snprintf(code, sizeof code, texts::kClamscanExitCode, outcome.code);
      noAnswer += code;
    } else {
      noAnswer += texts::kClamscanCrashed;
    }
    reader.Finish(noAnswer);
    return true;
  }

  std::string clamscan_;
  ScanRequest request_;
};

}  // namespace

std::unique_ptr<Engine> MakeLocalEngine(const ScanRequest& request, std::string* problem) {
  const std::string clamscan = FindClamscan(problem);
  if (clamscan.empty()) return nullptr;
  return std::make_unique<ClamscanEngine>(clamscan, request);
}

std::optional<std::vector<std::string>> VirusListLines(const ScanRequest& request,
                                                       std::string* problem) {
  const std::string clamscan = FindClamscan(problem);
  if (clamscan.empty()) return std::nullopt;
  std::vector<std::string> databases;
  for (const std::string& database : request.databases)
    databases.push_back("--database=" + database);

  std::vector<std::string> versionArgs = {"--version"};
  versionArgs.insert(versionArgs.end(), databases.begin(), databases.end());
  RunOutcome outcome;
  const std::string version = CaptureRun(clamscan, versionArgs, &outcome);
  if (outcome.stopRequested) ExitNow(kExitStopped);
  if (!outcome.started) {
    *problem = texts::kErrorStart + clamscan + ": " + outcome.startError;
    return std::nullopt;
  }
  // A scan of empty input loads the databases and counts their signatures.
  std::vector<std::string> countArgs = databases;
  countArgs.push_back("-");
  const std::string count = CaptureRun(clamscan, countArgs, &outcome);
  if (outcome.stopRequested) ExitNow(kExitStopped);
  return ReadVirusList(version, count, problem);
}

}  // namespace bridge
