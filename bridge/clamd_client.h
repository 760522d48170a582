// Speaking to the ClamAV daemon: PING, and one file per connection by its
// descriptor (FILDES, over a local socket) or by its data (INSTREAM).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "clamd_config.h"

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

// Reads one reply line of the daemon.
ClamdReply ParseClamdReply(std::string_view reply);

// Asked now and then while waiting on the daemon; true ends the wait.
using Cancelled = std::function<bool()>;

// Whether the daemon answers PING with PONG; *error says why not.
bool PingClamd(const ClamdConfig& config, std::string* error);

// Scans one file: by descriptor over a local socket where the system can
// pass one (the daemon may not be allowed to open the user's files), else by
// streaming its data.
ClamdReply ScanWithClamd(const ClamdConfig& config, const std::string& path,
                         const Cancelled& cancelled);

}  // namespace bridge
