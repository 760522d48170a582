// The worker processes and their messages: a file to scan goes down a
// worker's socket, its verdict comes back, each as a length and a body of
// fixed-width numbers and length-prefixed strings.
#include "bridge/worker_pool_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/texts.h"

namespace bridge {

namespace {

// Files a worker holds at once: the one it scans and the next, so that it
// never waits for this process between two files.
constexpr size_t kFilesInHand = 2;
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

// One message: its length, then its body, in one write where it fits.
bool Send(int fd, const std::string& body) {
  std::string message;
  for (int i = 0; i < 4; ++i) message += static_cast<char>((body.size() >> (8 * i)) & 0xFF);
  message += body;
  size_t sent = 0;
  while (sent < message.size()) {
    const ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool ReadExactly(int fd, char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = read(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool Receive(int fd, std::string* body) {
  unsigned char length[4];
  if (!ReadExactly(fd, reinterpret_cast<char*>(length), sizeof length)) return false;
  const uint32_t size = length[0] | length[1] << 8 | length[2] << 16 | uint32_t{length[3]} << 24;
  if (size > kMaxMessage) return false;
  body->resize(size);
  return ReadExactly(fd, body->data(), size);
}

// A worker's life: a file in, its verdict out, until this process closes
// the socket. It ends with _exit: nothing of the bridge's (its buffered
// console output, its exit handlers) belongs to it.
[[noreturn]] void WorkerMain(int fd, const std::function<Verdict(const FileToScan&)>& scanOne) {
  std::string body;
  while (Receive(fd, &body)) {
    const std::optional<FileToScan> file = ReadFileMessage(body);
    if (!file || !Send(fd, VerdictMessage(scanOne(*file)))) break;
  }
  _exit(0);
}

std::string HowItEnded(int status) {
  if (WIFSIGNALED(status)) return texts::kWorkerEndedBySignal + std::to_string(WTERMSIG(status));
  return texts::kWorkerEndedWithCode + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

}  // namespace

using Clock = std::chrono::steady_clock;

struct Worker {
  pid_t pid = -1;
  int fd = -1;
  std::deque<FileToScan> inHand;  // in the order the worker answers them
  bool answered = false;
  Clock::time_point since;  // when it started on the first file in hand
};

class WorkerPool::Workers {
 public:
  Workers(std::function<Verdict(const FileToScan&)> scanOne, std::chrono::milliseconds timeLimit)
      : scanOne_(std::move(scanOne)), timeLimit_(timeLimit) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  ~Workers() {
    for (const Worker& worker : workers_) End(worker);
  }

  bool Fork() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
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
      WorkerMain(pair[1], scanOne_);
    }
    close(pair[1]);
    if (pid < 0) {
      close(pair[0]);
      return false;
    }
    Worker worker;
    worker.pid = pid;
    worker.fd = pair[0];
    workers_.push_back(std::move(worker));
    return true;
  }

  void Run(FileQueue& files, const VerdictSink& sink) {
    files_ = &files;
    sink_ = &sink;
    for (;;) {
      HandOut();
      if (workers_.empty()) break;
      bool busy = false;
      for (const Worker& worker : workers_) busy = busy || !worker.inHand.empty();
      if (!busy) return;  // nothing left to hand out either
      Collect();
    }
    // No worker: the rest is scanned here.
    while (std::optional<FileToScan> file = Next()) sink(*file, scanOne_(*file));
  }

 private:
  std::optional<FileToScan> Next() {
    if (!handedBack_.empty()) {
      FileToScan file = std::move(handedBack_.front());
      handedBack_.pop_front();
      return file;
    }
    if (queueDone_) return std::nullopt;
    std::optional<FileToScan> file = files_->Pop();
    if (!file) queueDone_ = true;
    return file;
  }

  // Fills every worker's hands, the least busy first.
  void HandOut() {
    for (;;) {
      Worker* least = nullptr;
      for (Worker& worker : workers_)
        if (worker.inHand.size() < kFilesInHand &&
            (!least || worker.inHand.size() < least->inHand.size()))
          least = &worker;
      if (!least) return;
      std::optional<FileToScan> file = Next();
      if (!file) return;
      if (Send(least->fd, FileMessage(*file))) {
        if (least->inHand.empty()) least->since = Clock::now();
        least->inHand.push_back(std::move(*file));
      } else {
        handedBack_.push_front(std::move(*file));
        Lost(least->pid);
      }
    }
  }

  // Waits for the next verdicts, for workers that ended, and for the first
  // time limit to pass.
  void Collect() {
    std::vector<pollfd> fds;
    Clock::time_point first = Clock::time_point::max();
    for (const Worker& worker : workers_) {
      fds.push_back({worker.fd, POLLIN, 0});
      if (!worker.inHand.empty()) first = std::min(first, worker.since + timeLimit_);
    }
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
      else if (!workers_[i].inHand.empty() && now >= workers_[i].since + timeLimit_)
        late.push_back(workers_[i].pid);
    }
    for (const pid_t pid : late) TimedOut(pid);
    for (const pid_t pid : ready) {
      Worker* worker = Find(pid);
      std::string body;
      std::optional<Verdict> verdict;
      if (worker && !worker->inHand.empty() && Receive(worker->fd, &body))
        verdict = ReadVerdictMessage(body);
      if (!verdict) {
        Lost(pid);
        continue;
      }
      const FileToScan file = std::move(worker->inHand.front());
      worker->inHand.pop_front();
      worker->answered = true;
      worker->since = Clock::now();
      (*sink_)(file, *verdict);
    }
  }

  Worker* Find(pid_t pid) {
    for (Worker& worker : workers_)
      if (worker.pid == pid) return &worker;
    return nullptr;
  }

  // A worker that ended, or said what it should not: the file it was
  // scanning was not completely scanned, the others go to the rest. A
  // worker that never answered is not replaced: its successors would most
  // likely end the same way.
  void Lost(pid_t pid) {
    Worker* worker = Find(pid);
    if (!worker) return;
    const int status = End(*worker);
    const bool answered = worker->answered;
    HandBack(worker, Verdict::Incomplete(Shortfall::kEngineError, HowItEnded(status)));
    if (answered) Fork();
  }

  // A worker that took longer over a file than any file may take: it is
  // ended, and another takes its place.
  void TimedOut(pid_t pid) {
    Worker* worker = Find(pid);
    if (!worker) return;
    End(*worker);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeLimit_).count();
    HandBack(worker, Verdict::Incomplete(Shortfall::kTimeLimit, texts::kWorkerTimedOut +
                                                                    std::to_string(seconds) +
                                                                    texts::kWorkerTimedOutEnd));
    Fork();
  }

  // An ended worker's file in hand gets the verdict, the others go back to
  // be handed out first.
  void HandBack(Worker* worker, const Verdict& verdict) {
    Worker lost = std::move(*worker);
    workers_.erase(workers_.begin() + (worker - workers_.data()));
    if (!lost.inHand.empty()) {
      (*sink_)(lost.inHand.front(), verdict);
      lost.inHand.pop_front();
    }
    handedBack_.insert(handedBack_.begin(), std::make_move_iterator(lost.inHand.begin()),
                       std::make_move_iterator(lost.inHand.end()));
  }

  // Ends a worker and reaps it; how it ended.
  static int End(const Worker& worker) {
    close(worker.fd);
    kill(worker.pid, SIGKILL);
    int status = 0;
    while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  }

  const std::function<Verdict(const FileToScan&)> scanOne_;
  const std::chrono::milliseconds timeLimit_;
  FileQueue* files_ = nullptr;
  const VerdictSink* sink_ = nullptr;
  std::vector<Worker> workers_;
  std::deque<FileToScan> handedBack_;  // by workers that ended before scanning them
  bool queueDone_ = false;
};

WorkerPool::WorkerPool(unsigned count, std::function<Verdict(const FileToScan&)> scanOne,
                       std::chrono::milliseconds timeLimit)
    : workers_(std::make_unique<Workers>(std::move(scanOne), timeLimit)) {
  for (unsigned i = 0; i < count && workers_->Fork(); ++i) {
  }
}

WorkerPool::~WorkerPool() = default;

void WorkerPool::ScanAll(FileQueue& files, const VerdictSink& sink) { workers_->Run(files, sink); }

}  // namespace bridge
