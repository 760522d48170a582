// The main window's check box for each scanner switch, in the switches' order.
// IDC_REMOVE_MACROS stands for no switch and is not listed.
#pragma once

#include <array>
#include <cstddef>

#include "base/scan_switches.h"
#include "res/resource_ids.h"

struct SwitchBox {
  ScanSwitch id;
  int controlId;
};

inline constexpr std::array<SwitchBox, kScanSwitches.size()> kSwitchBoxes = {{
    {ScanSwitch::kAllDrives, IDC_ALL_DRIVES},
    {ScanSwitch::kAllLocalDrives, IDC_ALL_LOCAL_DRIVES},
    {ScanSwitch::kAllNetDrives, IDC_ALL_NET_DRIVES},
    {ScanSwitch::kClean, IDC_CLEAN},
    {ScanSwitch::kBootOnly, IDC_BOOT_ONLY},
    {ScanSwitch::kDelete, IDC_DELETE},
    {ScanSwitch::kAppend, IDC_APPEND},
    {ScanSwitch::kMime, IDC_MIME},
    {ScanSwitch::kSubdirs, IDC_SUBDIRS},
    {ScanSwitch::kArchives, IDC_ARCHIVES},
    {ScanSwitch::kAllExtensions, IDC_ALL_EXTENSIONS},
    {ScanSwitch::kReportAll, IDC_RPT_ALL},
    {ScanSwitch::kReportCorrupt, IDC_RPT_CORRUPT},
    {ScanSwitch::kReportErrors, IDC_RPT_ERRORS},
    {ScanSwitch::kStreams, IDC_STREAMS},
    {ScanSwitch::kVirusList, IDC_VIRUS_LIST},
    {ScanSwitch::kNoOffice, IDC_NO_OFFICE},
}};

// Every switch has its own box, once and in the switches' order: a row left
// out would compile, filled in as {kAllDrives, 0}, and read a box that is not
// there.
static_assert([] {
  for (size_t i = 0; i < kSwitchBoxes.size(); ++i) {
    if (kSwitchBoxes[i].id != kScanSwitches[i].id || kSwitchBoxes[i].controlId == 0) return false;
    for (size_t j = 0; j < i; ++j)
      if (kSwitchBoxes[j].controlId == kSwitchBoxes[i].controlId) return false;
  }
  return true;
}());
