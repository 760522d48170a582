// The reasons the bridge prints for a failed operation.
#include "bridge/error_reason.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include "base/system_error.h"
#endif

TEST(BridgeErrorReason, CommonReasonsInChineseTheRestAsTheSystemSaysThem) {
  EXPECT_EQ(bridge::ErrnoReason(ENOENT), "不存在");
  EXPECT_EQ(bridge::ErrnoReason(EPERM), "没有权限");
  // errno values the bridge has no words for, known or not, in the C library's.
  // (strerror's text for an unknown value lasts only until its next call.)
  for (const int value : {EPIPE, 99999}) {
    const std::string expected = std::strerror(value);
    EXPECT_EQ(bridge::ErrnoReason(value), expected);
  }
#ifdef _WIN32
  EXPECT_EQ(bridge::WindowsErrorReason(ERROR_SHARING_VIOLATION), "正在被其他程序使用");
  // The system's own text on one line, then the code; an undescribed code
  // still names itself.
  std::string system = SystemErrorText(ERROR_INVALID_FUNCTION);
  ASSERT_FALSE(system.empty());
  while (system.back() == '\r' || system.back() == '\n') system.pop_back();
  EXPECT_EQ(bridge::WindowsErrorReason(ERROR_INVALID_FUNCTION), system + " (1)");
  EXPECT_EQ(bridge::WindowsErrorReason(0x2A5F0D1), " (44429521)");
#endif
}
