// The report group (enabling, View, Delete, opening after a scan) and the
// three browse buttons, on the in-memory host.
#include <cstdlib>
#include <filesystem>

#include "tests/app/main_dialog_fixture.h"

namespace {

using testing_support::FileExists;
using testing_support::SetEnv;
using testing_support::WriteTextFile;

constexpr int kReportOptions[] = {IDC_REPORT_FILE,    IDC_BROWSE_REPORT, IDC_APPEND,
                                  IDC_RPT_ALL,        IDC_RPT_CORRUPT,   IDC_RPT_ERRORS,
                                  IDC_VIEW_AFTER_SCAN};

TEST_F(MainDialogTest, ReportToggleGreysTheGroupButKeepsItsState) {
  WriteTextFile(temp.Join("scan.txt"), "x");
  Open();
  host->Click(IDC_APPEND);
  host->Click(IDC_REPORT);  // off
  for (int id : kReportOptions) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_FALSE(Enabled(IDC_VIEW_REPORT));
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
  EXPECT_TRUE(Enabled(IDC_REPORT));
  EXPECT_EQ(Check(IDC_APPEND), 1);
  EXPECT_EQ(Check(IDC_RPT_ERRORS), 1);
  EXPECT_EQ(Text(IDC_REPORT_FILE), temp.Join("scan.txt"));

  host->Click(IDC_REPORT);  // on again, path kept
  for (int id : kReportOptions) EXPECT_TRUE(Enabled(id)) << id;
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
  EXPECT_EQ(Text(IDC_REPORT_FILE), temp.Join("scan.txt"));
}

TEST_F(MainDialogTest, ClearedReportPathIsFilledInAgainWhenTurnedOn) {
  Open();
  host->Type(IDC_REPORT_FILE, "");
  host->Click(IDC_REPORT);
  EXPECT_EQ(Text(IDC_REPORT_FILE), "");
  host->Click(IDC_REPORT);
  EXPECT_EQ(Text(IDC_REPORT_FILE), temp.Join("scan.txt"));
}

TEST_F(MainDialogTest, ViewAndDeleteFollowWhatThePathNames) {
  Open();
  std::filesystem::create_directory(testing_support::FsPath(temp.Join("dir.txt")));
  WriteTextFile(temp.Join("found.log"), "x");
  const struct {
    std::string path;
    bool enabled;
  } cases[] = {
      {temp.Join("found.log"), true},    {temp.Join("dir.txt"), false},
      {temp.Join("missing.txt"), false}, {temp.Join("*.txt"), false},  // only a directory matches
      {temp.Join("*.log"), true},        {temp.Join("f?und.*"), true},
  };
  for (const auto& c : cases) {
    host->Type(IDC_REPORT_FILE, c.path);
    EXPECT_EQ(Enabled(IDC_VIEW_REPORT), c.enabled) << c.path;
    EXPECT_EQ(Enabled(IDC_DELETE_REPORT), c.enabled) << c.path;
  }
}

TEST_F(MainDialogTest, DeleteAsksAndDeletesOnlyOnYes) {
  const std::string report = temp.Join("scan.txt");
  WriteTextFile(report, "x");
  Open();
  host->Click(IDC_DELETE_REPORT);  // answered No
  ASSERT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Questions()[0].text, "删除报告文件\r\n\"" + report + "\"?");
  EXPECT_EQ(Questions()[0].caption, "删除报告文件?");
  EXPECT_TRUE(FileExists(report));
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
  EXPECT_TRUE(desktop.removed.empty());

  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  EXPECT_FALSE(FileExists(report));
  EXPECT_FALSE(Enabled(IDC_VIEW_REPORT));
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
  EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(MainDialogTest, FailedDeleteShowsTheSystemErrorAndRefreshesTheButtons) {
  // A pattern is no file name: the delete fails, as a locked file would.
  WriteTextFile(temp.Join("a.txt"), "x");
  Open();
  host->Type(IDC_REPORT_FILE, temp.Join("*.txt"));
  ASSERT_TRUE(Enabled(IDC_DELETE_REPORT));
  // The buttons are refreshed after the failure: make the pattern match
  // nothing while the error box is open.
  answers.WhileOpen(ModalKind::ErrorBox,
                    [&] { std::filesystem::remove(testing_support::FsPath(temp.Join("a.txt"))); });
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  EXPECT_EQ(ErrorBoxes()[0].text.rfind("DeleteFile 失败\n\n系统错误代码: 0x", 0), 0u)
      << ErrorBoxes()[0].text;
  EXPECT_EQ(ErrorBoxes()[0].caption, "错误信息...");
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(MainDialogTest, ViewOpensTheReportAndReportsAFailure) {
  const std::string report = temp.Join("scan.txt");
  WriteTextFile(report, "x");
  Open();
  host->Click(IDC_VIEW_REPORT);
  EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
  EXPECT_TRUE(ErrorBoxes().empty());

  // The file vanished behind the window's back: the buttons stay as they
  // were, and opening fails with the path in the box.
  std::filesystem::remove(testing_support::FsPath(report));
  host->Click(IDC_VIEW_REPORT);
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  EXPECT_EQ(ErrorBoxes()[0].text.rfind("ShellExecute 文件=\"" + report + "\" 失败", 0), 0u);
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
}

// Where "~" is the home folder the scan writes the report there: View and
// Delete act on that file.
TEST_F(MainDialogTest, ViewAndDeleteFindAReportUnderTheHomeFolder) {
  if (kPathSeparator != '/') GTEST_SKIP() << "\"~\" names no folder on Windows";
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  SetEnv("HOME", temp.path());
  const std::string report = temp.Join("scan.txt");
  WriteTextFile(report, "x");
  Open();
  host->Type(IDC_REPORT_FILE, "~/scan.txt");
  host->Click(IDC_VIEW_REPORT);
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  SetEnv("HOME", savedHome);
  EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
  ASSERT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Questions()[0].text, "删除报告文件\r\n\"" + report + "\"?");
  EXPECT_FALSE(FileExists(report));
}

class MainDialogAfterScanTest : public MainDialogTest {
 protected:
  void SetUp() override {
    MainDialogTest::SetUp();
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", temp.Join("record.txt"));
  }
};

TEST_F(MainDialogAfterScanTest, TheReportWrittenByTheScannerIsOpenedOnce) {
  Open();
  host->Click(IDC_SCAN);
  ASSERT_TRUE(WaitForScanEnd());
  EXPECT_EQ(desktop.opened, std::vector<std::string>{temp.Join("scan.txt")});
  EXPECT_TRUE(ErrorBoxes().empty());
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(MainDialogAfterScanTest, AMissingReportGivesTheErrorBoxAfterTheDoneText) {
  const std::string release = temp.Join("release");
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
  Open();
  host->Click(IDC_REPORT);  // off: the scanner writes no report...
  std::string statusWhenBoxShown;
  answers.WhileOpen(ModalKind::ErrorBox, [&] { statusWhenBoxShown = Text(IDC_STATUS); });
  host->Click(IDC_SCAN);
  ASSERT_TRUE(host->RunUntil([&] { return host->TextHistory(IDC_STATUS).size() == 2; }));
  host->Click(IDC_REPORT);  // ...but the box is on again when the scan ends
  WriteTextFile(release, "");
  ASSERT_TRUE(WaitForScanEnd());
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  EXPECT_EQ(statusWhenBoxShown, "完成. 退出代码=0. 没有发现");
}

TEST_F(MainDialogAfterScanTest, APathEditedDuringTheScanIsTheOneOpened) {
  const std::string release = temp.Join("release");
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
  const std::string other = temp.Join("other.txt");
  WriteTextFile(other, "x");
  Open();
  host->Click(IDC_SCAN);
  ASSERT_TRUE(host->RunUntil([&] { return host->TextHistory(IDC_STATUS).size() == 2; }));
  host->Type(IDC_REPORT_FILE, other);
  WriteTextFile(release, "");
  ASSERT_TRUE(WaitForScanEnd());
  EXPECT_EQ(desktop.opened, std::vector<std::string>{other});
}

TEST_F(MainDialogTest, BrowseButtonsSetTheirFieldAndRunItsRule) {
  Open();
  answers.ChooseFolder(temp.path());
  host->Click(IDC_BROWSE_TARGET);
  ASSERT_EQ(answers.Opened(ModalKind::FolderPicker).size(), 1u);
  EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[0].caption, "选择扫描目录");
  EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[0].text, "");
  EXPECT_EQ(Text(IDC_TARGET), temp.path());
  EXPECT_EQ(Check(IDC_SUBDIRS), 1);
  EXPECT_EQ(Check(IDC_ALL_LOCAL_DRIVES), 0);

