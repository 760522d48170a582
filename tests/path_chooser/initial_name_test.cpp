// The initial file name handed to the Windows file picker: a name that does
// not fit its 260-byte record is dropped whole, never cut (not even at a
// character boundary) and never written past the end.
#include <gtest/gtest.h>

#include <string>

#include "support/path_chooser.h"

namespace {

// "文" is three bytes in UTF-8 (one UTF-16 unit).
const std::string kChinese = "文";

}  // namespace

TEST(PrepareInitialFileName, KeepsNamesThatFitWithTheirZero) {
  EXPECT_EQ(PathChooser::PrepareInitialFileName(""), "");
  EXPECT_EQ(PathChooser::PrepareInitialFileName("C:\\Temp\\scan.txt"), "C:\\Temp\\scan.txt");
  const std::string longest(PathChooser::kInitialNameLimit - 1, 'a');
  EXPECT_EQ(PathChooser::PrepareInitialFileName(longest), longest);
}

TEST(PrepareInitialFileName, DropsNamesOfTheLimitOrLongerWhole) {
  EXPECT_EQ(PathChooser::PrepareInitialFileName(std::string(260, 'a')), "");
  EXPECT_EQ(PathChooser::PrepareInitialFileName(std::string(300, 'b')), "");
  EXPECT_EQ(PathChooser::PrepareInitialFileName("C:\\" + std::string(4000, 'c')), "");
}

TEST(PrepareInitialFileName, AChineseLastCharacterAtTheLimitIsNeverSplit) {
  // 256 + 3 = 259 bytes: fits with its zero, kept with all three bytes.
  const std::string fits = std::string(256, 'a') + kChinese;
  ASSERT_EQ(fits.size(), 259u);
  EXPECT_EQ(PathChooser::PrepareInitialFileName(fits), fits);

  // 257 + 3 = 260 bytes: the character's last byte would take the zero's
  // place. Neither the first 257 bytes (a different name) nor a name ending
  // in a part of the character comes back.
  const std::string straddles = std::string(257, 'a') + kChinese;
  EXPECT_EQ(PathChooser::PrepareInitialFileName(straddles), "");

  // The same with the character two bytes past the limit.
  const std::string beyond = std::string(258, 'a') + kChinese;
  EXPECT_EQ(PathChooser::PrepareInitialFileName(beyond), "");

  // Chinese all through: 86 characters (258 bytes) fit, 87 (261) do not.
  std::string chinese;
  for (int i = 0; i < 86; ++i) chinese += kChinese;
  EXPECT_EQ(PathChooser::PrepareInitialFileName(chinese), chinese);
  EXPECT_EQ(PathChooser::PrepareInitialFileName(chinese + kChinese), "");
}
