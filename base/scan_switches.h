// The scanner's switches, in the order in which they follow the target on its
// command line. The scan job names them by ScanSwitch, the ClamAV bridge reads
// their texts; which check box stands for which switch is the window's
// business (app/switch_boxes.h).
#pragma once

#include <array>
#include <cstddef>

enum class ScanSwitch {
  kAllDrives,
  kAllLocalDrives,
  kAllNetDrives,
  kClean,
  kBootOnly,
  kDelete,
  kAppend,
  kMime,
  kSubdirs,
  kArchives,
  kAllExtensions,
  kReportAll,
  kReportCorrupt,
  kReportErrors,
  kStreams,
  kVirusList,
  kNoOffice,
};

struct ScanSwitchEntry {
  ScanSwitch id;
  const char* text;  // begins with one space
};

inline constexpr std::array<ScanSwitchEntry, 17> kScanSwitches = {{
    {ScanSwitch::kAllDrives, " /ad"},
    {ScanSwitch::kAllLocalDrives, " /adl"},
    {ScanSwitch::kAllNetDrives, " /adn"},
    {ScanSwitch::kClean, " /clean"},
    {ScanSwitch::kBootOnly, " /boot"},
    {ScanSwitch::kDelete, " /del"},
    {ScanSwitch::kAppend, " /append"},
    {ScanSwitch::kMime, " /mime"},
    {ScanSwitch::kSubdirs, " /sub"},
    {ScanSwitch::kArchives, " /unzip"},
    {ScanSwitch::kAllExtensions, " /all"},
    {ScanSwitch::kReportAll, " /rptall"},
    {ScanSwitch::kReportCorrupt, " /rptcor"},
    {ScanSwitch::kReportErrors, " /rpterr"},
    {ScanSwitch::kStreams, " /streams"},
    {ScanSwitch::kVirusList, " /virlist"},
    {ScanSwitch::kNoOffice, " /nodoc"},
}};

// A switch's place in kScanSwitches (and in the line).
constexpr size_t SwitchIndex(ScanSwitch id) { return static_cast<size_t>(id); }

// The enumeration runs in the table's order, so a switch is its own index.
static_assert([] {
  for (size_t i = 0; i < kScanSwitches.size(); ++i)
    if (SwitchIndex(kScanSwitches[i].id) != i) return false;
  return true;
}());
