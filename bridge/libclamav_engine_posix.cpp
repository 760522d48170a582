// The local engine on Linux: ClamAV's own library. The signature database
// is loaded and compiled once per scan in the bridge; a scan of many files
// runs in a worker process per core forked from it, which share the engine's
// memory (on one core, and for a single file the daemon hands over, in this
// process). Each file is scanned through a descriptor opened by the one that
// scans it, so the verdict belongs to the file that was looked at.
#include <clamav.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/engine.h"
#include "bridge/scan_options.h"
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

struct FreeEngine {
  void operator()(cl_engine* engine) const { cl_engine_free(engine); }
};
using EnginePtr = std::unique_ptr<cl_engine, FreeEngine>;

// A new engine with the database loaded, not yet compiled; nothing, with ClamAV's reason, when no
// signature could be loaded.
EnginePtr LoadDatabase(const ScanRequest& request, unsigned* signatures, std::string* reason) {
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
  std::vector<std::string> paths = request.databases;
  if (paths.empty()) paths.emplace_back(cl_retdbdir());
  for (const std::string& path : paths) {
    const cl_error_t loaded = cl_load(path.c_str(), engine.get(), signatures, CL_DB_STDOPT);
    if (loaded != CL_SUCCESS) {
      *reason = path + ": " + Reason(loaded);
      return nullptr;
    }
  }
  if (*signatures == 0) {
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

bool SameContent(const struct stat& before, const struct stat& after) {
  return before.st_size == after.st_size && before.st_mtim.tv_sec == after.st_mtim.tv_sec &&
         before.st_mtim.tv_nsec == after.st_mtim.tv_nsec;
}

class LibraryEngine : public Engine {
 public:
  LibraryEngine(EnginePtr engine, cl_scan_options options)
      : engine_(std::move(engine)), options_(options) {
    int error = CL_SUCCESS;
    const long long limit = cl_engine_get_num(engine_.get(), CL_ENGINE_MAX_FILESIZE, &error);
    maxFileSize_ = error == CL_SUCCESS && limit > 0 ? static_cast<uint64_t>(limit) : 0;
  }

  std::string Description() const override {
    return texts::kEngineLibrary + std::string(cl_retver());
  }

  // The cores this process may run on.
  unsigned Threads() const override {
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0)
      return static_cast<unsigned>(std::max(1, CPU_COUNT(&cores)));
    return std::max(1u, std::thread::hardware_concurrency());
  }

  // On one core a worker would only add the messages to and fro: the scan
  // stays in this process.
  void Start() override {
    if (!workers_ && Threads() > 1)
      workers_ = std::make_unique<WorkerPool>(
          Threads(), [this](const FileToScan& file) { return ScanOne(file); });
  }

  // In the workers forked at the start, or now; they end with the scan.
  void ScanAll(FileQueue& files, const VerdictSink& sink) override {
    Start();
    if (!workers_) return Engine::ScanAll(files, sink);
    const std::unique_ptr<WorkerPool> workers = std::move(workers_);
    workers->ScanAll(files, sink);
  }

  Verdict ScanOne(const FileToScan& file) override {
    Verdict refused;
    const walk_system::OpenedFile opened = walk_system::OpenForScan(file, &refused);
    if (opened.fd < 0) return refused;
    const Verdict verdict = ScanDescriptor(opened, file);
    close(opened.fd);
    return verdict;
  }

 private:
  Verdict ScanDescriptor(const walk_system::OpenedFile& opened, const FileToScan& file) {
    const int fd = opened.fd;
    const FileIdentity& scanned = opened.identity;
    const char* virus = nullptr;
    unsigned long blocks = 0;
    cl_scan_options options = options_;
    Detections found(maxFileSize_);
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
    struct stat after = {};
    if (verdict.kind != Verdict::Kind::kInfected &&
        (fstat(fd, &after) != 0 || !SameContent(opened.status, after)))
      return Verdict::Incomplete(Shortfall::kChanged);
    return verdict;
  }

  EnginePtr engine_;
  const cl_scan_options options_;
  uint64_t maxFileSize_ = 0;
  std::unique_ptr<WorkerPool> workers_;
};

}  // namespace

std::unique_ptr<Engine> MakeLocalEngine(const ScanRequest& request, std::string* problem) {
  unsigned signatures = 0;
  std::string reason;
  EnginePtr engine = LoadDatabase(request, &signatures, &reason);
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
  return std::make_unique<LibraryEngine>(std::move(engine), ScanOptions(request));
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
