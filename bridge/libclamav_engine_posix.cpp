// The local engine on Linux: ClamAV's own library. With a large database on
// more than one core, the signatures are split into shards: a worker process
// per shard, forked first, loads and compiles its share at once with the
// others, and scans every file. Otherwise the database is loaded and
// compiled once per scan in the bridge, and a scan of many files runs in a
// worker process per core forked from it, which share the engine's memory
// (on one core, and for a single file the daemon hands over, in this
// process). Each file is scanned through a descriptor opened by the one that
// scans it, so the verdict belongs to the file that was looked at.
#include "bridge/libclamav_engine_posix.h"

#include <clamav.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "bridge/engine.h"
#include "bridge/scan_options.h"
#include "bridge/shard_database_posix.h"
#include "bridge/texts.h"
#include "bridge/walk_system.h"
#include "bridge/worker_pool_posix.h"

namespace bridge {

namespace {

// libclamav prints its warnings and errors itself unless told otherwise: the
// console belongs to the ledger, so they are kept quiet, and the last error
// is kept for the message when the database cannot be loaded.
std::mutex g_messageMutex;
std::string g_lastError;

void OnLibraryMessage(enum cl_msg severity, const char*, const char* message, void*) {
  if (severity != CL_MSG_ERROR || !message) return;
  std::string text = message;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  const std::lock_guard<std::mutex> lock(g_messageMutex);
  g_lastError = std::move(text);
}

std::string TakeLastError() {
  const std::lock_guard<std::mutex> lock(g_messageMutex);
  return std::move(g_lastError);
}

// cl_init once per process; its result every time after.
cl_error_t InitLibrary() {
  static const cl_error_t result = [] {
    cl_set_clcb_msg(OnLibraryMessage);
    return cl_init(CL_INIT_DEFAULT);
  }();
  return result;
}

// ClamAV's words for an error code, with its last message when there is one.
std::string Reason(cl_error_t code) {
  std::string reason = cl_strerror(code);
  if (const std::string message = TakeLastError(); !message.empty()) reason += ": " + message;
  return reason;
}

// Beyond the engine's own time limit per file, before its worker is ended;
// the whole time when the engine has none.
constexpr std::chrono::milliseconds kFileTimeMargin(30000);
constexpr std::chrono::milliseconds kLongestFileTime(10 * 60 * 1000);
// How long a shard may take to load and compile its share.
constexpr std::chrono::milliseconds kLongestLoadTime(10 * 60 * 1000);

// Below this many signatures the database loads in a moment, and shards
// would only scan every file more than once. Each shard holds its share of
// the signatures and what every shard loads whole; at most a few shards,
// since every shard reads and parses every file.
constexpr uint64_t kShardFrom = 200000;
constexpr uint64_t kBytesPerSignature = 160;
constexpr uint64_t kBytesPerShard = 64ull << 20;
constexpr unsigned kMostShards = 4;

struct FreeEngine {
  void operator()(cl_engine* engine) const { cl_engine_free(engine); }
};
using EnginePtr = std::unique_ptr<cl_engine, FreeEngine>;

// Which signatures a shard loads: of the kinds that stand alone (hashes of
// whole files and sections, bodies, logical signatures with their
// sub-signatures), every shards-th in the order the library reads them,
// starting at its own number; of every other kind all, since they act on
// other signatures or on the scan as a whole: false-positive lists, icons,
// container and archive metadata, bytecode, and those the library loads
// without asking (ignore lists, file type magic, certificates, phishing
// lists, its configuration). Every shard reads the same files in the same
// order, so the shares are disjoint and together the whole database. Plain
// signature files reach a shard already split (ShardDatabase), and all of
// such a share is kept.
struct ShardChoice {
  unsigned shard = 0;
  unsigned shards = 1;
  uint64_t seen = 0;
  bool keepAll = false;  // while the shard's own shares load
};

int SkipOtherShards(const char* type, const char*, unsigned int, void* context) {
  ShardChoice& choice = *static_cast<ShardChoice*>(context);
  if (choice.keepAll || !type || !StandsAlone(type)) return 0;
  return choice.seen++ % choice.shards == choice.shard ? 0 : 1;
}

// The library reports its progress every 10,000 signatures loaded, and now
// and then while it compiles.
cl_error_t OnProgress(size_t, size_t, void* context) {
  (*static_cast<const WhileLoading*>(context))();
  return CL_SUCCESS;
}

// A new engine with the database (or a shard's share of it) loaded, not yet
// compiled; nothing, with ClamAV's reason, when no signature could be
// loaded.
EnginePtr LoadDatabase(const ScanRequest& request, unsigned* signatures, std::string* reason,
                       ShardChoice* shard = nullptr, const WhileLoading& whileLoading = {}) {
  *signatures = 0;
  if (const cl_error_t init = InitLibrary(); init != CL_SUCCESS) {
    *reason = Reason(init);
    return nullptr;
  }
  TakeLastError();
  EnginePtr engine(cl_engine_new());
  if (!engine) {
    *reason = Reason(CL_EMEM);
    return nullptr;
  }
  if (whileLoading) {
    void* context = const_cast<WhileLoading*>(&whileLoading);
    cl_engine_set_clcb_sigload_progress(engine.get(), OnProgress, context);
    cl_engine_set_clcb_engine_compile_progress(engine.get(), OnProgress, context);
  }
  std::vector<std::string> paths = request.databases;
  if (paths.empty()) paths.emplace_back(cl_retdbdir());
  std::optional<ShardDatabase> share;
  if (shard) {
    cl_engine_set_clcb_sigload(engine.get(), SkipOtherShards, shard);
    share.emplace(paths, shard->shard, shard->shards);
    if (!share->Problem().empty()) {
      *reason = share->Problem();
      return nullptr;
    }
  }
  const auto load = [&](const std::vector<std::string>& list) {
    for (const std::string& path : list) {
      const cl_error_t loaded = cl_load(path.c_str(), engine.get(), signatures, CL_DB_STDOPT);
      if (loaded != CL_SUCCESS) {
        *reason = path + ": " + Reason(loaded);
        return false;
      }
    }
    return true;
  };
  if (!load(share ? share->Paths() : paths)) return nullptr;
  if (share) {
    shard->keepAll = true;
    if (!load(share->Shares())) return nullptr;
  }
  // A shard may hold none of a small database's signatures.
  if (*signatures == 0 && !shard) {
    *reason = texts::kNoSignatures + paths.front();
    return nullptr;
  }
  return engine;
}

// The table's copy of clamav.h's values.
static_assert(cl_flags::kGeneralHeuristics == CL_SCAN_GENERAL_HEURISTICS);
static_assert(cl_flags::kParseArchive == CL_SCAN_PARSE_ARCHIVE);
static_assert(cl_flags::kParseElf == CL_SCAN_PARSE_ELF);
static_assert(cl_flags::kParsePdf == CL_SCAN_PARSE_PDF);
static_assert(cl_flags::kParseSwf == CL_SCAN_PARSE_SWF);
static_assert(cl_flags::kParseHwp3 == CL_SCAN_PARSE_HWP3);
static_assert(cl_flags::kParseXmlDocs == CL_SCAN_PARSE_XMLDOCS);
static_assert(cl_flags::kParseMail == CL_SCAN_PARSE_MAIL);
static_assert(cl_flags::kParseOle2 == CL_SCAN_PARSE_OLE2);
static_assert(cl_flags::kParseHtml == CL_SCAN_PARSE_HTML);
static_assert(cl_flags::kParsePe == CL_SCAN_PARSE_PE);
static_assert(cl_flags::kParseOneNote == CL_SCAN_PARSE_ONENOTE);
static_assert(cl_flags::kParseImage == CL_SCAN_PARSE_IMAGE);
static_assert(cl_flags::kParseImageFuzzyHash == CL_SCAN_PARSE_IMAGE_FUZZY_HASH);
static_assert(cl_flags::kHeuristicExceedsMax == CL_SCAN_HEURISTIC_EXCEEDS_MAX);
static_assert(cl_flags::kHeuristicEncryptedArchive == CL_SCAN_HEURISTIC_ENCRYPTED_ARCHIVE);
static_assert(cl_flags::kHeuristicEncryptedDoc == CL_SCAN_HEURISTIC_ENCRYPTED_DOC);

// The signatures in a database file, counted without loading them: an
// official container by its header, a plain file estimated by its lines.
uint64_t CountFileSignatures(const std::string& path) {
  if (const std::optional<uint64_t> lines = EstimatePlainSignatures(path)) return *lines;
  unsigned int count = 0;
  return cl_countsigs(path.c_str(), CL_COUNTSIGS_ALL, &count) == CL_SUCCESS ? count : 0;
}

// The signatures the request's database holds, counted without loading
// them; 0 when they cannot be counted.
uint64_t CountSignatures(const ScanRequest& request) {
  if (InitLibrary() != CL_SUCCESS) return 0;
  std::vector<std::string> paths = request.databases;
  if (paths.empty()) paths.emplace_back(cl_retdbdir());
  uint64_t total = 0;
  for (const std::string& path : paths) {
    std::error_code error;
    if (!std::filesystem::is_directory(FsPath(path), error)) {
      total += CountFileSignatures(path);
      continue;
    }
    for (std::filesystem::directory_iterator entry(FsPath(path), error), end;
         !error && entry != end; entry.increment(error))
      total += CountFileSignatures(Utf8(entry->path()));
  }
  return total;
}

// Whether scanning the request's targets once would take less than loading
// the database: then shards, which load it at once but each read every
// file, end sooner than a single engine, whose workers share the files;
// else not. Measured on the build machine: loading about 1.2 us a
// signature, scanning about 100 us a file and 0.1 us a byte. The targets
// are looked at up to that estimate and a tenth of a second, no further;
// drives never pass.
constexpr double kLoadMicrosPerSignature = 1.2;
constexpr double kScanMicrosPerFile = 100;
constexpr double kScanMicrosPerByte = 0.1;

bool ScanIsShorterThanLoad(const ScanRequest& request, uint64_t signatures) {
  if (request.WantsDrives()) return false;
  const double load = static_cast<double>(signatures) * kLoadMicrosPerSignature;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  double scan = 0;
  const auto add = [&](uintmax_t bytes) {
    scan += kScanMicrosPerFile + static_cast<double>(bytes) * kScanMicrosPerByte;
    return scan < load && std::chrono::steady_clock::now() < deadline;
  };
  namespace fs = std::filesystem;
  for (const std::string& target : request.targets) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::is_regular_file(status)) {
      if (!add(fs::file_size(target, error))) return false;
      continue;
    }
    if (!fs::is_directory(status)) continue;
    const auto options = fs::directory_options::skip_permission_denied;
    const auto count = [&](auto entry) {
      for (; entry != decltype(entry)(); entry.increment(error)) {
        if (error) return false;
        if (entry->is_regular_file(error) && !entry->is_symlink(error) &&
            !add(entry->file_size(error)))
          return false;
      }
      return true;
    };
    if (request.Recursive()) {
      if (!count(fs::recursive_directory_iterator(target, options, error))) return false;
    } else {
      if (!count(fs::directory_iterator(target, options, error))) return false;
    }
  }
  return scan < load;
}

