// The about box on the in-memory host: its text, focus and readme button.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/about_dialog.h"
#include "res/version.h"
#include "support/fs_helpers.h"
#include "tests/app/fake_desktop.h"
#include "tests/app/main_dialog_fixture.h"

namespace {

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  lines.push_back(text.substr(start));
  return lines;
}

TEST(AboutText, HasTenCrLfLinesInItsFixedShape) {
  const std::string text = AboutText();
  EXPECT_EQ(text.rfind("Quorvel v" QUORVEL_VERSION "\r\n", 0), 0u);
  EXPECT_NE(text.back(), '\n');
  // No lone line feed or carriage return.
  std::string rest = text;
  for (size_t at; (at = rest.find("\r\n")) != std::string::npos;) rest.erase(at, 2);
  EXPECT_EQ(rest.find_first_of("\r\n"), std::string::npos);

  const std::vector<std::string> lines = SplitCrLf(text);
  ASSERT_EQ(lines.size(), 10u);
  for (size_t empty : {1, 3, 6, 8}) EXPECT_EQ(lines[empty], "") << empty;
  for (size_t full : {0, 2, 4, 5, 7, 9}) EXPECT_FALSE(lines[full].empty()) << full;
  EXPECT_NE(lines[5].find("quorvel.txt"), std::string::npos);
}

TEST_F(MainDialogTest, AboutButtonShowsTheBoxModally) {
  Open();
  std::string aboutText;
  int focus = 0;
  ui::MemoryModalRunner modal([&](ui::Dialog&, ui::MemoryHost& about) {
    aboutText = about.GetItemText(IDC_ABOUT_TEXT);
    focus = about.FocusedItem();
    EXPECT_EQ(about.Title(), "关于");
    about.Click(IDOK);
  });
  host->Click(IDC_ABOUT);
  EXPECT_EQ(modal.Runs(), 1);
  EXPECT_EQ(aboutText, AboutText());
  EXPECT_EQ(focus, IDOK);
}

TEST(AboutDialog, ReadmeOpensTheFileBesideTheProgramAndStaysOpenOnFailure) {
  FakeDesktop desktop;
  ModalAnswers answers;
  AboutDialog about(desktop);
  ui::MemoryHost host(about);
  host.Open();
  const std::string readme = GetModuleRelativePath("quorvel.txt");

  host.Click(IDC_README);  // no quorvel.txt beside the test program
  EXPECT_EQ(desktop.opened, std::vector<std::string>{readme});
  ASSERT_EQ(answers.Opened(ModalKind::ErrorBox).size(), 1u);
  EXPECT_EQ(answers.Opened(ModalKind::ErrorBox)[0].text.rfind(
                "ShellExecute 文件=\"" + readme + "\" 失败", 0),
            0u);
  EXPECT_FALSE(host.IsEnded());

  testing_support::WriteTextFile(readme, "readme");
  host.Click(IDC_README);
  host.Click(IDC_README);  // twice opens twice
  std::filesystem::remove(testing_support::FsPath(readme));
  EXPECT_EQ(desktop.opened.size(), 3u);
  EXPECT_EQ(answers.Opened(ModalKind::ErrorBox).size(), 1u);
  host.PressEscape();
  EXPECT_TRUE(host.IsEnded());
}

}  // namespace
