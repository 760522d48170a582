// The worker processes and their messages: files to scan go down a worker's
// socket, several in one write, their verdicts come back several in one
// write, each as a length and a body of fixed-width numbers and
// length-prefixed strings; both sides read what is there at once and take
// the messages from it. What a worker is doing, it also keeps in a page it
// shares with the bridge, so that the file it was scanning when it ended is
// known even while verdicts wait to be sent.
#include "bridge/worker_pool_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/texts.h"

namespace bridge {

namespace {

using Clock = std::chrono::steady_clock;

// Files a worker holds at once: enough that it never waits for this process
// between two files, and that many small files go in one write; a worker is
// refilled once it holds half of them, and sends its verdicts once it has
// half of them (or nothing more to scan, or verdicts that waited a while).
// Beyond the first two, a hand holds no more than so many bytes of files,
// so that large files are not queued behind each other at one worker while
// another has nothing to do.
constexpr size_t kFilesInHand = 16;
constexpr uint64_t kBytesInHand = 1 << 20;
constexpr std::chrono::milliseconds kLongestHeld(20);
// How often a worker with room looks for the walk's next files while others
// scan.
constexpr std::chrono::milliseconds kLookForFiles(10);
// A message larger than this is no message of ours.
constexpr uint32_t kMaxMessage = 64u << 20;

void PutNumber(std::string& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutString(std::string& out, const std::string& text) {
  PutNumber(out, text.size());
  out += text;
}

class MessageReader {
 public:
  explicit MessageReader(const std::string& body) : body_(body) {}
  uint64_t Number() {
    if (body_.size() - at_ < 8) return ok_ = false, 0;
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
      value |= static_cast<uint64_t>(static_cast<unsigned char>(body_[at_ + i])) << (8 * i);
    at_ += 8;
    return value;
  }
  std::string String() {
    const uint64_t size = Number();
    if (!ok_ || body_.size() - at_ < size) return ok_ = false, std::string();
    std::string text = body_.substr(at_, size);
    at_ += size;
    return text;
  }
  FileIdentity Identity() {
    FileIdentity identity;
    identity.device = Number();
    identity.file = Number();
    identity.known = Number() != 0;
    return identity;
  }
  // Everything read, and nothing left over.
  bool Whole() const { return ok_ && at_ == body_.size(); }

 private:
  const std::string& body_;
  size_t at_ = 0;
  bool ok_ = true;
};

void PutIdentity(std::string& out, const FileIdentity& identity) {
  PutNumber(out, identity.device);
  PutNumber(out, identity.file);
  PutNumber(out, identity.known ? 1 : 0);
}

std::string FileMessage(const FileToScan& file) {
  std::string body;
  PutString(body, file.path);
  PutString(body, file.systemPath);
  PutIdentity(body, file.identity);
  PutNumber(body, file.size);
  return body;
}

std::optional<FileToScan> ReadFileMessage(const std::string& body) {
  MessageReader reader(body);
  FileToScan file;
  file.path = reader.String();
  file.systemPath = reader.String();
  file.identity = reader.Identity();
  file.size = reader.Number();
  if (!reader.Whole()) return std::nullopt;
  return file;
}

std::string VerdictMessage(const Verdict& verdict) {
  std::string body;
  PutNumber(body, static_cast<uint64_t>(verdict.kind));
  PutString(body, verdict.virus);
  PutNumber(body, static_cast<uint64_t>(verdict.shortfall));
  PutString(body, verdict.detail);
  PutIdentity(body, verdict.scanned);
  return body;
}

std::optional<Verdict> ReadVerdictMessage(const std::string& body) {
  MessageReader reader(body);
  Verdict verdict;
  const uint64_t kind = reader.Number();
  verdict.virus = reader.String();
  const uint64_t shortfall = reader.Number();
  verdict.detail = reader.String();
  verdict.scanned = reader.Identity();
  if (!reader.Whole() || kind > static_cast<uint64_t>(Verdict::Kind::kIncomplete) ||
      shortfall > static_cast<uint64_t>(Shortfall::kDaemonLost))
    return std::nullopt;
  verdict.kind = static_cast<Verdict::Kind>(kind);
  verdict.shortfall = static_cast<Shortfall>(shortfall);
  return verdict;
}

// One message: its length, then its body.
void Frame(std::string& out, const std::string& body) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((body.size() >> (8 * i)) & 0xFF);
  out += body;
}

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool Send(int fd, const std::string& body) {
  std::string message;
  Frame(message, body);
  return SendAll(fd, message);
}

// The bytes read from a socket and not yet taken as messages.
class Received {
 public:
  // One read of what is there; false at its end or on an error (with
  // MSG_DONTWAIT, also when nothing is there).
  bool Fill(int fd, int flags = 0) {
    char chunk[1 << 16];
    for (;;) {
      const ssize_t n = recv(fd, chunk, sizeof chunk, flags);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data_.append(chunk, static_cast<size_t>(n));
      return true;
    }
  }
  // The next whole message; nothing while it is not all there, and for
  // what is no message of ours (*bad).
  std::optional<std::string> Take(bool* bad) {
    *bad = false;
    const std::optional<uint32_t> size = NextSize();
    if (!size) return Compact(), std::nullopt;
    if (*size > kMaxMessage) return *bad = true, std::nullopt;
    if (data_.size() - at_ - 4 < *size) return Compact(), std::nullopt;
    std::string body = data_.substr(at_ + 4, *size);
    at_ += 4 + *size;
    return body;
  }
  // Whether a whole message is there, reading what came without waiting.
  bool Ready(int fd) {
    for (;;) {
      const std::optional<uint32_t> size = NextSize();
      if (size && (*size > kMaxMessage || data_.size() - at_ - 4 >= *size)) return true;
      if (!Fill(fd, MSG_DONTWAIT)) return false;
    }
  }
  // Blocking: the next whole message, nothing at the socket's end.
  std::optional<std::string> Next(int fd) {
    for (;;) {
      bool bad = false;
      if (std::optional<std::string> body = Take(&bad)) return body;
      if (bad || !Fill(fd)) return std::nullopt;
    }
  }

