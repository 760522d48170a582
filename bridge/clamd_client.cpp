// The daemon's protocol over a Unix or TCP socket. Commands are sent in the
// "z" form (ended by a NUL byte) and so are the replies. Sockets are
// non-blocking, so that every wait has its end and a stop is seen.
#include "bridge/clamd_client.h"

#include <algorithm>
#include <cstdint>

#include "base/text.h"
#include "bridge/clamd_connection.h"
#include "bridge/texts.h"

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

}  // namespace

ClamdConnection::Wait ClamdConnection::Send(const void* data, size_t size,
                                            Clock::time_point deadline) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const long n = SendBytes(bytes, size);
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

bool ClamdConnection::ReceiveText(Clock::time_point deadline, std::string* reply,
                                  ClamdReply* failure) {
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
    const long n = ReceiveBytes(buffer, sizeof buffer);
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

ClamdConnection::Wait ClamdConnection::ReceiveSome(Clock::time_point deadline, std::string* into) {
  for (;;) {
    const Wait wait = WaitFor(false, deadline);
    if (wait != Wait::kReady && wait != Wait::kFailed) return wait;
    const int got = ReadAvailable(into);
    if (got != 0) return got > 0 ? Wait::kReady : Wait::kFailed;
    if (wait == Wait::kFailed) return wait;
  }
}

int ClamdConnection::ReadAvailable(std::string* into) {
  char buffer[4096];
  const long n = ReceiveBytes(buffer, sizeof buffer);
  if (n > 0) {
    into->append(buffer, static_cast<size_t>(n));
    return 1;
  }
  return n < 0 && (WouldBlock() || Interrupted()) ? 0 : -1;
}

ClamdConnection::Wait ClamdConnection::WaitFor(bool writing, Clock::time_point deadline) {
  for (;;) {
    if (cancelled_ && cancelled_()) return Wait::kCancelled;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return Wait::kTimeout;
    bool readable = false;
    const int n = WaitSocket(writing, static_cast<int>(left < kTickMs ? left : kTickMs),
                             writing && incoming_ ? &readable : nullptr);
    if (readable && ReadAvailable(incoming_) < 0) return Wait::kFailed;
    if (n > 0) return Wait::kReady;
    if (n < 0) return Wait::kFailed;
  }
}

void ClamdConnection::Close() {
  if (socket_ != kNoSocket) CloseSocket();
  socket_ = kNoSocket;
}

bool ClamdConnection::OpenTcp(const ClamdConfig& config, Clock::time_point deadline,
                              ClamdReply* failure) {
  const std::string host = config.tcpAddress.empty() ? "127.0.0.1" : config.tcpAddress;
  std::string error = texts::kDaemonNoAddress;
  for (const TcpAddress& address : TcpAddresses(host, config.tcpSocket)) {
    const Start start = StartConnect(address);
    if (start == Start::kConnected) return true;
    const Wait wait = start == Start::kPending ? WaitFor(true, deadline) : Wait::kFailed;
    const int code = wait == Wait::kReady ? ConnectError() : 0;
    if (wait == Wait::kReady && code == 0) return true;
    if (wait == Wait::kCancelled) {
      *failure = {ClamdReply::Kind::kCancelled, {}};
      Close();
      return false;
    }
    error = wait == Wait::kTimeout ? texts::kDaemonTimeout : ConnectErrorText(code);
    Close();
  }
  failure->text = ClamdAddress(config) + ": " + error;
  return false;
}

namespace {

using Wait = ClamdConnection::Wait;

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
  ClamdConnection connection(never);
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
Wait SendChunks(ClamdConnection& connection, const ReadData& read, const ClamdWaits& waits,
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
  ClamdConnection connection;
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

uint64_t ClamdSession::SendDescriptor(int fd, ClamdReply* failure) {
  State& s = *state_;
  static constexpr char kCommand[] = "zFILDES";
  const Clock::time_point deadline = Clock::now() + s.waits.connect;
  Wait sent = s.connection.Send(kCommand, sizeof kCommand, deadline);
  if (sent == Wait::kReady) sent = s.connection.SendDescriptor(fd, deadline);
  return s.Sent(sent, failure);
}

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