// The memory the system can still give without swapping, from
// /proc/meminfo; 0 when unknown.
uint64_t MemoryAvailable() {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  uint64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> name >> kilobytes) {
    std::getline(meminfo, unit);
    if (name == "MemAvailable:") return kilobytes * 1024;
  }
  return 0;
}

cl_scan_options ScanOptions(const ScanRequest& request) {
  const LibraryOptions library = LibraryOptionsFor(request);
  cl_scan_options options = {};
  options.general = library.general;
  options.parse = library.parse;
  options.heuristic = library.heuristic;
  return options;
}

Shortfall ShortfallOf(cl_error_t code) {
  switch (code) {
    case CL_EMAXSIZE:
      return Shortfall::kScanSizeLimit;
    case CL_EMAXREC:
      return Shortfall::kRecursionLimit;
    case CL_EMAXFILES:
      return Shortfall::kFilesLimit;
    case CL_ETIMEOUT:
      return Shortfall::kTimeLimit;
    default:
      return Shortfall::kEngineError;
  }
}

// The names ClamAV gives one scan. A file over a limit is answered CL_VIRUS
// without a name: the alert comes only through the engine's callback. A real
// virus outweighs a limit's alert.
//
// Some of ClamAV's extractors (zip members, xar, CAB and InstallShield
// files) cut a file inside at the file size limit without an alert: only
// its debug log says so, which never reaches the message callback. Such a
// file is seen as an inner layer of just about that size; one is taken for
// cut (a whole one so close to the limit is rare, and is then named not
// completely scanned rather than clean).
struct Detections {
  explicit Detections(uint64_t maxFileSize) : maxFileSize(maxFileSize) {}
  std::string name;
  const uint64_t maxFileSize;
  std::string cutName;  // the first inner file cut at the limit
  uint64_t cutSize = 0;
  void Add(const char* virus) {
    if (virus && *virus && (name.empty() || LimitOfAlert(name))) name = virus;
  }
};