 private:
  void Compact() {
    data_.erase(0, at_);
    at_ = 0;
  }
  // The next message's length, once its first four bytes are there.
  std::optional<uint32_t> NextSize() const {
    if (data_.size() - at_ < 4) return std::nullopt;
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(data_[at_ + i]); };
    return byte(0) | byte(1) << 8 | byte(2) << 16 | uint32_t{byte(3)} << 24;
  }
  std::string data_;
  size_t at_ = 0;
};

// What a worker did, in the page it shares with the bridge: how many of the
// files it was given it started and finished, and when it finished the last
// (the system's steady clock, the same in every process). A file started
// and not finished is the one it was scanning.
struct Progress {
  std::atomic<uint64_t> started{0};
  std::atomic<uint64_t> finished{0};
  std::atomic<Clock::rep> finishedAt{0};
};
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<Clock::rep>::is_always_lock_free);

// A worker's life: a shard first makes its engine and says so; then files
// in, their verdicts out, until this process closes the socket. It ends with
// _exit: nothing of the bridge's (its buffered console output, its exit
// handlers) belongs to it.
[[noreturn]] void WorkerMain(int fd, Progress& progress, unsigned shard, unsigned shards,
                             const MakeShard& makeShard, const ScanOneFile& scanOne) {
  if (makeShard) {
    const std::string problem = makeShard(shard, shards);
    std::string body;
    PutString(body, problem);
    if (!Send(fd, body) || !problem.empty()) _exit(0);
  }
  Received received;
  std::string held;
  size_t heldCount = 0;
  Clock::time_point heldSince;
  while (const std::optional<std::string> body = received.Next(fd)) {
    const std::optional<FileToScan> file = ReadFileMessage(*body);
    if (!file) break;
    progress.started.fetch_add(1, std::memory_order_release);
    const Verdict verdict = scanOne(*file);
    const Clock::time_point done = Clock::now();
    progress.finishedAt.store(done.time_since_epoch().count(), std::memory_order_relaxed);
    progress.finished.fetch_add(1, std::memory_order_release);
    if (heldCount++ == 0) heldSince = done;
    Frame(held, VerdictMessage(verdict));
    if (heldCount >= kFilesInHand / 2 || !received.Ready(fd) || done - heldSince >= kLongestHeld) {
      if (!SendAll(fd, held)) break;
      held.clear();
      heldCount = 0;
    }
  }
  _exit(0);
}

