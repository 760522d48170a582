// The daemon's protocol over a Unix or TCP socket. Commands are sent in the
// "z" form (ended by a NUL byte) and so are the replies. Sockets are
// non-blocking, so that every wait has its end and a stop is seen.
#include "bridge/clamd_client.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>

#include "base/text.h"
#include "bridge/error_reason.h"
#include "bridge/texts.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace bridge {

namespace {

using Clock = std::chrono::steady_clock;
// How often a wait looks whether the scan was stopped.
constexpr int kTickMs = 200;
// A daemon without a time limit of its own still gets no more than this.
constexpr std::chrono::minutes kLongestReply(10);
// No message of the daemon is longer (a virus name, an error): more without
// its end is no answer.
constexpr size_t kLongestMessage = 64 * 1024;

// A request's number as the daemon wrote it: decimal digits alone, no
// larger than the counter can be; false for anything else.
bool ReadRequestNumber(std::string_view digits, uint64_t* number) {
  if (digits.empty() || digits.size() > 19) return false;
  *number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return false;
    *number = *number * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
std::string SocketError() { return "WSA " + std::to_string(WSAGetLastError()); }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool Interrupted() { return WSAGetLastError() == WSAEINTR; }
bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}
bool MakeNonBlocking(Socket s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}
// 1 when ready (or failed: the next call tells), 0 when not yet, -1 on error;
// *readable (when given) tells whether data came while waiting to write.
// select, as WSAPoll does not tell of a failed connect on every Windows.
int WaitSocket(Socket s, bool writing, int ms, bool* readable = nullptr) {
  fd_set ready, incoming, failed;
  FD_ZERO(&ready);
  FD_ZERO(&incoming);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &incoming);
  FD_SET(s, &failed);
  timeval time = {ms / 1000, (ms % 1000) * 1000};
  const bool both = writing && readable;
  const int n = select(0, writing ? (both ? &incoming : nullptr) : &ready,
                       writing ? &ready : nullptr, &failed, &time);
  if (readable) *readable = both && n > 0 && FD_ISSET(s, &incoming);
  if (both && n > 0 && !FD_ISSET(s, &ready) && !FD_ISSET(s, &failed)) return 0;
  return n;
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
std::string SocketError() { return ErrnoReason(errno); }
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
bool Interrupted() { return errno == EINTR; }
bool SocketsReady() { return true; }
bool MakeNonBlocking(Socket s) { return fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) == 0; }
int WaitSocket(Socket s, bool writing, int ms, bool* readable = nullptr) {
  pollfd fd = {s, static_cast<short>(writing ? (readable ? POLLOUT | POLLIN : POLLOUT) : POLLIN),
               0};
  const int n = poll(&fd, 1, ms);
  if (readable) *readable = n > 0 && (fd.revents & POLLIN);
  if (readable && n > 0 && !(fd.revents & (POLLOUT | POLLERR | POLLHUP))) return 0;
  return n < 0 && errno == EINTR ? 0 : n;
}
#endif

class Connection {
 public:
  enum class Wait { kReady, kTimeout, kCancelled, kFailed };

  explicit Connection(const Cancelled& cancelled) : cancelled_(cancelled) {}
  ~Connection() { Close(); }

