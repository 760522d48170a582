// The daemon engine: one file per connection, the verdict read from the
// daemon's reply, never from text made up for it.
#include "clamd_engine.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "system.h"
#include "system_error_text.h"
#include "texts.h"
#include "walk_system.h"

#ifdef _WIN32
#include <windows.h>

#include <cerrno>

#include "utf_win.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace bridge {

namespace {

// libclamav scans no file of 2 GiB or more, whatever MaxFileSize says.
constexpr uint64_t kLargestScannable = 0x7fffffff;

// "25M" rather than 26214400, as a clamd.conf says it.
std::string SizeText(uint64_t bytes) {
  if (bytes != 0 && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + "M";
  if (bytes != 0 && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + "K";
  return std::to_string(bytes);
}

// The walk's file, opened by the bridge with the user's rights: the daemon
// gets this descriptor or its data, never the path.
class OpenedFile {
 public:
  OpenedFile() = default;
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  ~OpenedFile() { Close(); }

  // False with the verdict in *refused when it cannot be opened or is no
  // longer the file the walk saw.
  bool Open(const FileToScan& file, Verdict* refused) {
#ifdef _WIN32
    handle_ = CreateFileW(Widen(file.systemPath).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      *refused = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                     ? Verdict::Incomplete(Shortfall::kGone)
                     : Verdict::Incomplete(Shortfall::kUnreadable, ErrorText(error));
      return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) {
      *refused = Verdict::Incomplete(Shortfall::kUnreadable, ErrorText(GetLastError()));
      return false;
    }
    identity = {info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    const bool regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
    // Not through a link put in its place since the walk; a named pipe put
    // there must not keep the open waiting.
    fd_ = walk_system::OpenFileToScan(file.systemPath);
    if (fd_ < 0) {
      const int error = errno;
      *refused = error == ENOENT ? Verdict::Incomplete(Shortfall::kGone)
                 : error == ELOOP
                     ? Verdict::Incomplete(Shortfall::kChanged)
                     : Verdict::Incomplete(Shortfall::kUnreadable, SystemErrorText(error));
      return false;
    }
    struct stat status;
    if (fstat(fd_, &status) != 0) {
      *refused = Verdict::Incomplete(Shortfall::kUnreadable, SystemErrorText(errno));
      return false;
    }
    identity = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), true};
    size = static_cast<uint64_t>(status.st_size);
    const bool regular = S_ISREG(status.st_mode);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
#endif
    if (!regular || (file.identity.known && !(identity == file.identity))) {
      *refused = Verdict::Incomplete(Shortfall::kChanged);
      return false;
    }
    left_ = size;
    return true;
  }

  // The next data, no more than the size the limits were checked against.
  long Read(char* buffer, size_t bytes) {
    bytes = static_cast<size_t>(std::min<uint64_t>(bytes, left_));
    if (bytes == 0) return 0;
#ifdef _WIN32
    DWORD n = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(bytes), &n, nullptr)) {
      readError = ErrorText(GetLastError());
      return -1;
    }
#else
    ssize_t n;
    do n = read(fd_, buffer, bytes);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
      readError = SystemErrorText(errno);
      return -1;
    }
#endif
    left_ -= static_cast<uint64_t>(n);
    return static_cast<long>(n);
  }

  void Close() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
#else
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
#endif
  }

#ifndef _WIN32
  int fd() const { return fd_; }
#endif

  FileIdentity identity;
  uint64_t size = 0;
  std::string readError;  // set when a read failed

 private:
#ifdef _WIN32
  static std::string ErrorText(DWORD error) {
    switch (error) {
      case ERROR_ACCESS_DENIED:
        return SystemErrorText(EACCES);
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION:
        return SystemErrorText(EBUSY);
      default:
        return texts::kSystemError + std::to_string(error);
    }
  }
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  uint64_t left_ = 0;
};

class DaemonEngine final : public Engine {
 public:
  DaemonEngine(const ClamdConfig& config, LocalEngine local, DaemonNote note,
               const ClamdWaits& waits)
      : config_(config), local_(std::move(local)), note_(std::move(note)), waits_(waits) {}

  std::string Description() const override { return texts::kEngineDaemon + ClamdAddress(config_); }

  unsigned Threads() const override {
    unsigned threads = std::min(8u, std::max(2u, std::thread::hardware_concurrency()));
    // No more files at once than the daemon scans at once: a file waiting in
    // its queue would spend its reply time there.
    if (config_.maxThreads > 0 && config_.maxThreads < threads)
      threads = static_cast<unsigned>(config_.maxThreads);
    return threads;
  }

  Verdict ScanOne(const FileToScan& file) override {
    if (!lost_)
      if (std::optional<Verdict> verdict = Ask(file)) return *verdict;
    return HandOver(file, Shortfall::kDaemonLost, LostReason());
  }

