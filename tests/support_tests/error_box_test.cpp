// The error box's text and caption, seen through the modal seam, and the
// system error values that reach it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/error_box.h"
#include "base/system_error.h"
#include "support/modal_answers.h"
#include "support/shell_open.h"
#include "tests/support/test_support.h"

namespace {

// A code no system describes.
constexpr SystemErrorCode kUndescribedCode = 0x2A5F0D1;

}  // namespace

TEST(FormatErrorBoxText, AppendsTheCodeAndTheSystemsDescription) {
  // 2 is "file not found" on both systems.
  const std::string description = SystemErrorText(2);
  ASSERT_FALSE(description.empty());
  EXPECT_EQ(FormatErrorBoxText("创建目录失败", 2),
            "创建目录失败\n\n系统错误代码: 0x2\n系统错误信息: " + description);

  // Upper-case hexadecimal without leading zeros.
  const std::string other = SystemErrorText(123);
  ASSERT_FALSE(other.empty());
  EXPECT_EQ(FormatErrorBoxText("DeleteFile 失败", 123),
            "DeleteFile 失败\n\n系统错误代码: 0x7B\n系统错误信息: " + other);
}

TEST(FormatErrorBoxText, ShowsTheTextAloneWithoutAnErrorOrItsDescription) {
  EXPECT_EQ(FormatErrorBoxText("创建目录失败", 0), "创建目录失败");
  EXPECT_EQ(SystemErrorText(kUndescribedCode), "");
  // Not even the code is shown when the system cannot describe it.
  EXPECT_EQ(FormatErrorBoxText("DeleteFile 失败", kUndescribedCode), "DeleteFile 失败");
  // A "%" in the caller's text is shown as it is.
  EXPECT_EQ(FormatErrorBoxText("ShellExecute 文件=\"100%s.txt\" 失败", 0),
            "ShellExecute 文件=\"100%s.txt\" 失败");
}

TEST(ErrorBox, ShowsTheFullTextUnderTheErrorCaption) {
  ModalAnswers answers;
  ShowErrorBox("DeleteFile 失败", 2);
  ShowErrorBox("创建目录失败", 0);
  const std::vector<ModalBox> shown = answers.Opened(ModalKind::ErrorBox);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "错误信息...");
  EXPECT_EQ(shown[0].text, FormatErrorBoxText("DeleteFile 失败", 2));
  EXPECT_NE(shown[0].text, "DeleteFile 失败");
  EXPECT_EQ(shown[1].caption, "错误信息...");
  EXPECT_EQ(shown[1].text, "创建目录失败");
}

TEST(OpenWithShell, FailsForAMissingFileWithAnError) {
  testing_support::TempDir temp;
  SystemError error;
  EXPECT_FALSE(OpenWithShell(temp.Join("missing.txt"), nullptr, &error));
  EXPECT_NE(error.code, 0u);
}