  // Connects within the wait; the failure (kNoAnswer, or kCancelled) in *failure.
  bool Open(const ClamdConfig& config, std::chrono::milliseconds wait, ClamdReply* failure) {
    const Clock::time_point deadline = Clock::now() + wait;
    *failure = {ClamdReply::Kind::kNoAnswer, {}};
    if (!SocketsReady()) {
      failure->text = SocketError();
      return false;
    }
#ifndef _WIN32
    if (PassesDescriptors(config)) {
      sockaddr_un address = {};
      address.sun_family = AF_UNIX;
      if (config.localSocket.size() >= sizeof address.sun_path) {
        failure->text = config.localSocket + ": " + ErrnoReason(ENAMETOOLONG);
        return false;
      }
      std::memcpy(address.sun_path, config.localSocket.c_str(), config.localSocket.size());
      // A full queue of a local socket refuses at once: tried again until the wait is over.
      for (;;) {
        socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (socket_ == kNoSocket) break;
        if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
          return true;
        if (errno != EAGAIN || Clock::now() > deadline) break;
        Close();
        if (cancelled_ && cancelled_()) {
          *failure = {ClamdReply::Kind::kCancelled, {}};
          return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      failure->text = config.localSocket + ": " + SocketError();
      Close();
      return false;
    }
#endif
    const std::string where = ClamdAddress(config);
    const std::string host = config.tcpAddress.empty() ? "127.0.0.1" : config.tcpAddress;
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), config.tcpSocket.c_str(), &hints, &found) != 0 || !found) {
      failure->text = where + ": " + texts::kDaemonNoAddress;
      return false;
    }
    std::string error = texts::kDaemonNoAddress;
    for (addrinfo* a = found; a && socket_ == kNoSocket; a = a->ai_next) {
      socket_ = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (socket_ == kNoSocket || !MakeNonBlocking(socket_)) {
        error = SocketError();
        Close();
        continue;
      }
      if (connect(socket_, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) break;
#ifdef _WIN32
      const bool pending = WouldBlock();
#else
      const bool pending = errno == EINPROGRESS;
#endif
      const Wait wait = pending ? WaitFor(true, deadline) : Wait::kFailed;
      int code = 0;
      socklen_t size = sizeof code;
      if (wait == Wait::kReady &&
          getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size) == 0 &&
          code == 0)
        break;
      if (wait == Wait::kCancelled) {
        freeaddrinfo(found);
        *failure = {ClamdReply::Kind::kCancelled, {}};
        Close();
        return false;
      }
#ifdef _WIN32
      error = wait == Wait::kTimeout ? texts::kDaemonTimeout
                                     : "WSA " + std::to_string(code ? code : WSAGetLastError());
#else
      error = wait == Wait::kTimeout ? texts::kDaemonTimeout : ErrnoReason(code ? code : errno);
#endif
      Close();
    }
    freeaddrinfo(found);
    if (socket_ == kNoSocket) failure->text = where + ": " + error;
    return socket_ != kNoSocket;
  }

  // Sends everything, each piece taken before the deadline.
  Wait Send(const void* data, size_t size, Clock::time_point deadline) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
#ifdef _WIN32
      const int n = send(socket_, bytes, static_cast<int>(size), 0);
#else
      const ssize_t n = send(socket_, bytes, size, MSG_NOSIGNAL);
#endif
      if (n > 0) {
        bytes += n;
        size -= static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && Interrupted()) continue;
      if (n == 0 || !WouldBlock()) return Wait::kFailed;
      if (const Wait wait = WaitFor(true, deadline); wait != Wait::kReady) return wait;
    }
    return Wait::kReady;
  }

#ifndef _WIN32
  // The descriptor with one byte beside it, as the daemon expects.
  Wait SendDescriptor(int fd, Clock::time_point deadline) {
    for (;;) {
      char byte = 0;
      iovec vector = {&byte, 1};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
      msghdr message = {};
      message.msg_iov = &vector;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
      const ssize_t n = sendmsg(socket_, &message, MSG_NOSIGNAL);
      if (n == 1) return Wait::kReady;
      if (n < 0 && Interrupted()) continue;
      if (n == 0 || !WouldBlock()) return Wait::kFailed;
      if (const Wait wait = WaitFor(true, deadline); wait != Wait::kReady) return wait;
    }
  }
