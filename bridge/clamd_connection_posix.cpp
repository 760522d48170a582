// The daemon's connection on Linux: its local socket, where the file's
// descriptor can go along, or TCP.
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "bridge/clamd_connection.h"
#include "bridge/error_reason.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

bool MakeNonBlocking(int s) { return fcntl(s, F_SETFL, fcntl(s, F_GETFL) | O_NONBLOCK) == 0; }

}  // namespace

bool PassesDescriptors(const ClamdConfig& config) { return !config.localSocket.empty(); }

bool ClamdConnection::Open(const ClamdConfig& config, std::chrono::milliseconds wait,
                           ClamdReply* failure) {
  const Clock::time_point deadline = Clock::now() + wait;
  *failure = {ClamdReply::Kind::kNoAnswer, {}};
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
      if (connect(static_cast<int>(socket_), reinterpret_cast<sockaddr*>(&address),
                  sizeof address) == 0)
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
  return OpenTcp(config, deadline, failure);
}

std::vector<ClamdConnection::TcpAddress> ClamdConnection::TcpAddresses(const std::string& host,
                                                                       const std::string& port) {
  addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<TcpAddress> addresses;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) return addresses;
  for (const addrinfo* a = found; a; a = a->ai_next)
    addresses.push_back({a->ai_family, a->ai_socktype, a->ai_protocol,
                         std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)});
  freeaddrinfo(found);
  return addresses;
}

ClamdConnection::Start ClamdConnection::StartConnect(const TcpAddress& address) {
  socket_ = socket(address.family, address.type, address.protocol);
  if (socket_ == kNoSocket || !MakeNonBlocking(static_cast<int>(socket_))) return Start::kFailed;
  sockaddr_storage storage = {};
  std::memcpy(&storage, address.address.data(), std::min(address.address.size(), sizeof storage));
  if (connect(static_cast<int>(socket_), reinterpret_cast<const sockaddr*>(&storage),
              static_cast<socklen_t>(address.address.size())) == 0)
    return Start::kConnected;
  return errno == EINPROGRESS ? Start::kPending : Start::kFailed;
}

int ClamdConnection::ConnectError() {
  int code = 0;
  socklen_t size = sizeof code;
  if (getsockopt(static_cast<int>(socket_), SOL_SOCKET, SO_ERROR, &code, &size) != 0)
    return errno ? errno : EIO;
  return code;
}

std::string ClamdConnection::ConnectErrorText(int code) { return ErrnoReason(code ? code : errno); }

ClamdConnection::Wait ClamdConnection::SendDescriptor(int fd, Clock::time_point deadline) {
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
    const ssize_t n = sendmsg(static_cast<int>(socket_), &message, MSG_NOSIGNAL);
    if (n == 1) return Wait::kReady;
    if (n < 0 && Interrupted()) continue;
    if (n == 0 || !WouldBlock()) return Wait::kFailed;
    if (const Wait wait = WaitFor(true, deadline); wait != Wait::kReady) return wait;
  }
}

long ClamdConnection::SendBytes(const char* bytes, size_t size) {
  return send(static_cast<int>(socket_), bytes, size, MSG_NOSIGNAL);
}

long ClamdConnection::ReceiveBytes(char* buffer, size_t size) {
  return recv(static_cast<int>(socket_), buffer, size, 0);
}

int ClamdConnection::WaitSocket(bool writing, int ms, bool* readable) {
  pollfd fd = {static_cast<int>(socket_),
               static_cast<short>(writing ? (readable ? POLLOUT | POLLIN : POLLOUT) : POLLIN), 0};
  const int n = poll(&fd, 1, ms);
  if (readable) *readable = n > 0 && (fd.revents & POLLIN);
  if (readable && n > 0 && !(fd.revents & (POLLOUT | POLLERR | POLLHUP))) return 0;
  return n < 0 && errno == EINTR ? 0 : n;
}

bool ClamdConnection::WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }

bool ClamdConnection::Interrupted() { return errno == EINTR; }

std::string ClamdConnection::SocketError() { return ErrnoReason(errno); }

void ClamdConnection::CloseSocket() { close(static_cast<int>(socket_)); }

}  // namespace bridge
