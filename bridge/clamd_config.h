// The running ClamAV daemon: where it listens, what it scans, and whether the
// bridge may hand a scan to it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bridge/scan_request.h"

namespace bridge {

// Names the daemon's configuration file instead of the one clamdscan reads;
// set but empty, the bridge never asks a daemon.
inline constexpr char kClamdConfigOverride[] = "QUORVEL_CLAMD_CONF";

// What the bridge needs of a clamd.conf. The scan options and limits are
// the daemon's own, for every scan it does; absent, they take clamd's
// defaults. A limit of 0 is none.
struct ClamdConfig {
  std::string localSocket;        // LocalSocket: a Unix socket's path
  std::string tcpSocket;          // TCPSocket: the port
  std::string tcpAddress;         // TCPAddr (first one); empty means this machine
  std::string databaseDirectory;  // DatabaseDirectory: its signatures; empty for ClamAV's own
  bool scanArchive = true;
  bool scanMail = true;
  bool scanOle2 = true;
  // Sizes in bytes ("25M" in the file).
  uint64_t maxFileSize = 100ull << 20;      // MaxFileSize: larger files are not scanned
  uint64_t maxScanSize = 400ull << 20;      // MaxScanSize: data looked at per file
  uint64_t streamMaxLength = 100ull << 20;  // StreamMaxLength: INSTREAM takes no more
  uint64_t maxRecursion = 17;               // MaxRecursion
  uint64_t maxFiles = 10000;                // MaxFiles
  uint64_t maxScanTimeMs = 120000;          // MaxScanTime, in milliseconds
  uint64_t maxThreads = 10;                 // MaxThreads: files scanned at once
  uint64_t maxConnectionQueueLength = 200;  // MaxConnectionQueueLength
  uint64_t maxQueue = 100;                  // MaxQueue: requests queued, those scanned included
  bool alertExceedsMax = false;  // AlertExceedsMax: a file over a limit is named, not "OK"
  bool HasSocket() const { return !localSocket.empty() || !tcpSocket.empty(); }
};

// Reads the text of a clamd.conf: "Name value" lines, "#" comments, names
// without regard to case.
ClamdConfig ParseClamdConfig(const std::string& text);

// The file read and parsed; nothing when it cannot be read.
std::optional<ClamdConfig> ReadClamdConfig(const std::string& path);

// Which engine scans, and why not the daemon. A pure decision on the
// arguments and the daemon's options: the daemon is used where it scans at
// least what is asked. Where it looks deeper (archives, mail, Office
// documents) and finds are removed or moved, each find is confirmed by the
// local engine under the request's own options before it is treated.
struct EngineChoice {
  bool daemon = false;
  bool confirm = false;  // the daemon's finds are confirmed before treatment
  std::string reason;    // for the local engine: why, in the user's words
};
EngineChoice ChooseEngine(const ScanRequest& request, const std::optional<ClamdConfig>& config);

}  // namespace bridge