#endif

  // The whole answer in *reply: the daemon closes the connection after it.
  // A daemon that keeps it open is taken at its word once the time is up.
  // False with *failure when no answer came.
  bool ReceiveText(Clock::time_point deadline, std::string* reply, ClamdReply* failure) {
    for (;;) {
      const Wait wait = WaitFor(false, deadline);
      if (wait == Wait::kCancelled) {
        *failure = {ClamdReply::Kind::kCancelled, {}};
        return false;
      }
      if (wait == Wait::kTimeout) {
        if (reply->find('\0') != std::string::npos) return true;
        *failure = {ClamdReply::Kind::kNoAnswer, texts::kDaemonTimeout};
        return false;
      }
      char buffer[512];
      const auto n = recv(socket_, buffer, sizeof buffer, 0);
      if (n > 0) {
        reply->append(buffer, static_cast<size_t>(n));
        if (reply->size() > kLongestMessage) break;
      } else if (n == 0 || wait == Wait::kFailed || !(WouldBlock() || Interrupted())) {
        break;
      }
    }
    if (!reply->empty()) return true;
    *failure = {ClamdReply::Kind::kNoAnswer, texts::kDaemonClosed};
    return false;
  }

  // In a session, what the daemon says while a request is being sent is
  // read into this, so that neither side waits on the other.
  void DrainInto(std::string* incoming) { incoming_ = incoming; }

  // Waits for data, and appends what came; kFailed once the daemon closed.
  Wait ReceiveSome(Clock::time_point deadline, std::string* into) {
    for (;;) {
      const Wait wait = WaitFor(false, deadline);
      if (wait != Wait::kReady && wait != Wait::kFailed) return wait;
      const int got = ReadAvailable(into);
      if (got != 0) return got > 0 ? Wait::kReady : Wait::kFailed;
      if (wait == Wait::kFailed) return wait;
    }
  }

 private:
  // 1 when data came, 0 when none was there, -1 when the daemon closed or failed.
  int ReadAvailable(std::string* into) {
    char buffer[4096];
    const auto n = recv(socket_, buffer, sizeof buffer, 0);
    if (n > 0) {
      into->append(buffer, static_cast<size_t>(n));
      return 1;
    }
    return n < 0 && (WouldBlock() || Interrupted()) ? 0 : -1;
  }

  Wait WaitFor(bool writing, Clock::time_point deadline) {
    for (;;) {
      if (cancelled_ && cancelled_()) return Wait::kCancelled;
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Wait::kTimeout;
      bool readable = false;
      const int n = WaitSocket(socket_, writing, static_cast<int>(left < kTickMs ? left : kTickMs),
                               writing && incoming_ ? &readable : nullptr);
      if (readable && ReadAvailable(incoming_) < 0) return Wait::kFailed;
      if (n > 0) return Wait::kReady;
      if (n < 0) return Wait::kFailed;
    }
  }

  void Close() {
    if (socket_ != kNoSocket) CloseSocket(socket_);
    socket_ = kNoSocket;
  }

  const Cancelled& cancelled_;
  Socket socket_ = kNoSocket;
  std::string* incoming_ = nullptr;
};

using Wait = Connection::Wait;

// What a failed send means: the daemon gone, or the scan stopped.
ClamdReply SendFailure(Wait wait) {
  if (wait == Wait::kCancelled) return {ClamdReply::Kind::kCancelled, {}};
  return {ClamdReply::Kind::kNoAnswer,
          wait == Wait::kTimeout ? texts::kDaemonTimeout : texts::kDaemonClosed};
}

}  // namespace

ClamdReply ParseClamdReply(std::string_view reply) {
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.remove_suffix(1);
  const size_t colon = reply.find(": ");
  const std::string_view status = colon == std::string_view::npos ? reply : reply.substr(colon + 2);
  if (status == "OK") return {ClamdReply::Kind::kClean, {}};
  if (EndsWith(status, " FOUND")) {
    std::string_view virus = status.substr(0, status.size() - 6);
    // With ExtendedDetectionInfo the daemon adds "(<hash>:<size>)".
    if (EndsWith(virus, ")") && virus.rfind('(') != std::string_view::npos)
      virus = virus.substr(0, virus.rfind('('));
    if (!virus.empty()) return {ClamdReply::Kind::kInfected, std::string(virus)};
  }
  if (EndsWith(status, " ERROR"))
    return {ClamdReply::Kind::kError, std::string(status.substr(0, status.size() - 6))};
  return {ClamdReply::Kind::kNoAnswer, texts::kDaemonStrangeReply + OneLine(reply)};
}

std::optional<Shortfall> LimitOfClamdError(std::string_view message) {
  const std::string lower = Lower(message);
  const auto has = [&](std::string_view part) { return lower.find(part) != std::string::npos; };
  // INSTREAM's StreamMaxLength, then libclamav's words for its limits.
  if (has("size limit exceeded")) return Shortfall::kFileSizeLimit;
  if (has("max scan size")) return Shortfall::kScanSizeLimit;
  if (has("max recursion")) return Shortfall::kRecursionLimit;
  if (has("max scan files")) return Shortfall::kFilesLimit;
  if (has("time limit")) return Shortfall::kTimeLimit;
  return std::nullopt;
}

