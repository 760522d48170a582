// Speaking to the ClamAV daemon: PING and VERSION, and files on one
// connection in a session, each by its descriptor (FILDES, over a local
// socket) or by its data (INSTREAM). Every wait is bounded, and a
// stop ends it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/clamd_config.h"
#include "bridge/scan_events.h"

namespace bridge {

// What the daemon said of one file.
struct ClamdReply {
  enum class Kind {
    kClean,      // "<name>: OK"
    kInfected,   // "<name>: <virus> FOUND": text is the virus
    kError,      // "<name>: <message> ERROR", or the file cannot be read: text says why
    kNoAnswer,   // the daemon cannot be reached or stopped answering: text says why
    kCancelled,  // the scan was stopped while waiting
  };
  Kind kind = Kind::kNoAnswer;
  std::string text;
};

// Reads one reply message of the daemon (after the request's number). Its
// text is the daemon's: the writer escapes it like a path.
ClamdReply ParseClamdReply(std::string_view reply);

// The limit an ERROR reply names ("INSTREAM size limit exceeded.",
// "Exceeded max scan size", ...); nothing for any other error.
std::optional<Shortfall> LimitOfClamdError(std::string_view message);

// Asked now and then while waiting on the daemon; true ends the wait.
using Cancelled = std::function<bool()>;

// How long the bridge waits on the daemon.
struct ClamdWaits {
  std::chrono::milliseconds connect{10000};   // to connect, and for PING's answer
  std::chrono::milliseconds firstPing{3000};  // for the answer that decides whether to use it
  std::chrono::milliseconds margin{30000};    // for a file: beyond the daemon's MaxScanTime
  // For the reply on one file, once it was handed over.
  std::chrono::milliseconds Reply(const ClamdConfig& config) const;
};

// Whether the daemon answers PING with PONG; *error says why not.
bool PingClamd(const ClamdConfig& config, std::string* error, const ClamdWaits& waits = {});

// The daemon's answer to VERSION ("ClamAV 1.4.6/27480/Tue Dec  9 08:30:00
// 2026"), control characters as "?"; nothing, with *error, when it gives none.
std::optional<std::string> ClamdVersion(const ClamdConfig& config, std::string* error,
                                        const ClamdWaits& waits = {});

// Whether files reach the daemon by their descriptor (its local socket,
// where the system can pass one: the daemon may not be allowed to open the
// user's files), else by their data over TCP.
bool PassesDescriptors(const ClamdConfig& config);

// Where the daemon is asked: its socket's path, or address and port.
std::string ClamdAddress(const ClamdConfig& config);

// Reads the file's next data into buffer: the number of bytes, 0 at its end,
// -1 when it cannot be read.
using ReadData = std::function<long(char* buffer, size_t size)>;

// One long-lived connection in a session (IDSESSION): requests follow one
// another without waiting, and the daemon answers each as soon as it is
// scanned, after the request's number ("<id>: <reply>"), counted from 1 in
// the order sent.
class ClamdSession {
 public:
  ClamdSession(const ClamdConfig& config, const ClamdWaits& waits, Cancelled cancelled);
  ~ClamdSession();
  ClamdSession(const ClamdSession&) = delete;
  ClamdSession& operator=(const ClamdSession&) = delete;

  // Connects and starts the session; false with *failure.
  bool Open(ClamdReply* failure);
  // FILDES, where PassesDescriptors: the descriptor goes along at once (the
  // caller's own may be closed then). The request's number, or 0 with
  // *failure.
  uint64_t SendDescriptor(int fd, ClamdReply* failure);
  // INSTREAM: the file's data to its end. A read error ends the data early:
  // the request still counts, the caller tells its reply apart.
  uint64_t SendStream(const ReadData& read, ClamdReply* failure);

  // A reply's number is read whole: one that was not sent (too large, or
  // past the last request) ends the session as a strange answer.
  struct Reply {
    uint64_t id = 0;
    ClamdReply reply;
  };
  // The replies complete so far, waiting up to wait for the first. False
  // with *failure once the connection ended or failed (what came before is
  // still in *replies).
  bool Receive(std::chrono::milliseconds wait, std::vector<Reply>* replies, ClamdReply* failure);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace bridge
