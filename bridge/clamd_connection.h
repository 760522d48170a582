// One connection to the daemon, non-blocking, so that every wait has its end
// and a stop is seen: the waits and the reading in clamd_client.cpp, the
// system's sockets in clamd_connection_posix.cpp and clamd_connection_win.cpp.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/clamd_client.h"
#include "bridge/clamd_config.h"

namespace bridge {

class ClamdConnection {
 public:
  using Clock = std::chrono::steady_clock;
  enum class Wait { kReady, kTimeout, kCancelled, kFailed };

  explicit ClamdConnection(const Cancelled& cancelled) : cancelled_(cancelled) {}
  ~ClamdConnection() { Close(); }
  ClamdConnection(const ClamdConnection&) = delete;
  ClamdConnection& operator=(const ClamdConnection&) = delete;

  // Connects within the wait; the failure (kNoAnswer, or kCancelled) in *failure.
  bool Open(const ClamdConfig& config, std::chrono::milliseconds wait, ClamdReply* failure);

  // Sends everything, each piece taken before the deadline.
  Wait Send(const void* data, size_t size, Clock::time_point deadline);

  // The descriptor with one byte beside it, as the daemon expects. Only
  // where PassesDescriptors: on Windows, where it never does, kFailed.
  Wait SendDescriptor(int fd, Clock::time_point deadline);

  // The whole answer in *reply: the daemon closes the connection after it.
  // A daemon that keeps it open is taken at its word once the time is up.
  // False with *failure when no answer came.
  bool ReceiveText(Clock::time_point deadline, std::string* reply, ClamdReply* failure);

  // In a session, what the daemon says while a request is being sent is
  // read into this, so that neither side waits on the other.
  void DrainInto(std::string* incoming) { incoming_ = incoming; }

  // Waits for data, and appends what came; kFailed once the daemon closed.
  Wait ReceiveSome(Clock::time_point deadline, std::string* into);

 private:
  // 1 when data came, 0 when none was there, -1 when the daemon closed or failed.
  int ReadAvailable(std::string* into);
  Wait WaitFor(bool writing, Clock::time_point deadline);
  void Close();
  // Connects over TCP to each address the configured host stands for in
  // turn, until one answers or the deadline; false with *failure.
  bool OpenTcp(const ClamdConfig& config, Clock::time_point deadline, ClamdReply* failure);

  // The system's side of the socket (its own file for each system).
  struct TcpAddress {
    int family = 0;
    int type = 0;
    int protocol = 0;
    std::string address;  // the system's socket address, as bytes
  };
  // The addresses host and port stand for; none when the name is unknown.
  static std::vector<TcpAddress> TcpAddresses(const std::string& host, const std::string& port);
  enum class Start { kConnected, kPending, kFailed };
  // A new non-blocking socket, its connect to the address begun.
  Start StartConnect(const TcpAddress& address);
  // Once a pending connect is ready: 0 when it connected, else the error.
  int ConnectError();
  // What a failed connect met: code, or the failed call's own error for 0.
  static std::string ConnectErrorText(int code);
  // send and recv: the bytes taken or given, 0 once closed, -1 on error.
  long SendBytes(const char* bytes, size_t size);
  long ReceiveBytes(char* buffer, size_t size);
  // 1 when ready (or failed: the next call tells), 0 when not yet, -1 on
  // error; *readable (when given) tells whether data came while waiting to
  // write.
  int WaitSocket(bool writing, int ms, bool* readable);
  // What the last call that failed met.
  static bool WouldBlock();
  static bool Interrupted();
  static std::string SocketError();
  void CloseSocket();

  static constexpr std::intptr_t kNoSocket = -1;

  const Cancelled& cancelled_;
  std::intptr_t socket_ = kNoSocket;  // the system's socket (int, or SOCKET)
  std::string* incoming_ = nullptr;
};

}  // namespace bridge