std::chrono::milliseconds ClamdWaits::Reply(const ClamdConfig& config) const {
  if (config.maxScanTimeMs == 0 ||
      config.maxScanTimeMs >
          static_cast<uint64_t>(std::chrono::milliseconds(kLongestReply).count()))
    return kLongestReply;
  return std::chrono::milliseconds(config.maxScanTimeMs) + margin;
}

bool PassesDescriptors(const ClamdConfig& config) {
#ifdef _WIN32
  (void)config;
  return false;
#else
  return !config.localSocket.empty();
#endif
}

std::string ClamdAddress(const ClamdConfig& config) {
  if (PassesDescriptors(config)) return config.localSocket;
  return (config.tcpAddress.empty() ? "127.0.0.1" : config.tcpAddress) + ":" + config.tcpSocket;
}

namespace {

// A command with a one-message answer, on a connection of its own: the
// answer up to its NUL byte; nothing, with *error, when none came.
std::optional<std::string> Ask(const ClamdConfig& config, const char* command, size_t size,
                               const ClamdWaits& waits, std::string* error) {
  const Cancelled never;
  Connection connection(never);
  ClamdReply failure;
  if (connection.Open(config, waits.connect, &failure)) {
    const Clock::time_point deadline = Clock::now() + waits.connect;
    const Wait sent = connection.Send(command, size, deadline);
    std::string reply;
    if (sent != Wait::kReady) {
      failure = SendFailure(sent);
    } else if (connection.ReceiveText(deadline, &reply, &failure)) {
      reply.resize(std::min(reply.find('\0'), reply.size()));
      return reply;
    }
  }
  *error = failure.text;
  return std::nullopt;
}

}  // namespace

bool PingClamd(const ClamdConfig& config, std::string* error, const ClamdWaits& waits) {
  static constexpr char kCommand[] = "zPING";
  const std::optional<std::string> reply = Ask(config, kCommand, sizeof kCommand, waits, error);
  if (!reply) return false;
  if (*reply == "PONG") return true;
  *error = texts::kDaemonStrangeReply + OneLine(*reply);
  return false;
}

std::optional<std::string> ClamdVersion(const ClamdConfig& config, std::string* error,
                                        const ClamdWaits& waits) {
  static constexpr char kCommand[] = "zVERSION";
  std::optional<std::string> reply = Ask(config, kCommand, sizeof kCommand, waits, error);
  while (reply && !reply->empty() && (reply->back() == '\n' || reply->back() == '\r'))
    reply->pop_back();
  if (reply && StartsWith(*reply, "ClamAV ")) return OneLine(*reply);
  if (reply) *error = texts::kDaemonStrangeReply + OneLine(*reply);
  return std::nullopt;
}

namespace {

// INSTREAM's data: chunks, each after its length (4 bytes, network order),
// ended by a chunk of length 0, which a read error sends early. Each piece
// must be taken within the margin: the daemon reads as it comes.
Wait SendChunks(Connection& connection, const ReadData& read, const ClamdWaits& waits,
                bool* readFailed) {
  static constexpr size_t kChunk = 64 * 1024;
  std::string chunk(kChunk, '\0');
  for (;;) {
    long n = read(chunk.data(), kChunk);
    if (n < 0) *readFailed = true, n = 0;
    const uint32_t size = static_cast<uint32_t>(n);
    const unsigned char length[4] = {
        static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
        static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
    const Clock::time_point deadline = Clock::now() + waits.connect + waits.margin;
    Wait sent = connection.Send(length, 4, deadline);
    if (n == 0 || sent != Wait::kReady) return sent;
    sent = connection.Send(chunk.data(), size, deadline);
    if (sent != Wait::kReady) return sent;
  }
}

}  // namespace

struct ClamdSession::State {
  State(const ClamdConfig& c, const ClamdWaits& w, Cancelled stop)
      : config(c), waits(w), cancelled(std::move(stop)), connection(cancelled) {}

  // The request's number once its command went out whole.
  uint64_t Sent(Wait wait, ClamdReply* failure) {
    if (wait != Wait::kReady) {
      *failure = SendFailure(wait);
      broken = true;
      return 0;
    }
    return ++lastId;
  }

