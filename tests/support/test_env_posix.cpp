#include <cstdlib>

#include "tests/support/test_support.h"

namespace testing_support {

void SetEnv(const std::string& name, const std::string& value) {
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
}

const char* FakeScannerCrashSetting() { return "signal:9"; }

}  // namespace testing_support
