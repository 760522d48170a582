#include "scan_settings.h"

namespace {

int SwitchIndex(int controlId) {
  for (size_t i = 0; i < kScanSwitches.size(); ++i)
    if (kScanSwitches[i].controlId == controlId) return static_cast<int>(i);
  return -1;
}

}  // namespace

void ScanSettings::SetSwitch(int controlId, bool on) {
  const int index = SwitchIndex(controlId);
  if (index >= 0) switchOn[static_cast<size_t>(index)] = on;
}

bool ScanSettings::IsSwitchOn(int controlId) const {
  const int index = SwitchIndex(controlId);
  return index >= 0 && switchOn[static_cast<size_t>(index)];
}
