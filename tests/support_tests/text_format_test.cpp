// The program's own formatter for its texts: what the C library's printf
// would give for every directive the texts use.
#include <gtest/gtest.h>

#include <string>

#include "base/text_format.h"

TEST(FormatText, GivesWhatPrintfGivesForTheTextsDirectives) {
  // A path may hold '%': it is taken as it stands, never as a directive.
  EXPECT_EQ(FormatText("CreateProcess(\"%s\") 失败.", "C:\\a%sb\\扫描 %u.exe"),
            "CreateProcess(\"C:\\a%sb\\扫描 %u.exe\") 失败.");
  EXPECT_EQ(FormatText("完成. 退出代码=%u. ", 4294967295u), "完成. 退出代码=4294967295. ");
  EXPECT_EQ(FormatText("%u|%u", 0u, 102u), "0|102");
  EXPECT_EQ(FormatText("0x%X 0x%x", 0xC000013Au, 0xC000013Au), "0xC000013A 0xc000013a");
  EXPECT_EQ(FormatText("%d %d %d", 0, -13, -2147483647 - 1), "0 -13 -2147483648");
  EXPECT_EQ(FormatText("100%% %s", ""), "100% ");
  const std::string longPath(40000, 'x');
  EXPECT_EQ(FormatText("[%s]", longPath.c_str()), "[" + longPath + "]");
}
