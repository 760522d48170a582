#include <cstdlib>

#include "tests/support/test_support.h"

namespace testing_support {

void SetEnv(const std::string& name, const std::string& value) {
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
  if (const char* now = std::getenv(name.c_str())) saved_ = now;
  SetEnv(name, value);
}

ScopedEnv::~ScopedEnv() {
  if (saved_)
    setenv(name_.c_str(), saved_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

const char* FakeScannerCrashSetting() { return "signal:9"; }

}  // namespace testing_support