  // Workers until the daemon is lost; the rest of the queue then goes to the
  // local engine as a whole, or is reported not scanned.
  void ScanAll(FileQueue& files, const VerdictSink& sink) override {
    const auto work = [&] {
      while (!lost_) {
        std::optional<FileToScan> file = files.Pop();
        if (!file) return;
        sink(*file, ScanOne(*file));
      }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < Threads(); ++i) workers.emplace_back(work);
    work();
    for (std::thread& worker : workers) worker.join();
    if (!lost_) return;
    if (Engine* local = Local()) return local->ScanAll(files, sink);
    const std::string reason = LostReason();
    while (std::optional<FileToScan> file = files.Pop())
      sink(*file, Verdict::Incomplete(Shortfall::kDaemonLost, reason));
  }

 private:
  Engine* Local() const { return local_ ? local_() : nullptr; }

  // The daemon's verdict; nothing when the daemon was lost on this file.
  std::optional<Verdict> Ask(const FileToScan& file) {
    OpenedFile opened;
    Verdict refused;
    if (!opened.Open(file, &refused)) return refused;
    if (std::optional<Verdict> over = OverLimit(opened.size)) {
      opened.Close();
      return HandOver(file, over->shortfall, over->detail);
    }
    const Cancelled stopped = [] { return StopRequested(); };
    ClamdReply reply;
#ifndef _WIN32
    if (PassesDescriptors(config_))
      reply = ScanDescriptorWithClamd(config_, opened.fd(), waits_, stopped);
    else
#endif
      reply = StreamToClamd(
          config_, [&opened](char* buffer, size_t size) { return opened.Read(buffer, size); },
          waits_, stopped);
    opened.Close();
    switch (reply.kind) {
      case ClamdReply::Kind::kClean:
        return Verdict::Clean(opened.identity);
      case ClamdReply::Kind::kInfected: {
        Verdict verdict = FromDetection(reply.text, opened.identity);
        // The daemon's alert for one of its limits.
        if (verdict.kind == Verdict::Kind::kIncomplete)
          return HandOver(file, verdict.shortfall, verdict.detail);
        return verdict;
      }
      case ClamdReply::Kind::kError:
        if (!opened.readError.empty())
          return Verdict::Incomplete(Shortfall::kUnreadable, opened.readError);
        if (const std::optional<Shortfall> limit = LimitOfClamdError(reply.text))
          return HandOver(file, *limit, reply.text);
        return Verdict::Incomplete(Shortfall::kEngineError, reply.text);
      case ClamdReply::Kind::kCancelled:
        return Verdict::Incomplete(Shortfall::kEngineError, texts::kStopped);
      case ClamdReply::Kind::kNoAnswer:
        break;
    }
    GiveUp(reply.text);
    return std::nullopt;
  }

  // The daemon's limit a file of this size is over: such a file is never
  // sent, as the daemon would pass over the rest of it and answer "OK".
  std::optional<Verdict> OverLimit(uint64_t size) const {
    struct Limit {
      uint64_t bytes;  // 0: none
      Shortfall shortfall;
      const char* name;
    };
    const uint64_t fileSize = config_.maxFileSize == 0
                                  ? kLargestScannable
                                  : std::min(config_.maxFileSize, kLargestScannable);
    const Limit limits[] = {
        {fileSize, Shortfall::kFileSizeLimit, "MaxFileSize"},
        {config_.maxScanSize, Shortfall::kScanSizeLimit, "MaxScanSize"},
        {PassesDescriptors(config_) ? 0 : config_.streamMaxLength, Shortfall::kFileSizeLimit,
         "StreamMaxLength"},
    };
    for (const Limit& limit : limits)
      if (limit.bytes != 0 && size > limit.bytes)
        return Verdict::Incomplete(limit.shortfall, texts::kDaemonLimit + std::string(limit.name) +
                                                        " " + SizeText(limit.bytes));
    return std::nullopt;
  }

  // To the local engine; without one, not (completely) scanned.
  Verdict HandOver(const FileToScan& file, Shortfall shortfall, std::string detail) {
    if (Engine* local = Local()) return local->ScanOne(file);
    return Verdict::Incomplete(shortfall, std::move(detail));
  }

  // Once for the whole scan, with one line for the user.
  void GiveUp(const std::string& reason) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (lost_) return;
    lostReason_ = reason;
    const bool local = Local() != nullptr;
    lost_ = true;
    if (note_) note_((local ? texts::kDaemonLost : texts::kDaemonLostNoLocal) + reason);
  }

  std::string LostReason() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return lostReason_;
  }

  const ClamdConfig config_;
  const LocalEngine local_;
  const DaemonNote note_;
  const ClamdWaits waits_;
  std::atomic<bool> lost_{false};
  std::mutex mutex_;
  std::string lostReason_;
};

}  // namespace

std::unique_ptr<Engine> MakeDaemonEngine(const ClamdConfig& config, const ScanRequest&,
                                         LocalEngine local, DaemonNote note,
                                         const ClamdWaits& waits) {
  return std::make_unique<DaemonEngine>(config, std::move(local), std::move(note), waits);
}

}  // namespace bridge