std::string HowItEnded(int status) {
  if (WIFSIGNALED(status)) return texts::kWorkerEndedBySignal + std::to_string(WTERMSIG(status));
  return texts::kWorkerEndedWithCode + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

struct Worker {
  pid_t pid = -1;
  int fd = -1;
  Progress* progress = nullptr;  // shared with the worker
  unsigned shard = 0;            // which share of the engine (replicas: 0)
  std::deque<uint64_t> inHand;   // files in flight, in the order the worker answers them
  uint64_t bytesInHand = 0;
  uint64_t answers = 0;     // verdicts received
  Clock::time_point since;  // when it started on the first file in hand, or last answered
  Received received;
  std::string toSend;
};

// How a worker ended, and how far it came.
struct Ending {
  int status = 0;
  uint64_t started = 0;
  uint64_t finished = 0;
};

// A file handed out, and what each shard said of it so far.
struct InFlight {
  FileToScan file;
  std::vector<std::optional<Verdict>> answers;
  size_t missing = 0;
};

}  // namespace

Verdict CombineShards(const std::vector<Verdict>& answers) {
  for (const Verdict& answer : answers)
    if (answer.kind == Verdict::Kind::kInfected) return answer;
  for (const Verdict& answer : answers)
    if (answer.kind != Verdict::Kind::kClean) return answer;
  if (answers.empty()) return Verdict::Incomplete(Shortfall::kEngineError);
  for (size_t i = 1; i < answers.size(); ++i)
    if (!(answers[i].scanned == answers.front().scanned))
      return Verdict::Incomplete(Shortfall::kChanged);
  return answers.front();
}

class WorkerPool::Workers {
 public:
  Workers(unsigned shards, MakeShard makeShard, ScanOneFile scanOne,
          std::chrono::milliseconds timeLimit, std::chrono::milliseconds loadLimit)
      : shards_(shards),
        makeShard_(std::move(makeShard)),
        scanOne_(std::move(scanOne)),
        timeLimit_(timeLimit),
        loadLimit_(loadLimit),
        gone_(std::max(1u, shards)) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  ~Workers() {
    for (const Worker& worker : workers_) End(worker);
  }

  bool Sharded() const { return shards_ > 0; }

  // A new worker; a shard also made its engine, else *problem says why not.
  bool Fork(unsigned shard, std::string* problem = nullptr, bool wait = true) {
    void* page =
        mmap(nullptr, sizeof(Progress), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return false;
    Progress* progress = new (page) Progress;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
      munmap(page, sizeof(Progress));
      return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
      // Only the engine and this socket from here on. The worker dies with
      // the thread that forked it, and leaves stopping to the bridge.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(0);
      struct sigaction ignore = {};
      ignore.sa_handler = SIG_IGN;
      for (const int signal : {SIGINT, SIGHUP, SIGTERM}) sigaction(signal, &ignore, nullptr);
      close(pair[0]);
      for (const Worker& other : workers_) close(other.fd);
      // libclamav names its temporary folders by rand(), seeded once per
      // process: workers with the seed of the bridge would choose the same
      // names at once and take each other's folders away mid-scan.
      timespec now = {};
      clock_gettime(CLOCK_MONOTONIC, &now);
      srand(static_cast<unsigned>(getpid()) * 2654435761u ^ static_cast<unsigned>(now.tv_nsec));
      WorkerMain(pair[1], *progress, shard, shards_, makeShard_, scanOne_);
    }
    close(pair[1]);
    if (pid < 0) {
      close(pair[0]);
      munmap(page, sizeof(Progress));
      if (problem) *problem = texts::kWorkerEndedWithCode + std::string("-1");
      return false;
    }
    Worker worker;
    worker.pid = pid;
    worker.fd = pair[0];
    worker.progress = progress;
    worker.shard = shard;
    workers_.push_back(std::move(worker));
    return !Sharded() || !wait || Made({pid}, problem);
  }

