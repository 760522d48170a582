// The daemon's connection on Windows: TCP alone, through Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

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
  socket_ = static_cast<std::intptr_t>(socket(address.family, address.type, address.protocol));
  if (socket_ == kNoSocket || !MakeNonBlocking(static_cast<SOCKET>(socket_))) return Start::kFailed;
  sockaddr_storage storage = {};
  std::memcpy(&storage, address.address.data(), std::min(address.address.size(), sizeof storage));
  if (connect(static_cast<SOCKET>(socket_), reinterpret_cast<const sockaddr*>(&storage),
              static_cast<int>(address.address.size())) == 0)
    return Start::kConnected;
  return WouldBlock() ? Start::kPending : Start::kFailed;
}

int ClamdConnection::ConnectError() {
  int code = 0;
  int size = sizeof code;
  if (getsockopt(static_cast<SOCKET>(socket_), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code),
                 &size) != 0)
    return WSAGetLastError();
  return code;
}

std::string ClamdConnection::ConnectErrorText(int code) {
  return "WSA " + std::to_string(code ? code : WSAGetLastError());
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