// The extractors stop within a buffer or two of the limit.
constexpr uint64_t kCutMargin = 64 * 1024;

void OnVirusFound(int, const char* virus, void* context) {
  if (context) static_cast<Detections*>(context)->Add(virus);
}

cl_error_t OnInnerFile(int, const char*, const char**, size_t, const char* name, size_t size,
                       const char*, uint32_t depth, uint32_t, void* context) {
  auto* found = static_cast<Detections*>(context);
  if (!found || depth == 0 || found->maxFileSize == 0 || !found->cutName.empty()) return CL_CLEAN;
  if (size + kCutMargin >= found->maxFileSize && size <= found->maxFileSize + kCutMargin) {
    found->cutName = name && *name ? name : "?";
    found->cutSize = size;
  }
  return CL_CLEAN;
}

// The request's limits and the engine's callbacks and temporary folder on a
// loaded engine, then compiled; nothing, with the message for the user,
// when it cannot be.
EnginePtr MakeEngine(const ScanRequest& request, ShardChoice* shard, std::string* problem,
                     const WhileLoading& whileLoading = {}) {
  unsigned signatures = 0;
  std::string reason;
  EnginePtr engine = LoadDatabase(request, &signatures, &reason, shard, whileLoading);
  if (!engine) {
    *problem = texts::kErrorNoDatabase + (" (" + reason + ")");
    return nullptr;
  }
  // ClamAV's own limits stand unless the request sets them.
  cl_error_t set = CL_SUCCESS;
  if (request.maxFileSize)
    set = cl_engine_set_num(engine.get(), CL_ENGINE_MAX_FILESIZE,
                            static_cast<long long>(*request.maxFileSize));
  if (request.maxScanSize && set == CL_SUCCESS)
    set = cl_engine_set_num(engine.get(), CL_ENGINE_MAX_SCANSIZE,
                            static_cast<long long>(*request.maxScanSize));
  cl_engine_set_clcb_virus_found(engine.get(), OnVirusFound);
  cl_engine_set_clcb_file_inspection(engine.get(), OnInnerFile);
  if (const cl_error_t ready = set == CL_SUCCESS ? cl_engine_compile(engine.get()) : set;
      ready != CL_SUCCESS) {
    *problem = texts::kErrorEngine + Reason(ready);
    return nullptr;
  }
  return engine;
}