  // Forks every shard, then waits for all to have made their engines.
  bool ForkShards(std::string* problem, const std::function<void()>& whileWaiting) {
    std::vector<pid_t> pids;
    for (unsigned shard = 0; shard < shards_; ++shard) {
      if (!Fork(shard, problem, false)) return false;
      pids.push_back(workers_.back().pid);
    }
    return Made(pids, problem, whileWaiting);
  }

  void Run(FileQueue& files, const VerdictSink& sink) {
    const std::lock_guard<std::mutex> lock(running_);
    files_ = &files;
    sink_ = &sink;
    queueDone_ = false;
    for (;;) {
      HandOut();
      if (workers_.empty() && !Sharded()) break;
      if (inFlight_.empty() && NothingLeft()) return;
      if (!inFlight_.empty()) Collect();
    }
    // No replica: the rest is scanned here.
    while (std::optional<FileToScan> file = Next(true)) sink(*file, scanOne_(*file));
  }

 private:
  // Waits for the shards to say they made their engines, within the load
  // limit, calling whileWaiting at least five times a second; the first
  // one's reason when one did not, and then none is kept.
  bool Made(std::vector<pid_t> waiting, std::string* problem,
            const std::function<void()>& whileWaiting = {}) {
    const std::vector<pid_t> pids = waiting;
    const Clock::time_point deadline = Clock::now() + loadLimit_;
    std::string why;
    while (!waiting.empty() && why.empty()) {
      std::vector<pollfd> fds;
      for (const pid_t pid : waiting) fds.push_back({Find(pid)->fd, POLLIN, 0});
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      const int ready =
          poll(fds.data(), fds.size(), static_cast<int>(std::clamp<int64_t>(left, 0, 200)));
      const int pollError = errno;
      if (whileWaiting) whileWaiting();
      if ((ready < 0 && pollError == EINTR) || (ready == 0 && left > 0)) continue;
      if (ready <= 0) {
        why = texts::kShardTimedOut;
        break;
      }
      for (size_t i = 0; i < fds.size() && why.empty(); ++i) {
        if (!fds[i].revents) continue;
        Worker* worker = Find(waiting[i]);
        bool bad = false;
        std::optional<std::string> body;
        if (worker->received.Fill(worker->fd)) {
          body = worker->received.Take(&bad);
          if (!body && !bad) continue;  // not all there yet
        }
        const std::string message = body ? *body : std::string();
        MessageReader reader(message);
        const std::string said = body ? reader.String() : std::string();
        if (!body || !reader.Whole()) {
          why = HowItEnded(End(*worker).status);
          workers_.erase(workers_.begin() + (worker - workers_.data()));
        } else {
          why = said;
        }
        waiting[i] = 0;
      }
      waiting.erase(std::remove(waiting.begin(), waiting.end(), 0), waiting.end());
    }
    if (why.empty()) return true;
    if (problem) *problem = why;
    for (const pid_t pid : pids)
      if (Worker* worker = Find(pid)) {
        End(*worker);
        workers_.erase(workers_.begin() + (worker - workers_.data()));
      }
    return false;
  }

  // The next file: those handed back first, then the queue's; waiting for
  // the walk only when nothing is in flight.
  std::optional<FileToScan> Next(bool wait) {
    if (!handedBack_.empty()) {
      FileToScan file = std::move(handedBack_.front());
      handedBack_.pop_front();
      return file;
    }
    if (queueDone_) return std::nullopt;
    std::optional<FileToScan> file;
    if (wait) {
      file = files_->Pop();
      if (!file) queueDone_ = true;
    } else {
      file = files_->Pop(std::chrono::milliseconds(0), &queueDone_);
    }
    return file;
  }