  const ClamdConfig config;
  const ClamdWaits waits;
  const Cancelled cancelled;  // before the connection, which refers to it
  Connection connection;
  std::string incoming;  // what the daemon said and was not read as replies yet
  uint64_t lastId = 0;
  bool broken = false;
};

ClamdSession::ClamdSession(const ClamdConfig& config, const ClamdWaits& waits, Cancelled cancelled)
    : state_(std::make_unique<State>(config, waits, std::move(cancelled))) {}

ClamdSession::~ClamdSession() {
  // The daemon ends the session once it answered everything; nothing waits for that.
  if (!state_->broken && state_->lastId > 0) {
    static constexpr char kEnd[] = "zEND";
    state_->connection.Send(kEnd, sizeof kEnd, Clock::now() + std::chrono::milliseconds(100));
  }
}

bool ClamdSession::Open(ClamdReply* failure) {
  State& s = *state_;
  if (!s.connection.Open(s.config, s.waits.connect, failure)) return false;
  s.connection.DrainInto(&s.incoming);
  static constexpr char kCommand[] = "zIDSESSION";
  const Wait sent = s.connection.Send(kCommand, sizeof kCommand, Clock::now() + s.waits.connect);
  if (sent == Wait::kReady) return true;
  *failure = SendFailure(sent);
  s.broken = true;
  return false;
}

#ifndef _WIN32
uint64_t ClamdSession::SendDescriptor(int fd, ClamdReply* failure) {
  State& s = *state_;
  static constexpr char kCommand[] = "zFILDES";
  const Clock::time_point deadline = Clock::now() + s.waits.connect;
  Wait sent = s.connection.Send(kCommand, sizeof kCommand, deadline);
  if (sent == Wait::kReady) sent = s.connection.SendDescriptor(fd, deadline);
  return s.Sent(sent, failure);
}
#endif

uint64_t ClamdSession::SendStream(const ReadData& read, ClamdReply* failure) {
  State& s = *state_;
  static constexpr char kCommand[] = "zINSTREAM";
  Wait sent = s.connection.Send(kCommand, sizeof kCommand, Clock::now() + s.waits.connect);
  bool readFailed = false;
  if (sent == Wait::kReady) sent = SendChunks(s.connection, read, s.waits, &readFailed);
  return s.Sent(sent, failure);
}

bool ClamdSession::Receive(std::chrono::milliseconds wait, std::vector<Reply>* replies,
                           ClamdReply* failure) {
  State& s = *state_;
  const Clock::time_point deadline = Clock::now() + wait;
  for (;;) {
    // Each message ends with a NUL byte.
    size_t end;
    while ((end = s.incoming.find('\0')) != std::string::npos) {
      const std::string message = s.incoming.substr(0, end);
      s.incoming.erase(0, end + 1);
      if (message.empty()) continue;
      const size_t colon = message.find(": ");
      uint64_t id = 0;
      const bool numbered = colon != std::string::npos &&
                            ReadRequestNumber(std::string_view(message).substr(0, colon), &id);
      // Without a number it is about the session itself, which is over.
      if (!numbered || id == 0 || id > s.lastId) {
        *failure = {ClamdReply::Kind::kNoAnswer, texts::kDaemonStrangeReply + OneLine(message)};
        s.broken = true;
        return false;
      }
      replies->push_back({id, ParseClamdReply(std::string_view(message).substr(colon + 2))});
    }
    if (!replies->empty()) return true;
    if (s.incoming.size() > kLongestMessage) {
      *failure = {ClamdReply::Kind::kNoAnswer,
                  texts::kDaemonStrangeReply + OneLine(s.incoming.substr(0, 200))};
      s.broken = true;
      return false;
    }
    if (s.broken) {
      *failure = {ClamdReply::Kind::kNoAnswer, texts::kDaemonClosed};
      return false;
    }
    const Wait got = s.connection.ReceiveSome(deadline, &s.incoming);
    if (got == Wait::kTimeout) return true;
    if (got == Wait::kCancelled) {
      *failure = {ClamdReply::Kind::kCancelled, {}};
      return false;
    }
    if (got == Wait::kFailed) s.broken = true;
  }
}

}  // namespace bridge