// How long a worker may take over one file: the engine's own time limit,
// which it checks only now and then, with a margin, as for the daemon.
std::chrono::milliseconds FileTimeLimit() {
  const EnginePtr engine(cl_engine_new());
  int error = CL_SUCCESS;
  const long long limit =
      engine ? cl_engine_get_num(engine.get(), CL_ENGINE_MAX_SCANTIME, &error) : 0;
  if (error != CL_SUCCESS || limit <= 0 || limit > kLongestFileTime.count())
    return kLongestFileTime;
  return std::chrono::milliseconds(limit) + kFileTimeMargin;
}

// The cores this process may run on.
unsigned Cores() {
  cpu_set_t cores;
  if (sched_getaffinity(0, sizeof cores, &cores) == 0)
    return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
  return std::max(1u, std::thread::hardware_concurrency());
}

class LibraryEngine : public Engine {
 public:
  LibraryEngine(const ScanRequest& request, EnginePtr engine)
      : request_(request),
        engine_(std::move(engine)),
        options_(ScanOptions(request)),
        timeLimit_(FileTimeLimit()) {}

  std::string Description() const override {
    return texts::kEngineLibrary + std::string(cl_retver());
  }

  unsigned Threads() const override { return Cores(); }

  // The shards, each making its share of the engine; false, with the
  // reason, when one could not be made.
  bool MakeShards(unsigned count, std::string* problem, const WhileLoading& whileLoading) {
    shards_ = WorkerPool::Shards(
        count,
        [this](unsigned shard, unsigned shards) {
          ShardChoice choice{shard, shards, 0};
          std::string problem;
          engine_ = MakeEngine(request_, &choice, &problem);
          return problem;
        },
        [this](const FileToScan& file) { return ScanHere(file); }, timeLimit_, kLongestLoadTime,
        problem, whileLoading);
    return shards_ != nullptr;
  }