  bool NothingLeft() {
    if (!handedBack_.empty()) return false;
    if (std::optional<FileToScan> file = Next(true)) {
      handedBack_.push_front(std::move(*file));
      return false;
    }
    return true;
  }

  // Whether a worker should be given more files, and whether it may take
  // this one.
  static bool Wants(const Worker& worker) {
    return worker.inHand.size() < 2 ||
           (worker.inHand.size() <= kFilesInHand / 2 && worker.bytesInHand < kBytesInHand);
  }
  static bool Takes(const Worker& worker, const FileToScan& file) {
    return worker.inHand.size() < 2 ||
           (worker.inHand.size() < kFilesInHand && worker.bytesInHand + file.size <= kBytesInHand);
  }

  void Give(Worker& worker, uint64_t id, const FileToScan& file) {
    if (worker.inHand.empty()) worker.since = Clock::now();
    worker.inHand.push_back(id);
    worker.bytesInHand += file.size;
    Frame(worker.toSend, FileMessage(file));
  }

  // Fills the workers' hands (replicas: the least busy first; shards: all
  // with each file), then sends each its files in one write.
  void HandOut() {
    for (;;) {
      bool wanted = Sharded() || workers_.empty() ? true : false;
      for (const Worker& worker : workers_)
        wanted = Sharded() ? wanted && Wants(worker) : wanted || Wants(worker);
      if (!wanted) break;
      std::optional<FileToScan> file = Next(inFlight_.empty());
      if (!file) break;
      if (!Sharded()) {
        Worker* least = nullptr;
        for (Worker& worker : workers_)
          if (Takes(worker, *file) && (!least || worker.inHand.size() < least->inHand.size()))
            least = &worker;
        if (!least) {
          handedBack_.push_front(std::move(*file));
          break;
        }
        const uint64_t id = nextId_++;
        Give(*least, id, *file);
        inFlight_[id] = {std::move(*file), std::vector<std::optional<Verdict>>(1), 1};
        continue;
      }
      bool all = true;
      for (const Worker& worker : workers_) all = all && Takes(worker, *file);
      if (!all) {
        handedBack_.push_front(std::move(*file));
        break;
      }
      const uint64_t id = nextId_++;
      InFlight& flight = inFlight_[id];
      flight.file = std::move(*file);
      flight.answers.resize(shards_);
      flight.missing = shards_;
      for (Worker& worker : workers_) Give(worker, id, flight.file);
      for (unsigned shard = 0; shard < shards_; ++shard)
        if (!gone_[shard].empty())
          Answer(id, shard, Verdict::Incomplete(Shortfall::kEngineError, gone_[shard]));
    }
    std::vector<pid_t> failed;
    for (Worker& worker : workers_) {
      if (!worker.toSend.empty() && !SendAll(worker.fd, worker.toSend))
        failed.push_back(worker.pid);
      worker.toSend.clear();
    }
    for (const pid_t pid : failed) Lost(pid);
  }

