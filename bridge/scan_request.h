// The scan as the arguments ask for it, read once: every switch's meaning is
// decided here, keyed by the switch enumeration the window uses too; the
// rest of the bridge asks the request, never the words of the line.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/scan_switches.h"

namespace bridge {

// How the paths of the system look whose arguments are read.
enum class PathStyle { kWindows, kPosix };

struct ScanRequest {
  std::vector<std::string> targets;  // the quoted target and further paths, in order
  std::bitset<kScanSwitches.size()> switches;
  std::optional<std::string> reportFile;     // "/report <path>"
  std::optional<std::string> moveDirectory;  // "/move <dir>"

  // The extra parameters the bridge understands, in clamscan's spelling.
  std::vector<std::string> databases;       // -d, --database: signature files or folders
  std::vector<std::string> excludeFiles;    // --exclude: patterns of file paths
  std::vector<std::string> excludeFolders;  // --exclude-dir: patterns of folder paths
  std::optional<uint64_t> maxFileSize;      // --max-filesize, in bytes
  std::optional<uint64_t> maxScanSize;      // --max-scansize, in bytes

  bool Has(ScanSwitch id) const { return switches.test(SwitchIndex(id)); }
  void Set(ScanSwitch id) { switches.set(SwitchIndex(id)); }

  // What the switches mean.
  bool WantsLocalDrives() const {
    return Has(ScanSwitch::kAllDrives) || Has(ScanSwitch::kAllLocalDrives);
  }
  bool WantsNetworkDrives() const {
    return Has(ScanSwitch::kAllDrives) || Has(ScanSwitch::kAllNetDrives);
  }
  bool WantsDrives() const { return WantsLocalDrives() || WantsNetworkDrives(); }
  // A target folder with everything below it; drives always are.
  bool Recursive() const { return Has(ScanSwitch::kSubdirs); }
  bool ScansArchives() const { return Has(ScanSwitch::kArchives); }
  bool ScansMail() const { return Has(ScanSwitch::kMime); }
  bool ScansOffice() const { return !Has(ScanSwitch::kNoOffice); }
  bool Removes() const { return Has(ScanSwitch::kDelete) && !moveDirectory; }
  bool Treats() const { return Has(ScanSwitch::kDelete) || moveDirectory.has_value(); }
  bool Appends() const { return Has(ScanSwitch::kAppend); }
  bool ListsVirusDatabase() const { return Has(ScanSwitch::kVirusList); }
  // The report names every file scanned; the files not (completely)
  // scanned; the errors. Infected files, what became of them and the summary
  // always.
  bool ReportsEveryFile() const { return Has(ScanSwitch::kReportAll); }
  bool ReportsIncomplete() const { return Has(ScanSwitch::kReportCorrupt); }
  bool ReportsErrors() const { return Has(ScanSwitch::kReportErrors); }
  // Any extra parameter for the engine at all (the daemon has its own).
  bool HasEngineOptions() const { return !databases.empty() || maxFileSize || maxScanSize; }
};

struct RequestResult {
  ScanRequest request;
  std::string error;  // the message to show; empty when the request is usable
  bool ok() const { return error.empty(); }
};

// Reads argv without the program name. Switches are matched without regard
// to case. Unknown switches, unknown extra parameters, "/report" or "/move"
// without a path and a scan with neither target nor drive switch are
// refused.
RequestResult ReadRequest(const std::vector<std::string>& args, PathStyle style);

// The notes for switches ClamAV cannot honour (/clean, /boot, /streams).
std::vector<std::string> UnsupportedSwitchNotes(const ScanRequest& request);

}  // namespace bridge
