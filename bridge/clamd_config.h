// The running ClamAV daemon's configuration: where it listens, what it
// scans, its limits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bridge {

// Names the daemon's configuration file instead of the one clamdscan reads;
// set but empty, the bridge never asks a daemon.
inline constexpr char kClamdConfigOverride[] = "QUORVEL_CLAMD_CONF";

// What the bridge needs of a clamd.conf. The scan options and limits are
// the daemon's own, for every scan it does; absent, they take clamd's
// defaults (ClamAV's optparser). A limit of 0 is none.
struct ClamdConfig {
  std::string localSocket;        // LocalSocket: a Unix socket's path
  std::string tcpSocket;          // TCPSocket: the port
  std::string tcpAddress;         // TCPAddr (first one); empty means this machine
  std::string databaseDirectory;  // DatabaseDirectory: its signatures; empty for ClamAV's own
  // The ways of looking into files, each "yes" by default.
  bool scanArchive = true;
  bool scanMail = true;
  bool scanOle2 = true;
  bool scanPe = true;
  bool scanElf = true;
  bool scanPdf = true;
  bool scanHtml = true;
  bool scanSwf = true;
  bool scanXmlDocs = true;
  bool scanHwp3 = true;
  bool scanOneNote = true;
  bool scanImage = true;
  bool scanImageFuzzyHash = true;
  // HeuristicAlerts, and its older name AlgorithmicDetection: both must be on.
  bool heuristicAlerts = true;
  bool algorithmicDetection = true;
  // The alerts, each "no" by default, with their older names.
  bool alertExceedsMax = false;  // AlertExceedsMax, BlockMax: a file over a limit is named
  bool alertEncrypted = false;   // AlertEncrypted, ArchiveBlockEncrypted: archives and documents
  bool alertEncryptedArchive = false;  // AlertEncryptedArchive
  bool alertEncryptedDoc = false;      // AlertEncryptedDoc
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
  bool HasSocket() const { return !localSocket.empty() || !tcpSocket.empty(); }
  // What clamd makes of the settings together.
  bool Heuristics() const { return heuristicAlerts && algorithmicDetection; }
  bool AlertsEncryptedArchives() const {
    return scanArchive && (alertEncrypted || alertEncryptedArchive);
  }
  bool AlertsEncryptedDocuments() const { return alertEncrypted || alertEncryptedDoc; }
};

// Reads the text of a clamd.conf: "Name value" lines, "#" comments, names
// without regard to case.
ClamdConfig ParseClamdConfig(const std::string& text);

// A size as a clamd.conf says it: "25M" rather than 26214400.
std::string ClamdSizeText(uint64_t bytes);

// The file read and parsed; nothing when it cannot be read.
std::optional<ClamdConfig> ReadClamdConfig(const std::string& path);

}  // namespace bridge
