// Error texts from the C library, and the box without a window system.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "support/error_box.h"
#include "support/shell_open.h"
#include "support/system_error.h"
#include "tests/support/test_support.h"

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

TEST(OpenWithShellPosix, TheOpenersFailureGivesItsReason) {
  using namespace testing_support;
  TempDir temp;
  const std::string report = temp.Join("scan.txt");
  WriteTextFile(report, "x");
  const std::string bin = temp.Join("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  const std::string opener = bin + "/xdg-open";
  const char* const path = std::getenv("PATH");
  const std::string oldPath = path ? path : "";
  SetEnv("PATH", bin);

  // No opener at all: the system's reason.
  SystemError error;
  EXPECT_FALSE(OpenWithShell(report, nullptr, &error));
  EXPECT_EQ(error.code, static_cast<SystemErrorCode>(ENOENT));
  EXPECT_EQ(error.description, "");

  // An opener that cannot open it: its exit status and its last words.
  WriteTextFile(opener, "#!/bin/sh\necho starting >&2\necho \"cannot open $1\" >&2\nexit 4\n");
  chmod(opener.c_str(), 0700);
  EXPECT_FALSE(OpenWithShell(report, nullptr, &error));
  EXPECT_EQ(FormatErrorBoxText("ShellExecute 失败", error),
            "ShellExecute 失败\n\n系统错误代码: 0x4\n系统错误信息: cannot open " + report);
  // Silent: the exit status is the reason.
  WriteTextFile(opener, "#!/bin/sh\nexit 3\n");
  EXPECT_FALSE(OpenWithShell(report, nullptr, &error));
  EXPECT_EQ(error.description, "xdg-open 退出状态 3");

  WriteTextFile(opener, "#!/bin/sh\nexit 0\n");
  EXPECT_TRUE(OpenWithShell(report, nullptr, &error));
  EXPECT_EQ(error.code, 0u);
  SetEnv("PATH", oldPath);
}
