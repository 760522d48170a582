#include <windows.h>

#include "test_support.h"
#include "utf_win.h"

namespace testing_support {

void SetEnv(const std::string& name, const std::string& value) {
  SetEnvironmentVariableW(Widen(name).c_str(), value.empty() ? nullptr : Widen(value).c_str());
}

const char* FakeScannerCrashSetting() { return "0xC000013A"; }

}  // namespace testing_support
