// The daemon engine: files in sessions, the verdict read from the daemon's
// reply, never from text made up for it.
#include "bridge/clamd_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "bridge/error_reason.h"
#include "bridge/scan_options.h"
#include "bridge/system.h"
#include "bridge/texts.h"
#include "bridge/walk_system.h"

namespace bridge {

namespace {

using Clock = std::chrono::steady_clock;

// libclamav scans no file of 2 GiB or more, whatever MaxFileSize says.
constexpr uint64_t kLargestScannable = 0x7fffffff;

// The walk's file: the daemon gets its descriptor or its data, never the path.
using walk_system::OpenedFile;

class DaemonEngine final : public Engine {
 public:
  DaemonEngine(const ClamdConfig& config, const ScanRequest& request, LocalEngine local,
               DaemonNote note, const ClamdWaits& waits)
      : config_(config),
        request_(request),
        containerDoubt_(WhyContainersNotWhole(config)),
        local_(std::move(local)),
        note_(std::move(note)),
        waits_(waits) {}

  std::string Description() const override { return texts::kEngineDaemon + ClamdAddress(config_); }

  unsigned Threads() const override {
    unsigned threads = std::min(8u, std::max(2u, std::thread::hardware_concurrency()));
    // No more files at once than the daemon scans at once: a file waiting in
    // its queue would spend its reply time there.
    if (config_.maxThreads > 0 && config_.maxThreads < threads)
      threads = static_cast<unsigned>(config_.maxThreads);
    return threads;
  }

  // One file as a scan of its own.
  Verdict ScanOne(const FileToScan& file) override {
    FileQueue one;
    one.Push(file);
    one.Finish();
    Verdict verdict = Verdict::Incomplete(Shortfall::kDaemonLost, LostReason());
    ScanAll(one, [&verdict](const FileToScan&, const Verdict& given) { verdict = given; });
    return verdict;
  }

  // A few sessions, each with its share of the requests the daemon can take
  // at once in flight, until the daemon is lost; the rest of the queue then
  // goes to the local engine as a whole, or is reported not scanned.
  void ScanAll(FileQueue& files, const VerdictSink& sink) override {
    const unsigned inFlight = InFlight();
    const unsigned sessions = std::min(kSessions, inFlight);
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < sessions; ++i)
      threads.emplace_back([&, i] { Session(files, sink, Share(inFlight, sessions, i)); });
    Session(files, sink, Share(inFlight, sessions, 0));
    for (std::thread& thread : threads) thread.join();
    if (!lost_) return;
    if (Engine* local = Local()) return local->ScanAll(files, sink);
    const std::string reason = LostReason();
    while (std::optional<FileToScan> file = files.Pop())
      sink(*file, Verdict::Incomplete(Shortfall::kDaemonLost, reason));
  }

 private:
  Engine* Local() const { return local_ ? local_() : nullptr; }

  static constexpr unsigned kSessions = 2;

  // Requests in flight at once: one for each of the daemon's threads, and
  // as many again waiting in its queue, so that a thread that finished finds
  // the next file there; never more than its queue takes.
  unsigned InFlight() const {
    uint64_t threads = config_.maxThreads > 0 ? config_.maxThreads : 10;
    uint64_t count = 2 * threads;
    if (config_.maxQueue > threads) count = std::min(count, config_.maxQueue - 1);
    return static_cast<unsigned>(std::max<uint64_t>(1, std::min<uint64_t>(count, 256)));
  }
  static unsigned Share(unsigned total, unsigned parts, unsigned part) {
    return total / parts + (part < total % parts ? 1 : 0);
  }

  // A file whose request is with the daemon, kept open to be checked after
  // the reply.
  struct Pending {
    FileToScan file;
    std::unique_ptr<OpenedFile> opened;
    bool doubtful = false;  // its "OK" is not the whole truth
  };

  // One session: files from the queue while fewer than limit are in flight,
  // verdicts as the replies come. A connection that ends is made again, as
  // long as the last one answered anything; the files it had are sent again.
  void Session(FileQueue& files, const VerdictSink& sink, unsigned limit) {
    const Cancelled stopped = [] { return StopRequested(); };
    std::map<uint64_t, Pending> pending;
    std::vector<Pending> resend;
    std::unique_ptr<ClamdSession> session;
    bool answered = false, walkDone = false;
    Clock::time_point progress = Clock::now();
    const auto broken = [&](const ClamdReply& failure) {
      if (failure.kind == ClamdReply::Kind::kCancelled) {
        for (auto& [id, file] : pending) sink(file.file, Stopped());
        pending.clear();
        walkDone = true;
        return;
      }
      session.reset();
      for (auto& [id, file] : pending) resend.push_back(std::move(file));
      pending.clear();
      if (!answered) GiveUp(failure.text);
      answered = false;
    };
    while (!lost_ && !(walkDone && pending.empty() && resend.empty())) {
      if (!session) {
        session = std::make_unique<ClamdSession>(config_, waits_, stopped);
        ClamdReply failure;
        if (!session->Open(&failure)) {
          session.reset();
          GiveUp(failure.text);
          break;
        }
        progress = Clock::now();
      }
      // Files out while there is room: those to send again first.
      bool failed = false;
      while (!failed && pending.size() < limit && !lost_) {
        std::optional<FileToScan> next;
        Pending again;
        if (!resend.empty()) {
          again = std::move(resend.back());
          resend.pop_back();
          next = std::move(again.file);
        } else if (!walkDone) {
          next = files.Pop(
              pending.empty() ? std::chrono::milliseconds(200) : std::chrono::milliseconds(0),
              &walkDone);
        }
        if (!next) break;
        if (pending.empty()) progress = Clock::now();
        ClamdReply failure;
        // Time the local engine took over a file is not the daemon's.
        const Clock::time_point sending = Clock::now();
        bool local = false;
        const bool sent = Send(*session, std::move(*next), sink, &pending, &failure, &local);
        if (local) progress += Clock::now() - sending;
        if (!sent) {
          broken(failure);
          failed = true;
        }
      }
      if (failed || pending.empty()) continue;
      std::vector<ClamdSession::Reply> replies;
      ClamdReply failure;
      const bool open =
          session->Receive(std::chrono::milliseconds(walkDone ? 1000 : 20), &replies, &failure);
      for (ClamdSession::Reply& reply : replies) {
        const auto at = pending.find(reply.id);
        // Later messages for a file already decided (one for each find).
        if (at == pending.end()) continue;
        answered = true;
        progress = Clock::now();
        Pending done = std::move(at->second);
        pending.erase(at);
        const std::optional<Verdict> verdict = Decide(done, reply.reply);
        if (!verdict) {
          pending.emplace(reply.id, std::move(done));
          GiveUp(reply.reply.text);
          break;
        }
        sink(done.file, *verdict);
      }
      if (!open) {
        broken(failure);
      } else if (Clock::now() - progress > waits_.Reply(config_)) {
        GiveUp(texts::kDaemonTimeout);
      }
    }
    // What this session still had goes with the rest.
    for (auto& [id, file] : pending) resend.push_back(std::move(file));
    for (Pending& file : resend)
      sink(file.file, HandOver(file.file, Shortfall::kDaemonLost, LostReason()));
  }