  // On one core a worker would only add the messages to and fro: the scan
  // stays in this process.
  void Start() override {
    if (!shards_ && !workers_ && Threads() > 1)
      workers_ = std::make_unique<WorkerPool>(
          Threads(), [this](const FileToScan& file) { return ScanHere(file); }, timeLimit_);
  }

  // By the shards, or in the workers forked at the start, or now; these end
  // with the scan.
  void ScanAll(FileQueue& files, const VerdictSink& sink) override {
    if (shards_) return shards_->ScanAll(files, sink);
    Start();
    if (!workers_) return Engine::ScanAll(files, sink);
    const std::unique_ptr<WorkerPool> workers = std::move(workers_);
    workers->ScanAll(files, sink);
  }

  Verdict ScanOne(const FileToScan& file) override {
    return shards_ ? shards_->ScanOne(file) : ScanHere(file);
  }

 private:
  // The engine's file size limit, 0 for none: a shard's engine is made in
  // the shard, after this object.
  uint64_t MaxFileSize() const {
    int error = CL_SUCCESS;
    const long long limit = cl_engine_get_num(engine_.get(), CL_ENGINE_MAX_FILESIZE, &error);
    return error == CL_SUCCESS && limit > 0 ? static_cast<uint64_t>(limit) : 0;
  }

  Verdict ScanHere(const FileToScan& file) {
    Verdict refused;
    const std::unique_ptr<walk_system::OpenedFile> opened =
        walk_system::OpenForScan(file, &refused);
    if (!opened) return refused;
    return ScanDescriptor(*opened, file);
  }

