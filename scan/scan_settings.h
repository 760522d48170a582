// The values a scan request reads from the main window.
#pragma once

#include <array>
#include <string>

#include "base/scan_switches.h"

struct ScanSettings {
  std::string target;
  // switchOn[i] is the state of kScanSwitches[i].
  std::array<bool, kScanSwitches.size()> switchOn{};
  bool reportToFile = false;
  std::string reportPath;
  bool moveInfected = false;
  std::string moveDirectory;
  std::string extraArgs;

  void SetSwitch(ScanSwitch id, bool on) { switchOn[SwitchIndex(id)] = on; }
  bool IsSwitchOn(ScanSwitch id) const { return switchOn[SwitchIndex(id)]; }
  bool AppendToReport() const { return IsSwitchOn(ScanSwitch::kAppend); }
};
