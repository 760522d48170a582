#include "base/console_channel_posix.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace console_channel {

namespace {

// Far above any real command line and environment; a length beyond it is a
// broken or hostile peer, not something to allocate for.
constexpr uint32_t kMaxFrame = 16u << 20;

bool SendAll(int socket, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t sent = send(socket, data, size, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool ReceiveAll(int socket, char* data, size_t size) {
  while (size > 0) {
    const ssize_t got = recv(socket, data, size, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    data += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

std::string JoinStrings(const std::vector<std::string>& strings) {
  std::string joined;
  for (const std::string& each : strings) {
    joined += each;
    joined += '\0';
  }
  return joined;
}

std::vector<std::string> SplitStrings(const std::string& joined) {
  std::vector<std::string> strings;
  size_t start = 0;
  while (start < joined.size()) {
    size_t end = joined.find('\0', start);
    if (end == std::string::npos) end = joined.size();
    strings.emplace_back(joined, start, end - start);
    start = end + 1;
  }
  return strings;
}

struct StatusWord {
  StatusKind kind;
  const char* word;
};
constexpr StatusWord kStatusWords[] = {{StatusKind::kStarted, "started"},
                                       {StatusKind::kSpawnFailed, "spawn failed"},
                                       {StatusKind::kExited, "exited"},
                                       {StatusKind::kSignalled, "signalled"}};

}  // namespace

bool WriteFrame(int socket, std::string_view payload) {
  if (payload.size() > kMaxFrame) return false;
  const uint32_t length = static_cast<uint32_t>(payload.size());
  char header[sizeof length];
  std::memcpy(header, &length, sizeof length);
  return SendAll(socket, header, sizeof header) && SendAll(socket, payload.data(), payload.size());
}

bool ReadFrame(int socket, std::string* payload) {
  uint32_t length = 0;
  char header[sizeof length];
  if (!ReceiveAll(socket, header, sizeof header)) return false;
  std::memcpy(&length, header, sizeof length);
  if (length > kMaxFrame) return false;
  payload->assign(length, '\0');
  return ReceiveAll(socket, payload->data(), length);
}

bool SendRequest(int socket, const Request& request) {
  return WriteFrame(socket, JoinStrings(request.arguments)) &&
         WriteFrame(socket, JoinStrings(request.environment)) &&
         WriteFrame(socket, request.currentDirectory);
}

bool ReceiveRequest(int socket, Request* request) {
  std::string arguments;
  std::string environment;
  if (!ReadFrame(socket, &arguments) || !ReadFrame(socket, &environment) ||
      !ReadFrame(socket, &request->currentDirectory))
    return false;
  request->arguments = SplitStrings(arguments);
  request->environment = SplitStrings(environment);
  return !request->arguments.empty() && !request->arguments[0].empty();
}

bool SendStatus(int socket, Status status) {
  for (const StatusWord& each : kStatusWords)
    if (each.kind == status.kind)
      return WriteFrame(socket, std::string(each.word) + " " + std::to_string(status.value));
  return false;
}

bool ReceiveStatus(int socket, Status* status) {
  std::string frame;
  if (!ReadFrame(socket, &frame)) return false;
  for (const StatusWord& each : kStatusWords) {
    const size_t wordLength = std::strlen(each.word);
    if (frame.compare(0, wordLength, each.word) != 0 || frame.size() < wordLength + 2 ||
        frame[wordLength] != ' ')
      continue;
    const char* digits = frame.c_str() + wordLength + 1;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(digits, &end, 10);
    if (errno != 0 || end == digits || *end != '\0') return false;
    status->kind = each.kind;
    status->value = value;
    return true;
  }
  return false;
}

bool PeerIsThisUser(int socket) {
  struct ucred peer = {};
  socklen_t size = sizeof peer;
  return getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer &&
         peer.uid == getuid();
}

}  // namespace console_channel
