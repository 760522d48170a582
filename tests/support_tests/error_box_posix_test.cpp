// Error texts from the C library, and the box without a window system.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/error_box.h"
#include "base/system_error.h"

TEST(SystemErrorTextPosix, DescribesKnownErrnoValuesOnly) {
  // The tests run in the "C" locale, where the texts are the C library's own.
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  EXPECT_EQ(SystemErrorText(0), "");
  EXPECT_EQ(SystemErrorText(100000), "");
  EXPECT_EQ(SystemErrorText(0xFFFFFFFF), "");
}

TEST(ShowErrorBoxPosix, WritesToTheTerminalWithoutAWindowSystem) {
  testing::internal::CaptureStderr();
  ShowErrorBox("DeleteFile 失败", ENOENT);
  const std::string output = testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("错误信息..."), std::string::npos) << output;
  EXPECT_NE(output.find("DeleteFile 失败\n\n系统错误代码: 0x2\n系统错误信息: No such file"),
            std::string::npos)
      << output;
}