  Verdict ScanDescriptor(const walk_system::OpenedFile& opened, const FileToScan& file) {
    const int fd = opened.Descriptor();
    const FileIdentity& scanned = opened.identity;
    const char* virus = nullptr;
    unsigned long blocks = 0;
    cl_scan_options options = options_;
    Detections found(MaxFileSize());
    const cl_error_t result = cl_scandesc_callback(fd, file.systemPath.c_str(), &virus, &blocks,
                                                   engine_.get(), &options, &found);
    if (virus) found.Add(virus);
    Verdict verdict;
    if (result == CL_CLEAN && !found.cutName.empty())
      verdict = Verdict::Incomplete(Shortfall::kFileSizeLimit,
                                    texts::kMemberCut + std::to_string(found.cutSize) +
                                        texts::kMemberCutBytes + found.cutName);
    else if (result == CL_CLEAN)
      verdict = Verdict::Clean(scanned);
    else if (result == CL_VIRUS && !found.name.empty())
      verdict = FromDetection(found.name, scanned);
    else
      verdict = Verdict::Incomplete(ShortfallOf(result), cl_strerror(result));

    // What was read may not be the whole of a file written meanwhile. A virus
    // found in it is still reported: it was there.
    if (verdict.kind != Verdict::Kind::kInfected && !opened.Unchanged())
      return Verdict::Incomplete(Shortfall::kChanged);
    return verdict;
  }

  const ScanRequest request_;
  EnginePtr engine_;  // with shards: in each shard only
  const cl_scan_options options_;
  const std::chrono::milliseconds timeLimit_;
  std::unique_ptr<WorkerPool> workers_;
  std::unique_ptr<WorkerPool> shards_;
};

// Shards are forked only from the process's first thread, which lives as
// long as the scan (a worker dies with the thread that forked it): the
// daemon's hand-over makes its engine on another thread.
bool OnFirstThread() { return syscall(SYS_gettid) == getpid(); }

}  // namespace

unsigned ShardCount(unsigned cores, uint64_t signatures, uint64_t memoryAvailable) {
  if (cores < 2 || signatures < kShardFrom) return 1;
  for (unsigned shards = std::min(cores, kMostShards); shards > 1; --shards)
    if (signatures * kBytesPerSignature + shards * kBytesPerShard <= memoryAvailable / 4 * 3)
      return shards;
  return 1;
}

std::unique_ptr<Engine> MakeLibraryEngine(const ScanRequest& request, unsigned shards,
                                          std::string* problem, const WhileLoading& whileLoading) {
  if (shards > 1) {
    auto engine = std::make_unique<LibraryEngine>(request, nullptr);
    std::string why;
    if (engine->MakeShards(shards, &why, whileLoading)) return engine;
  }
  EnginePtr engine = MakeEngine(request, nullptr, problem, whileLoading);
  if (!engine) return nullptr;
  return std::make_unique<LibraryEngine>(request, std::move(engine));
}

std::unique_ptr<Engine> MakeLocalEngine(const ScanRequest& request, std::string* problem,
                                        const WhileLoading& whileLoading) {
  unsigned shards = 1;
  if (OnFirstThread() && Cores() > 1) {
    const uint64_t signatures = CountSignatures(request);
    if (ScanIsShorterThanLoad(request, signatures))
      shards = ShardCount(Cores(), signatures, MemoryAvailable());
  }
  if (whileLoading) whileLoading();
  return MakeLibraryEngine(request, shards, problem, whileLoading);
}

std::optional<std::vector<std::string>> VirusListLines(const ScanRequest& request,
                                                       std::string* problem) {
  unsigned signatures = 0;
  const EnginePtr engine = LoadDatabase(request, &signatures, problem);
  if (!engine) return std::nullopt;
  // "1.4.3/27480/2026-12-09 08:30" when the database carries its version.
  std::string version = cl_retver();
  int error = CL_SUCCESS;
  const long long number = cl_engine_get_num(engine.get(), CL_ENGINE_DB_VERSION, &error);
  if (error == CL_SUCCESS && number > 0) {
    version += "/" + std::to_string(number);
    const time_t made =
        static_cast<time_t>(cl_engine_get_num(engine.get(), CL_ENGINE_DB_TIME, &error));
    struct tm local = {};
    char date[32];
    if (error == CL_SUCCESS && made > 0 && localtime_r(&made, &local) &&
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local) > 0)
      version += "/" + std::string(date);
  }
  return std::vector<std::string>{texts::kVirusListVersion + version,
                                  texts::kVirusListCount + std::to_string(signatures)};
}

}  // namespace bridge
