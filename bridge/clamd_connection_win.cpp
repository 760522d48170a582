// The daemon's connection on Windows: TCP alone, through Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "bridge/clamd_connection.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

bool MakeNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

}  // namespace

bool PassesDescriptors(const ClamdConfig&) { return false; }

bool ClamdConnection::Open(const ClamdConfig& config, std::chrono::milliseconds wait,
                           ClamdReply* failure) {
  const Clock::time_point deadline = Clock::now() + wait;
  *failure = {ClamdReply::Kind::kNoAnswer, {}};
  if (!SocketsReady()) {
    failure->text = SocketError();
    return false;
  }
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
    socket_ = static_cast<std::intptr_t>(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (socket_ == kNoSocket || !MakeNonBlocking(static_cast<SOCKET>(socket_))) {
      error = SocketError();
      Close();
      continue;
    }
    if (connect(static_cast<SOCKET>(socket_), a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0)
      break;
    const bool pending = WouldBlock();
    const Wait wait = pending ? WaitFor(true, deadline) : Wait::kFailed;
    int code = 0;
    socklen_t size = sizeof code;
    if (wait == Wait::kReady &&
        getsockopt(static_cast<SOCKET>(socket_), SOL_SOCKET, SO_ERROR,
                   reinterpret_cast<char*>(&code), &size) == 0 &&
        code == 0)
      break;
    if (wait == Wait::kCancelled) {
      freeaddrinfo(found);
      *failure = {ClamdReply::Kind::kCancelled, {}};
      Close();
      return false;
    }
    error = wait == Wait::kTimeout ? texts::kDaemonTimeout
                                   : "WSA " + std::to_string(code ? code : WSAGetLastError());
    Close();
  }
  freeaddrinfo(found);
  if (socket_ == kNoSocket) failure->text = where + ": " + error;
  return socket_ != kNoSocket;
}

// No descriptor goes to a daemon on Windows (PassesDescriptors is false).
ClamdConnection::Wait ClamdConnection::SendDescriptor(int, Clock::time_point) {
  return Wait::kFailed;
}

long ClamdConnection::SendBytes(const char* bytes, size_t size) {
  return send(static_cast<SOCKET>(socket_), bytes, static_cast<int>(size), 0);
}

long ClamdConnection::ReceiveBytes(char* buffer, size_t size) {
  return recv(static_cast<SOCKET>(socket_), buffer, static_cast<int>(size), 0);
}

// select, as WSAPoll does not tell of a failed connect on every Windows.
int ClamdConnection::WaitSocket(bool writing, int ms, bool* readable) {
  const SOCKET s = static_cast<SOCKET>(socket_);
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

bool ClamdConnection::WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }

bool ClamdConnection::Interrupted() { return WSAGetLastError() == WSAEINTR; }

std::string ClamdConnection::SocketError() { return "WSA " + std::to_string(WSAGetLastError()); }

void ClamdConnection::CloseSocket() { closesocket(static_cast<SOCKET>(socket_)); }

}  // namespace bridge