  static Verdict Stopped() { return Verdict::Incomplete(Shortfall::kEngineError, texts::kStopped); }

  // Opens the file and sends its request; the verdicts of files that are
  // not sent go to the sink at once (*local set when the local engine was
  // asked for one). False with *failure when the connection failed.
  bool Send(ClamdSession& session, FileToScan file, const VerdictSink& sink,
            std::map<uint64_t, Pending>* pending, ClamdReply* failure, bool* local) {
    Verdict refused;
    std::unique_ptr<OpenedFile> opened = walk_system::OpenForScan(file, &refused);
    if (!opened) {
      sink(file, refused);
      return true;
    }
    if (std::optional<Verdict> over = OverLimit(opened->size)) {
      opened.reset();
      *local = true;
      sink(file, HandOver(file, over->shortfall, over->detail));
      return true;
    }
    // A container the request looks into, whose "OK" from this daemon
    // would not be the whole truth: the local engine's where there is one.
    bool doubtful = false;
    if (!containerDoubt_.empty() &&
        LooksInto(request_, ContainerOf(opened->FirstBytes(kContainerProbe)))) {
      *local = true;
      if (Engine* engine = Local()) {
        opened.reset();
        sink(file, engine->ScanOne(file));
        return true;
      }
      doubtful = true;
    }
    uint64_t id;
    if (PassesDescriptors(config_))
      id = session.SendDescriptor(opened->Descriptor(), failure);
    else
      id = session.SendStream(
          [&opened](char* buffer, size_t size) { return opened->Read(buffer, size); }, failure);
    if (id == 0) {
      // Sent again on the next connection.
      pending->emplace(0, Pending{std::move(file), nullptr, false});
      return false;
    }
    pending->emplace(id, Pending{std::move(file), std::move(opened), doubtful});
    return true;
  }

  // The verdict the daemon's reply gives; nothing when it is no answer.
  std::optional<Verdict> Decide(const Pending& file, const ClamdReply& reply) {
    const OpenedFile& opened = *file.opened;
    if (!opened.readError.empty())
      return Verdict::Incomplete(Shortfall::kUnreadable, opened.readError);
    switch (reply.kind) {
      case ClamdReply::Kind::kClean:
        // As after a local scan: what was read may not be the whole of a
        // file written meanwhile.
        if (!opened.Unchanged()) return Verdict::Incomplete(Shortfall::kChanged);
        if (file.doubtful) return Verdict::Incomplete(Shortfall::kDaemonPartial, containerDoubt_);
        return Verdict::Clean(opened.identity);
      case ClamdReply::Kind::kInfected: {
        Verdict verdict = FromDetection(reply.text, opened.identity);
        // The daemon's alert for one of its limits.
        if (verdict.kind == Verdict::Kind::kIncomplete)
          return HandOver(file.file, verdict.shortfall, verdict.detail);
        return verdict;
      }
      case ClamdReply::Kind::kError:
        if (const std::optional<Shortfall> limit = LimitOfClamdError(reply.text))
          return HandOver(file.file, *limit, reply.text);
        return Verdict::Incomplete(Shortfall::kEngineError, reply.text);
      case ClamdReply::Kind::kCancelled:
        return Stopped();
      case ClamdReply::Kind::kNoAnswer:
        break;
    }
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
                                                        " " + ClamdSizeText(limit.bytes));
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
  const ScanRequest request_;
  const std::string containerDoubt_;  // why its "OK" for a container is not the whole truth
  const LocalEngine local_;
  const DaemonNote note_;
  const ClamdWaits waits_;
  std::atomic<bool> lost_{false};
  std::mutex mutex_;
  std::string lostReason_;
};

}  // namespace

std::unique_ptr<Engine> MakeDaemonEngine(const ClamdConfig& config, const ScanRequest& request,
                                         LocalEngine local, DaemonNote note,
                                         const ClamdWaits& waits) {
  return std::make_unique<DaemonEngine>(config, request, std::move(local), std::move(note), waits);
}

}  // namespace bridge
