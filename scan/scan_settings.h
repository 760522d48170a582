// The values a scan request reads from the main window.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "resource_ids.h"

// The scanner switches, in the order in which they are added to the line.
struct ScanSwitch {
  int controlId;
  const char* text;  // begins with one space
};

inline constexpr std::array<ScanSwitch, 17> kScanSwitches = {{
    {IDC_ALL_DRIVES, " /ad"},
    {IDC_ALL_LOCAL_DRIVES, " /adl"},
    {IDC_ALL_NET_DRIVES, " /adn"},
    {IDC_CLEAN, " /clean"},
    {IDC_BOOT_ONLY, " /boot"},
    {IDC_DELETE, " /del"},
    {IDC_APPEND, " /append"},
    {IDC_MIME, " /mime"},
    {IDC_SUBDIRS, " /sub"},
    {IDC_ARCHIVES, " /unzip"},
    {IDC_ALL_EXTENSIONS, " /all"},
    {IDC_RPT_ALL, " /rptall"},
    {IDC_RPT_CORRUPT, " /rptcor"},
    {IDC_RPT_ERRORS, " /rpterr"},
    {IDC_STREAMS, " /streams"},
    {IDC_VIRUS_LIST, " /virlist"},
    {IDC_NO_OFFICE, " /nodoc"},
}};

struct ScanSettings {
  std::string target;
  // switchOn[i] is the state of kScanSwitches[i]'s check box.
  std::array<bool, kScanSwitches.size()> switchOn{};
  bool reportToFile = false;
  std::string reportPath;
  bool moveInfected = false;
  std::string moveDirectory;
  std::string extraArgs;

  // Sets or reads a switch by its check box id; ids outside the table are ignored.
  void SetSwitch(int controlId, bool on);
  bool IsSwitchOn(int controlId) const;
  bool AppendToReport() const { return IsSwitchOn(IDC_APPEND); }
};
