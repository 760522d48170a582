// The daemon's protocol over a Unix or TCP socket. Commands are sent in the
// "z" form (ended by a NUL byte) and so are the replies.
#include "clamd_client.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "text_util.h"
#include "texts.h"

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

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
std::string SocketError() { return "WSA " + std::to_string(WSAGetLastError()); }
int PollSocket(Socket s, short events, int ms) {
  WSAPOLLFD fd = {s, events, 0};
  return WSAPoll(&fd, 1, ms);
}
bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
std::string SocketError() { return std::strerror(errno); }
int PollSocket(Socket s, short events, int ms) {
  pollfd fd = {s, events, 0};
  return poll(&fd, 1, ms);
}
bool SocketsReady() { return true; }
#endif

// How long the daemon may take over one file before it counts as gone; its
// own default limit of a scan is two minutes.
constexpr auto kReplyTimeout = std::chrono::minutes(5);
constexpr int kTickMs = 200;

class Connection {
 public:
  ~Connection() {
    if (socket_ != kNoSocket) CloseSocket(socket_);
  }

  bool Open(const ClamdConfig& config, bool local, std::string* error) {
    if (!SocketsReady()) {
      *error = SocketError();
      return false;
    }
#ifndef _WIN32
    if (local) {
      sockaddr_un address = {};
      address.sun_family = AF_UNIX;
      if (config.localSocket.size() >= sizeof address.sun_path) {
        *error = config.localSocket + ": " + std::strerror(ENAMETOOLONG);
        return false;
      }
      std::memcpy(address.sun_path, config.localSocket.c_str(), config.localSocket.size());
      socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (socket_ == kNoSocket ||
          connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = config.localSocket + ": " + SocketError();
        return false;
      }
      return true;
    }
#else
    (void)local;
#endif
    const std::string host = config.tcpAddress.empty() ? "127.0.0.1" : config.tcpAddress;
    const std::string where = host + ":" + config.tcpSocket;
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), config.tcpSocket.c_str(), &hints, &found) != 0 || !found) {
      *error = where + ": " + texts::kDaemonNoAddress;
      return false;
    }
    for (addrinfo* a = found; a; a = a->ai_next) {
      socket_ = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
      if (socket_ == kNoSocket) continue;
      if (connect(socket_, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) break;
      CloseSocket(socket_);
      socket_ = kNoSocket;
    }
    freeaddrinfo(found);
    if (socket_ == kNoSocket) *error = where + ": " + SocketError();
    return socket_ != kNoSocket;
  }

  bool Send(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
#ifdef _WIN32
      const int n = send(socket_, bytes, static_cast<int>(size), 0);
#else
      const ssize_t n = send(socket_, bytes, size, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
#endif
      if (n <= 0) return false;
      bytes += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

#ifndef _WIN32
  // The descriptor with one byte beside it, as the daemon expects.
  bool SendDescriptor(int fd) {
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
    ssize_t n;
    do n = sendmsg(socket_, &message, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return n == 1;
  }
#endif

  // The reply up to its NUL byte (or the end of the connection); false with
  // *failure filled in when none came.
  bool ReceiveText(const Cancelled& cancelled, std::string* reply, ClamdReply* failure) {
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    for (;;) {
      if (cancelled && cancelled()) {
        *failure = {ClamdReply::Kind::kCancelled, {}};
        return false;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        *failure = {ClamdReply::Kind::kNoAnswer, texts::kDaemonTimeout};
        return false;
      }
      // Nothing yet, or interrupted: the cancel and the deadline first.
      if (PollSocket(socket_, POLLIN, kTickMs) <= 0) continue;
      char buffer[512];
      const auto n = recv(socket_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reply->append(buffer, static_cast<size_t>(n));
      if (reply->find('\0') != std::string::npos) break;
    }
    if (reply->find('\0') != std::string::npos) reply->resize(reply->find('\0'));
    if (!reply->empty()) return true;
    *failure = {ClamdReply::Kind::kNoAnswer, texts::kDaemonClosed};
    return false;
  }

  ClamdReply Receive(const Cancelled& cancelled) {
    std::string reply;
    ClamdReply failure;
    return ReceiveText(cancelled, &reply, &failure) ? ParseClamdReply(reply) : failure;
  }

 private:
  Socket socket_ = kNoSocket;
};

bool UseDescriptors(const ClamdConfig& config) {
#ifdef _WIN32
  (void)config;
  return false;
#else
  return !config.localSocket.empty();
#endif
}

// INSTREAM: the data in chunks, each after its length (4 bytes, network
// order), ended by a chunk of length 0.
template <typename ReadChunk>
ClamdReply Stream(Connection& connection, const ReadChunk& readChunk, const Cancelled& cancelled) {
  static constexpr char kCommand[] = "zINSTREAM";
  if (!connection.Send(kCommand, sizeof kCommand))
    return {ClamdReply::Kind::kNoAnswer, texts::kDaemonClosed};
  char chunk[64 * 1024];
  for (;;) {
    if (cancelled && cancelled()) return {ClamdReply::Kind::kCancelled, {}};
    long n = readChunk(chunk, sizeof chunk);
    if (n < 0) return {ClamdReply::Kind::kError, texts::kDaemonReadFailed};
    const uint32_t size = static_cast<uint32_t>(n);
    const unsigned char length[4] = {
        static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
        static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
    // A daemon past its StreamMaxLength closes early and says so in its reply.
    if (!connection.Send(length, 4) || (n > 0 && !connection.Send(chunk, size)) || n == 0) break;
  }
  return connection.Receive(cancelled);
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
    return {ClamdReply::Kind::kInfected, std::string(virus)};
  }
  if (EndsWith(status, " ERROR"))
    return {ClamdReply::Kind::kError, std::string(status.substr(0, status.size() - 6))};
  return {ClamdReply::Kind::kNoAnswer, texts::kDaemonStrangeReply + std::string(reply)};
}

bool PingClamd(const ClamdConfig& config, std::string* error) {
  Connection connection;
  if (!connection.Open(config, UseDescriptors(config), error)) return false;
  static constexpr char kCommand[] = "zPING";
  std::string reply;
  ClamdReply failure{ClamdReply::Kind::kNoAnswer, texts::kDaemonClosed};
  if (connection.Send(kCommand, sizeof kCommand) && connection.ReceiveText({}, &reply, &failure)) {
    if (reply == "PONG") return true;
    failure.text = texts::kDaemonStrangeReply + reply;
  }
  *error = failure.text;
  return false;
}

ClamdReply ScanWithClamd(const ClamdConfig& config, const std::string& path,
                         const Cancelled& cancelled) {
  const bool descriptors = UseDescriptors(config);
#ifndef _WIN32
  // Opened here, with the user's rights, whichever way it then travels.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return {ClamdReply::Kind::kError, std::strerror(errno)};
  struct Closer {
    int fd;
    ~Closer() { close(fd); }
  } closer{fd};
#endif
  Connection connection;
  std::string error;
  if (!connection.Open(config, descriptors, &error)) return {ClamdReply::Kind::kNoAnswer, error};
#ifndef _WIN32
  if (descriptors) {
    static constexpr char kCommand[] = "zFILDES";
    if (!connection.Send(kCommand, sizeof kCommand) || !connection.SendDescriptor(fd))
      return {ClamdReply::Kind::kNoAnswer, texts::kDaemonClosed};
    return connection.Receive(cancelled);
  }
  return Stream(
      connection,
      [fd](char* buffer, size_t size) -> long {
        ssize_t n;
        do n = read(fd, buffer, size);
        while (n < 0 && errno == EINTR);
        return static_cast<long>(n);
      },
      cancelled);
#else
  std::ifstream file(FsPath(path), std::ios::binary);
  if (!file) return {ClamdReply::Kind::kError, texts::kDaemonReadFailed};
  return Stream(
      connection,
      [&file](char* buffer, size_t size) -> long {
        file.read(buffer, static_cast<std::streamsize>(size));
        if (file.bad()) return -1;
        return static_cast<long>(file.gcount());
      },
      cancelled);
#endif
}

}  // namespace bridge