  // Waits for the next verdicts, for workers that ended, and for the first
  // time limit to pass.
  void Collect() {
    std::vector<pollfd> fds;
    Clock::time_point first = Clock::time_point::max();
    for (const Worker& worker : workers_) {
      fds.push_back({worker.fd, POLLIN, 0});
      if (!worker.inHand.empty()) first = std::min(first, OnCurrentFileSince(worker) + timeLimit_);
    }
    // A worker with room looks again at the walk's files now and then.
    bool room = false;
    for (const Worker& worker : workers_) room = room || Wants(worker);
    if (room && !queueDone_) first = std::min(first, Clock::now() + kLookForFiles);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(first - Clock::now());
    const int waitMs = first == Clock::time_point::max()
                           ? -1
                           : static_cast<int>(std::clamp<int64_t>(wait.count(), 0, 1 << 30));
    if (poll(fds.data(), fds.size(), waitMs) < 0) return;  // EINTR: again
    std::vector<pid_t> ready, late;
    const Clock::time_point now = Clock::now();
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents)
        ready.push_back(workers_[i].pid);
      else if (!workers_[i].inHand.empty() && now >= OnCurrentFileSince(workers_[i]) + timeLimit_)
        late.push_back(workers_[i].pid);
    }
    for (const pid_t pid : late) TimedOut(pid);
    for (const pid_t pid : ready) Read(pid);
  }

  // The verdicts a worker sent.
  void Read(pid_t pid) {
    Worker* worker = Find(pid);
    if (!worker) return;
    if (!worker->received.Fill(worker->fd)) return Lost(pid);
    for (;;) {
      bool bad = false;
      const std::optional<std::string> body = worker->received.Take(&bad);
      if (!body && !bad) return;
      std::optional<Verdict> verdict;
      if (body && !worker->inHand.empty()) verdict = ReadVerdictMessage(*body);
      if (!verdict) return Lost(pid);
      const uint64_t id = worker->inHand.front();
      worker->inHand.pop_front();
      if (const auto flight = inFlight_.find(id); flight != inFlight_.end())
        worker->bytesInHand -= std::min(worker->bytesInHand, flight->second.file.size);
      ++worker->answers;
      worker->since = Clock::now();
      Answer(id, worker->shard, *verdict);
    }
  }

  // One worker's verdict on a file; the file's, once every shard gave one.
  void Answer(uint64_t id, unsigned shard, const Verdict& verdict) {
    const auto found = inFlight_.find(id);
    if (found == inFlight_.end() || found->second.answers[shard]) return;
    InFlight& flight = found->second;
    flight.answers[shard] = verdict;
    if (--flight.missing > 0) return;
    std::vector<Verdict> answers;
    for (const std::optional<Verdict>& answer : flight.answers) answers.push_back(*answer);
    const InFlight done = std::move(flight);
    inFlight_.erase(found);
    (*sink_)(done.file, CombineShards(answers));
  }

  Worker* Find(pid_t pid) {
    for (Worker& worker : workers_)
      if (worker.pid == pid) return &worker;
    return nullptr;
  }

  // A worker that ended, or said what it should not: the file it was
  // scanning was not completely scanned, the others go on. A worker that
  // never answered is not replaced: its successors would most likely end
  // the same way.
  void Lost(pid_t pid) {
    Worker* worker = Find(pid);
    if (!worker) return;
    const Ending ending = End(*worker);
    const bool answered = worker->answers > 0;
    HandBack(worker, Verdict::Incomplete(Shortfall::kEngineError, HowItEnded(ending.status)),
             answered, ending);
  }

  // A worker that took longer over a file than any file may take: it is
  // ended, and another takes its place.
  void TimedOut(pid_t pid) {
    Worker* worker = Find(pid);
    if (!worker) return;
    const Ending ending = End(*worker);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeLimit_).count();
    HandBack(worker,
             Verdict::Incomplete(
                 Shortfall::kTimeLimit,
                 texts::kWorkerTimedOut + std::to_string(seconds) + texts::kWorkerTimedOutEnd),
             true, ending);
  }

  // The file an ended worker was scanning gets the verdict; the others in
  // its hand, those it had scanned without sending their verdicts too, go
  // back to be handed out first (replicas) or to the shard's successor.
  void HandBack(Worker* worker, const Verdict& verdict, bool replace, const Ending& ending) {
    Worker lost = std::move(*worker);
    workers_.erase(workers_.begin() + (worker - workers_.data()));
    const uint64_t unsent = std::min<uint64_t>(
        ending.finished - std::min(ending.finished, lost.answers), lost.inHand.size());
    if (ending.started > ending.finished && unsent < lost.inHand.size()) {
      const auto scanning = lost.inHand.begin() + static_cast<std::ptrdiff_t>(unsent);
      Answer(*scanning, lost.shard, verdict);
      lost.inHand.erase(scanning);
    }
    if (!Sharded()) {
      for (auto id = lost.inHand.rbegin(); id != lost.inHand.rend(); ++id) {
        handedBack_.push_front(std::move(inFlight_[*id].file));
        inFlight_.erase(*id);
      }
      if (replace) Fork(0);
      return;
    }
    std::string problem = verdict.detail;
    if (replace && Fork(lost.shard, &problem)) {
      Worker& successor = workers_.back();
      for (const uint64_t id : lost.inHand) Give(successor, id, inFlight_[id].file);
      if (!SendAll(successor.fd, successor.toSend)) return Lost(successor.pid);
      successor.toSend.clear();
      return;
    }
    // No more of this share of the signatures: every file still to come
    // lacks it.
    gone_[lost.shard] = problem.empty() ? texts::kShortfallEngine : problem;
    for (const uint64_t id : lost.inHand)
      Answer(id, lost.shard, Verdict::Incomplete(Shortfall::kEngineError, gone_[lost.shard]));
  }

  // Since when a worker has been on the file it is scanning: its last
  // answer, its first file since, or the end of the file before, whose
  // verdict may wait to go with others. The time limit is each file's.
  static Clock::time_point OnCurrentFileSince(const Worker& worker) {
    const Clock::time_point finished(
        Clock::duration(worker.progress->finishedAt.load(std::memory_order_relaxed)));
    return std::max(worker.since, finished);
  }

  // Ends a worker and reaps it.
  static Ending End(const Worker& worker) {
    close(worker.fd);
    kill(worker.pid, SIGKILL);
    Ending ending;
    while (waitpid(worker.pid, &ending.status, 0) < 0 && errno == EINTR) {
    }
    ending.started = worker.progress->started.load(std::memory_order_acquire);
    ending.finished = worker.progress->finished.load(std::memory_order_acquire);
    munmap(worker.progress, sizeof(Progress));
    return ending;
  }

  unsigned shards_;  // 0: replicas
  const MakeShard makeShard_;
  const ScanOneFile scanOne_;
  const std::chrono::milliseconds timeLimit_;
  const std::chrono::milliseconds loadLimit_;
  std::mutex running_;
  FileQueue* files_ = nullptr;
  const VerdictSink* sink_ = nullptr;
  std::vector<Worker> workers_;
  std::map<uint64_t, InFlight> inFlight_;
  uint64_t nextId_ = 0;
  std::vector<std::string> gone_;      // why a shard is no more
  std::deque<FileToScan> handedBack_;  // by replicas that ended before scanning them
  bool queueDone_ = false;
};

