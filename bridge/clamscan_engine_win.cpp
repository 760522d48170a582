// The local engine on Windows: clamscan.exe over the list of files the
// bridge's walk found, run once for all of them (its database loads once per
// run), its output read back into one verdict per file.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/exit_codes.h"
#include "base/text.h"
#include "base/utf_win.h"
#include "bridge/clamscan_output.h"
#include "bridge/engine.h"
#include "bridge/system.h"
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

// The name clamscan prints for a file it opens (ClamAV's cli_realpath, in
// every release but 1.4.5 and 1.5.3): the final path the system gives for an
// open handle, on-disk case and links resolved, without the long form's
// "\\?\" except before a network path. Nothing when it cannot be opened,
// as clamscan then prints the name as listed.
std::string FinalPathOf(const FileToScan& file) {
  const std::string& path = file.systemPath.empty() ? file.path : file.systemPath;
  const HANDLE handle = CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring resolved(GetFinalPathNameByHandleW(handle, nullptr, 0, VOLUME_NAME_DOS), L'\0');
  const DWORD length = resolved.empty() ? 0
                                        : GetFinalPathNameByHandleW(
                                              handle, resolved.data(),
                                              static_cast<DWORD>(resolved.size()), VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (length == 0 || length >= resolved.size()) return {};
  resolved.resize(length);
  if (resolved.rfind(L"\\\\?\\", 0) == 0 && resolved.rfind(L"\\\\?\\UNC\\", 0) != 0)
    resolved.erase(0, 4);
  return Narrow(resolved);
}

// A name as clamscan 1.0 to 1.4 print it: in the OEM code page, "?" for
// what it cannot hold. (From 1.5 on it prints UTF-8.)
std::string OemForm(const std::string& utf8) {
  const std::wstring wide = Widen(utf8);
  const int size = static_cast<int>(wide.size());
  std::string oem(static_cast<size_t>(WideCharToMultiByte(CP_OEMCP, 0, wide.data(), size, nullptr,
                                                          0, nullptr, nullptr)),
                  '\0');
  WideCharToMultiByte(CP_OEMCP, 0, wide.data(), size, oem.data(), static_cast<int>(oem.size()),
                      nullptr, nullptr);
  return oem;
}

// Every name clamscan may print for a file listed as listed: as listed or
// as its final path, each in UTF-8 or in the OEM code page.
std::vector<std::string> NamesOf(const FileToScan& file, const std::string& listed) {
  std::vector<std::string> names = {listed};
  const std::string resolved = FinalPathOf(file);
  if (!resolved.empty() && resolved != listed) names.push_back(resolved);
  for (size_t i = 0, count = names.size(); i < count; ++i) {
    std::string oem = OemForm(names[i]);
    if (std::find(names.begin(), names.end(), oem) == names.end()) names.push_back(std::move(oem));
  }
  return names;
}

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
  bool Run(const std::vector<FileToScan>& all, const VerdictSink& sink) {
    std::vector<const FileToScan*> files;
    std::vector<std::string> paths;
    std::vector<std::vector<std::string>> names;
    for (const FileToScan& file : all) {
      std::string path = ClamscanPathOf(file);
      if (path.size() > kClamscanLongestPath) {
        sink(file, Verdict::Incomplete(Shortfall::kEngineError, texts::kClamscanPathTooLong));
        continue;
      }
      files.push_back(&file);
      names.push_back(NamesOf(file, path));
      paths.push_back(std::move(path));
    }
    if (files.empty()) return true;
    ClamscanOutputReader reader(
        names, [&](size_t index, const Verdict& verdict) { sink(*files[index], verdict); });

    ListFile list;
    if (!list.Write(paths)) {
      reader.Finish(texts::kClamscanListFailed + list.Name(), std::nullopt);
      return true;
    }
    const RunOutcome outcome = RunProgram(
        clamscan_, ClamscanArguments(request_, list.Argument()),
        [&](std::string_view piece, bool errorStream) { reader.Feed(piece, errorStream); });
    // A stopped scan names no file as not scanned: the stop says it all.
    if (outcome.stopRequested) {
      reader.Stopped();
      return false;
    }
    std::optional<int> exitCode;
    if (outcome.exited) exitCode = outcome.code;
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
    reader.Finish(noAnswer, exitCode);
    for (const size_t index : reader.Uncertain())
      if (!Run({*files[index]}, sink)) return false;
    return true;
  }

  std::string clamscan_;
  ScanRequest request_;
};

}  // namespace

// clamscan.exe loads its database with each run, where a stop ends it.
std::unique_ptr<Engine> MakeLocalEngine(const ScanRequest& request, std::string* problem,
                                        const WhileLoading&) {
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