  host->Click(IDC_MOVE);
  answers.ChooseFolder(temp.Join("q"));
  host->Click(IDC_BROWSE_MOVE_DIR);
  EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[1].caption, "选择目录");
  EXPECT_EQ(Text(IDC_MOVE_DIR), temp.Join("q"));

  const std::string chosen = temp.Join("chosen.txt");
  WriteTextFile(chosen, "x");
  answers.ChooseFile(chosen);
  host->Click(IDC_BROWSE_REPORT);
  EXPECT_EQ(TextsOf(answers.Opened(ModalKind::FilePicker)),
            std::vector<std::string>{temp.Join("scan.txt")});
  EXPECT_EQ(Text(IDC_REPORT_FILE), chosen);
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));  // the buttons followed the new path
}

TEST_F(MainDialogTest, CancelledBrowsingChangesNothing) {
  Open();
  host->Type(IDC_TARGET, "typed");
  host->Click(IDC_ALL_NET_DRIVES);
  host->Click(IDC_BROWSE_TARGET);
  EXPECT_EQ(answers.Opened(ModalKind::FolderPicker).at(0).text, "typed");
  EXPECT_EQ(Text(IDC_TARGET), "typed");
  EXPECT_EQ(Check(IDC_ALL_NET_DRIVES), 1);  // the target rule did not run
  host->Click(IDC_BROWSE_REPORT);
  EXPECT_EQ(Text(IDC_REPORT_FILE), temp.Join("scan.txt"));
}

}  // namespace
