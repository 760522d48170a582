// Scans run from the main window with the fake scanner beside the test
// program: the line it received, the status line, the Scan button.
#include <thread>

#include "tests/app/main_dialog_fixture.h"

namespace {

using testing_support::ReadFakeScannerRecord;
using testing_support::SetEnv;

class MainDialogScanTest : public MainDialogTest {
 protected:
  void SetUp() override {
    MainDialogTest::SetUp();
    record = temp.Join("record.txt");
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", record);
  }

  std::vector<std::string> StatusTexts() const { return host->TextHistory(IDC_STATUS); }

  std::string record;
};

TEST_F(MainDialogScanTest, ScanButtonRunsTheScannerWithTheWindowsSettings) {
  Open();
  const std::string target = temp.Join("目标 文件夹");
  host->Type(IDC_TARGET, target);
  host->Click(IDC_ARCHIVES);
  host->Type(IDC_EXTRA_ARGS, "-x \"a b\"");
  host->Click(IDC_SCAN);
  ASSERT_TRUE(WaitForScanEnd());

  const testing_support::FakeScannerRun run = ReadFakeScannerRecord(record);
  const std::vector<std::string> expected = {
      target, "/sub", "/unzip", "/rptcor", "/rpterr", "/report", Text(IDC_REPORT_FILE),
      "-x",   "a b"};
  EXPECT_EQ(run.arguments, expected);
  EXPECT_EQ(StatusTexts(),
            (std::vector<std::string>{"执行中", "运行中", "完成. 退出代码=0. 没有发现"}));
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

TEST_F(MainDialogScanTest, QuotesInNamesReachTheScannerUnchanged) {
  if (!kNamesMayHoldQuotes) GTEST_SKIP() << "Windows names cannot hold a double quote";
  // A backslash before a quote and one at the end, too: all literal on Linux.
  const std::string target = temp.Join("a\"b\\\"c\\");
  const std::string report = temp.Join("rep\"ort.txt");
  testing_support::WriteTextFile(report, "old");
  Open();
  host->Type(IDC_TARGET, target);
  host->Type(IDC_REPORT_FILE, report);
  host->Click(IDC_MOVE);
  host->Type(IDC_MOVE_DIR, temp.path());
  answers.AnswerQuestions({true});
  host->Click(IDC_SCAN);
  ASSERT_TRUE(WaitForScanEnd());
  // The question named the file the scanner then got.
  ASSERT_EQ(Questions().size(), 1u);
  EXPECT_NE(Questions()[0].text.find(report), std::string::npos);
  EXPECT_EQ(ReadFakeScannerRecord(record).arguments,
            (std::vector<std::string>{target, "/sub", "/rptcor", "/rpterr", "/report", report,
                                      "/move", temp.path()}));
}

TEST_F(MainDialogScanTest, EnterAndTheOkCommandStartAScan) {
  Open();
  host->PressEnter();
  ASSERT_TRUE(WaitForScanEnd());
  EXPECT_EQ(StatusTexts().size(), 3u);
  answers.AnswerQuestions({true});  // overwrite the report of the first scan
  dialog.Dispatch(ui::Event::Clicked, IDOK);
  ASSERT_TRUE(WaitForScanEnd());
  EXPECT_EQ(StatusTexts().size(), 6u);
  EXPECT_FALSE(host->IsEnded());
}

TEST_F(MainDialogScanTest, ScanIsGreyedOnlyWhileTheScannerRuns) {
  const std::string release = temp.Join("release");
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
  Open();
  host->Click(IDC_SCAN);
  ASSERT_TRUE(host->RunUntil([&] { return StatusTexts().size() == 2; }));
  EXPECT_EQ(StatusTexts().back(), "运行中");
  EXPECT_FALSE(Enabled(IDC_SCAN));
  // Enter does nothing while the default button is greyed; a second request
  // through IDOK is refused by the busy runner.
  host->PressEnter();
  dialog.Dispatch(ui::Event::Clicked, IDOK);
  for (int id : {IDC_TARGET, IDC_REPORT, IDC_MOVE, IDC_EXTRA_ARGS, IDCANCEL})
    EXPECT_TRUE(Enabled(id)) << id;

  testing_support::WriteTextFile(release, "");
  ASSERT_TRUE(WaitForScanEnd());
  EXPECT_TRUE(Enabled(IDC_SCAN));
  EXPECT_EQ(StatusTexts(),
            (std::vector<std::string>{"执行中", "运行中", "完成. 退出代码=0. 没有发现"}));
}

struct VerdictCase {
  const char* exitSetting;
  const char* status;
};

class MainDialogVerdictTest : public MainDialogScanTest,
                              public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(MainDialogVerdictTest, StatusLineShowsTheExitCodeAndVerdict) {
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", GetParam().exitSetting);
  Open();
  host->Click(IDC_SCAN);
  ASSERT_TRUE(WaitForScanEnd());
  EXPECT_EQ(Text(IDC_STATUS), GetParam().status);
  for (const std::string& shown : StatusTexts()) {
    EXPECT_NE(shown, "_THREAD_START_");
    EXPECT_NE(shown, "_THREAD_DONE_");
  }
}

INSTANTIATE_TEST_SUITE_P(
    ExitCodes, MainDialogVerdictTest,
    ::testing::Values(VerdictCase{"0", "完成. 退出代码=0. 没有发现"},
                      VerdictCase{"102", "完成. 退出代码=102. 停止执行"},
                      VerdictCase{"13", "完成. 退出代码=13. "},
                      VerdictCase{testing_support::FakeScannerCrashSetting(),
                                  "完成. 退出代码=3221225786. 没有退出代码，崩溃了?"}));

TEST_F(MainDialogScanTest, AScannerThatCannotStartEndsWithTheFailureCode) {
  desktop.temporaryDirectory.clear();  // no report: no error box after the scan
  Open();
  // The runner's code before any scan is the failed-start value: the window
  // shows what the end marker of a failed start shows.
  dialog.OnScanStatus("CreateProcess(\"x\") 失败.");
  dialog.OnScanStatus("_THREAD_DONE_");
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=4294967295. ");
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

TEST_F(MainDialogScanTest, AScanRequestDuringTheEndReportIsRefused) {
  // The after-scan opening of a missing report shows an error box; a Scan
  // request made while it is open finds the runner still busy.
  Open();
  host->Type(IDC_REPORT_FILE, temp.Join("no folder") + kSeparator + "scan.txt");
  answers.WhileOpen(ModalKind::ErrorBox, [&] {
    EXPECT_TRUE(Enabled(IDC_SCAN));
    dialog.Dispatch(ui::Event::Clicked, IDC_SCAN);
  });
  host->Click(IDC_SCAN);
  ASSERT_TRUE(WaitForScanEnd());
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  host->RunUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_EQ(StatusTexts().size(), 3u);
}

TEST_F(MainDialogScanTest, ClosingDuringAScanLeavesTheScannerRunning) {
  const std::string release = temp.Join("release");
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
  {
    auto dialogOnHeap = std::make_unique<MainDialog>(desktop);
    auto closingHost = std::make_unique<ui::MemoryHost>(*dialogOnHeap);
    closingHost->Open();
    closingHost->Click(IDC_SCAN);
    ASSERT_TRUE(
        closingHost->RunUntil([&] { return closingHost->TextHistory(IDC_STATUS).size() == 2; }));
    closingHost->PressEscape();
    ASSERT_TRUE(closingHost->IsEnded());
    // The window and its runner go away while the worker waits for the scanner.
    closingHost.reset();
    dialogOnHeap.reset();
  }
  // The scanner is still there and gets to finish its work.
  testing_support::WriteTextFile(release, "");
  for (int i = 0; i < 200 && !testing_support::FileExists(record); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_TRUE(testing_support::FileExists(record));
  // Give the worker time to send its last reports into the closed channel.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

}  // namespace