WorkerPool::WorkerPool(unsigned count, ScanOneFile scanOne, std::chrono::milliseconds timeLimit)
    : workers_(std::make_unique<Workers>(0, nullptr, std::move(scanOne), timeLimit,
                                         std::chrono::milliseconds(0))) {
  for (unsigned i = 0; i < count && workers_->Fork(0); ++i) {
  }
}

WorkerPool::WorkerPool(std::unique_ptr<Workers> workers) : workers_(std::move(workers)) {}

std::unique_ptr<WorkerPool> WorkerPool::Shards(unsigned shards, MakeShard makeShard,
                                               ScanOneFile scanOne,
                                               std::chrono::milliseconds timeLimit,
                                               std::chrono::milliseconds loadLimit,
                                               std::string* problem,
                                               const std::function<void()>& whileWaiting) {
  auto workers = std::make_unique<Workers>(shards, std::move(makeShard), std::move(scanOne),
                                           timeLimit, loadLimit);
  if (!workers->ForkShards(problem, whileWaiting)) return nullptr;
  return std::unique_ptr<WorkerPool>(new WorkerPool(std::move(workers)));
}

WorkerPool::~WorkerPool() = default;

void WorkerPool::ScanAll(FileQueue& files, const VerdictSink& sink) { workers_->Run(files, sink); }

Verdict WorkerPool::ScanOne(const FileToScan& file) {
  FileQueue one(1);
  one.Push(file);
  one.Finish();
  Verdict verdict = Verdict::Incomplete(Shortfall::kEngineError);
  workers_->Run(one, [&](const FileToScan&, const Verdict& answer) { verdict = answer; });
  return verdict;
}

}  // namespace bridge
