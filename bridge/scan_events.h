// What flows through a scan: the files the walk reaches, the engines'
// verdicts on them and what became of each one. Typed from end to end: no
// engine's answer is turned into text and read back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// Which file a path named when it was looked at: the device and inode on
// Linux, the volume and file index on Windows. Treatment acts only on the
// file that was scanned, never on one put in its place since.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t file = 0;
  bool known = false;
  bool operator==(const FileIdentity& other) const {
    return known && other.known && device == other.device && file == other.file;
  }
};

// One file the walk reached.
struct FileToScan {
  std::string path;        // as the user knows it (UTF-8): what console and report name
  std::string systemPath;  // what the system opens: Windows' long form "\\?\...", or the
                           // real file of a link given as the target
  FileIdentity identity;   // of the file at systemPath when the walk saw it
  uint64_t size = 0;
};

// Why a file was not (completely) scanned.
enum class Shortfall {
  kUnreadable,      // cannot be opened or read: detail holds the system's reason
  kGone,            // gone between the walk and its scan
  kChanged,         // another file, or changed, while it was scanned
  kFileSizeLimit,   // larger than the engine scans (ClamAV's MaxFileSize)
  kScanSizeLimit,   // more content than the engine looks at (MaxScanSize)
  kRecursionLimit,  // nested deeper than the engine follows (MaxRecursion)
  kFilesLimit,      // more files inside than the engine looks at (MaxFiles)
  kTimeLimit,       // took longer than the engine allows (MaxScanTime)
  kOtherLimit,      // another of the engine's limits
  kEncrypted,       // encrypted (an archive or document): its content could not be looked at
  kEngineError,     // the engine failed on it: detail holds its words
  kDaemonLost,      // the daemon stopped answering before it was scanned
  kDaemonPartial,   // the daemon said "OK" for a container it may not have looked into whole
};

// An engine's answer for one file.
struct Verdict {
  enum class Kind { kClean, kInfected, kIncomplete };
  Kind kind = Kind::kIncomplete;
  std::string virus;                              // kInfected: ClamAV's name of it
  Shortfall shortfall = Shortfall::kEngineError;  // kIncomplete
  std::string detail;  // kIncomplete: the system's or the engine's own words, if any
  // The file really scanned (what the engine's open descriptor named), when known.
  FileIdentity scanned;

  static Verdict Clean(FileIdentity scanned = {}) { return {Kind::kClean, {}, {}, {}, scanned}; }
  static Verdict Infected(std::string virus, FileIdentity scanned = {}) {
    return {Kind::kInfected, std::move(virus), {}, {}, scanned};
  }
  static Verdict Incomplete(Shortfall why, std::string detail = {}) {
    return {Kind::kIncomplete, {}, why, std::move(detail), {}};
  }
};

// ClamAV names the alert for a file over one of its limits
// "Heuristics.Limits.Exceeded.<limit>", and for an encrypted archive or
// document "Heuristics.Encrypted.<kind>": that is a file not completely
// scanned, not an infection. Nothing for any other name.
std::optional<Shortfall> LimitOfAlert(std::string_view virusName);

// A verdict with such an alert read as what it is.
Verdict FromDetection(std::string virusName, FileIdentity scanned = {});

// What /move or /del did with an infected file.
struct Treatment {
  enum class Kind { kNone, kMoved, kRemoved, kFailed };
  Kind kind = Kind::kNone;
  std::string detail;     // kMoved: the new path; kFailed: why, in the user's words
  std::string note = {};  // after what was done, on the same line (ours, never outside text)
};

// Why the walk passed a file over without scanning it.
enum class SkipReason {
  kNotARegularFile,  // a named pipe, socket or device: never opened
  kLink,             // a link inside the tree: not followed
};

}  // namespace bridge
