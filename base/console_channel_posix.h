// The private channel between the program and its console helper
// (quorvel-console), which runs the scanner inside a terminal window of its
// own. Both sides use this file: the helper connects to a stream socket in a
// directory that only this user can enter, and the two exchange frames, each
// a 4-byte length in host order followed by that many bytes.
//
// The program sends one request (three frames: the scanner's arguments, the
// environment, both as NUL-terminated strings one after another, and the
// current directory). The helper answers with text frames: "started <pid>"
// or "spawn failed <errno>", then "exited <code>" or "signalled <signo>".
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace console_channel {

// The socket's name inside the channel directory.
inline constexpr char kSocketName[] = "socket";

struct Request {
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::string currentDirectory;
};

enum class StatusKind { kStarted, kSpawnFailed, kExited, kSignalled };

struct Status {
  StatusKind kind = StatusKind::kExited;
  long value = 0;
};

// Writes or reads one whole frame; EINTR is retried and a closed peer never
// raises SIGPIPE. False on any failure, on the end of the stream and on a
// frame longer than the channel allows.
bool WriteFrame(int socket, std::string_view payload);
bool ReadFrame(int socket, std::string* payload);

bool SendRequest(int socket, const Request& request);
bool ReceiveRequest(int socket, Request* request);

bool SendStatus(int socket, Status status);
// False when the channel ends or the frame is no status.
bool ReceiveStatus(int socket, Status* status);

// True when the process at the other end of a connected AF_UNIX socket runs
// as this process's real user.
bool PeerIsThisUser(int socket);

}  // namespace console_channel
