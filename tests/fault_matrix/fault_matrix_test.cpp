// The cases of the fault matrix that look the same on every system.
#include <gmock/gmock.h>

#include "scan/scan_command.h"
#include "scan/scanner_process.h"
#include "tests/fault_matrix/fault_matrix_fixture.h"
#include "tests/support/test_support.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;
using testing_support::DirectoryExists;
using testing_support::FileExists;
using testing_support::ReadTextFile;
using testing_support::SetEnv;
using testing_support::WriteTextFile;

constexpr char kSep = kPathSeparator;

// A folder path of at least length characters below base, made of
// components with blanks and Chinese in them.
std::string LongPathBelow(const std::string& base, size_t length) {
  std::string path = base;
  for (int i = 0; path.size() < length; ++i)
    path += kSep + std::string("很长的路径 long folder ") + std::to_string(i);
  return path;
}

bool MakeFolders(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(testing_support::FsPath(path), error);
  return !error;
}

TEST_F(FaultMatrixTest, ScannerMissingEndsWithTheFailedStartAndTheNextScanWorks) {
  RemoveScanner();
  Open();
  const std::string report = Text(IDC_REPORT_FILE);
  ASSERT_TRUE(ScanAndWait());

  // The start failure shows, then the done text with the failed-start code
  // and no verdict: never "nothing found".
  const std::string line = ScannerPath() + " /adl /rptcor /rpterr /report " + report;
  EXPECT_EQ(StatusTexts(),
            (std::vector<std::string>{"执行中", "CreateProcess(\"" + line + "\") 失败.",
                                      "完成. 退出代码=4294967295. "}));
  EXPECT_TRUE(Enabled(IDC_SCAN));
  // Opening the report after the scan finds none: said so in the error box.
  EXPECT_THAT(ErrorTexts(), testing::ElementsAre(StartsWith("ShellExecute 文件=\"" + report)));
  EXPECT_FALSE(FileExists(report));

  // The runner is not stuck: with the scanner back, the next scan runs.
  InstallScanner();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=0. 没有发现");
  EXPECT_TRUE(FileExists(report));
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
}

TEST_F(FaultMatrixTest, ScannerWithoutAnExitCodeOfItsOwnIsShownAsACrash) {
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", testing_support::FakeScannerCrashSetting());
  Open();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=3221225786. 没有退出代码，崩溃了?");
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

TEST_F(FaultMatrixTest, QuarantinePathThroughAFileFailsThereAndKeepsTheFile) {
  const std::string blocker = temp.Join("隔离区");
  WriteTextFile(blocker, "not a folder");
  const std::string quarantine = blocker + kSep + "病毒";
  Open();
  host->Click(IDC_MOVE);
  host->Type(IDC_MOVE_DIR, quarantine);
  answers.AnswerQuestions({true});  // create it
  host->Click(IDC_SCAN);
  host->RunUntil([] { return false; }, std::chrono::milliseconds(200));

  ASSERT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Questions()[0].text, "Directory \"" + quarantine + "\"\r\n不存在,是否创建?");
  // The failure is reported with the system's reason; no scan starts.
  EXPECT_THAT(ErrorTexts(),
              testing::ElementsAre(testing::AllOf(StartsWith("创建目录失败\n\n系统错误代码: 0x"),
                                                  HasSubstr("\n系统错误信息: "))));
  EXPECT_TRUE(StatusTexts().empty());
  EXPECT_FALSE(FileExists(record));
  EXPECT_TRUE(dialog.Runner().IsIdle());
  EXPECT_EQ(ReadTextFile(blocker), "not a folder");
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

TEST_F(FaultMatrixTest, QuarantinePathThatIsAFileIsNotReplaced) {
  const std::string blocker = temp.Join("quarantine");
  WriteTextFile(blocker, "a file, not a folder");
  Open();
  host->Click(IDC_MOVE);
  host->Type(IDC_MOVE_DIR, blocker);
  answers.AnswerQuestions({true});
  host->Click(IDC_SCAN);
  host->RunUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_THAT(ErrorTexts(), testing::ElementsAre(StartsWith("创建目录失败\n\n系统错误代码: 0x")));
  EXPECT_TRUE(StatusTexts().empty());
  EXPECT_EQ(ReadTextFile(blocker), "a file, not a folder");
}

TEST_F(FaultMatrixTest, DeletingAWildcardReportPathDeletesNoMatchingFile) {
  // View and Delete are offered because the pattern matches files; the
  // delete takes the text literally and must not remove what it matches.
  const std::string folder = temp.Join("报告");
  ASSERT_TRUE(MakeFolders(folder));
  WriteTextFile(folder + kSep + "a.txt", "a");
  WriteTextFile(folder + kSep + "b.txt", "b");
  const std::string pattern = folder + kSep + "*.txt";
  Open();
  host->Type(IDC_REPORT_FILE, pattern);
  ASSERT_TRUE(Enabled(IDC_DELETE_REPORT));
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  EXPECT_THAT(ErrorTexts(), testing::ElementsAre(StartsWith("DeleteFile 失败")));
  EXPECT_EQ(ReadTextFile(folder + kSep + "a.txt"), "a");
  EXPECT_EQ(ReadTextFile(folder + kSep + "b.txt"), "b");
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(FaultMatrixTest, CommandLineBeyondTheSystemsLimitFailsToStartAndIsNeverCutShort) {
  // Windows takes at most 32767 characters in a command line, Linux at most
  // 128 KiB in one argument. Beyond that the start fails and says so; the
  // scanner never runs with a cut-off argument.
  const std::string huge(200000, 'x');
  desktop.temporaryDirectory.clear();  // no report: the status line alone tells
  Open();
  host->Type(IDC_EXTRA_ARGS, huge);
  ASSERT_TRUE(ScanAndWait());
  const std::vector<std::string> status = StatusTexts();
  ASSERT_EQ(status.size(), 3u);
  EXPECT_EQ(status[1], "CreateProcess(\"" + ScannerPath() + " /adl " + huge + "\") 失败.");
  EXPECT_EQ(status[2], "完成. 退出代码=4294967295. ");
  EXPECT_FALSE(FileExists(record));
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

TEST_F(FaultMatrixTest, PathsLongerThan260CharactersWorkWhole) {
  const std::string target = LongPathBelow(temp.path(), 300);
  const std::string reportFolder = LongPathBelow(temp.Join("报告"), 300);
  const std::string quarantine = LongPathBelow(temp.Join("隔离"), 320);
  ASSERT_TRUE(MakeFolders(target));
  ASSERT_TRUE(MakeFolders(reportFolder));
  const std::string report = reportFolder + kSep + "扫描 报告.txt";
  ASSERT_GT(report.size(), 260u);

  Open();
  host->Type(IDC_TARGET, target);
  host->Type(IDC_REPORT_FILE, report);
  host->Click(IDC_MOVE);
  host->Type(IDC_MOVE_DIR, quarantine);
  answers.AnswerQuestions({true});  // create the quarantine
  ASSERT_TRUE(ScanAndWait());

  EXPECT_TRUE(ErrorTexts().empty());
  EXPECT_TRUE(DirectoryExists(quarantine));
  EXPECT_EQ(ScannerArguments(), (std::vector<std::string>{target, "/sub", "/rptcor", "/rpterr",
                                                          "/report", report, "/move", quarantine}));
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=0. 没有发现");
  // The report the scanner wrote is found, opened and deleted by its full name.
  ASSERT_TRUE(FileExists(report));
  EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  EXPECT_TRUE(ErrorTexts().empty());
  EXPECT_FALSE(FileExists(report));
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(FaultMatrixTest, ChineseAndOtherNonAsciiNamesWorkWhole) {
  // 誠, 謀, 淺 and 籠 end in the byte 0x5C (a backslash) in GBK.
  const std::string target = temp.Join("病毒 样本") + kSep + "誠實" + kSep + "淺灘 Ωé ß";
  const std::string report = temp.Join("報告 謀") + kSep + "扫描 誠.txt";
  const std::string quarantine = temp.Join("隔離 籠") + kSep + "謀";
  ASSERT_TRUE(MakeFolders(target));
  ASSERT_TRUE(MakeFolders(temp.Join("報告 謀")));
  WriteTextFile(report, "上次的报告\n");

  Open();
  host->Type(IDC_TARGET, target);
  host->Type(IDC_REPORT_FILE, report);
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));  // the existing report is found
  host->Click(IDC_MOVE);
  host->Type(IDC_MOVE_DIR, quarantine);
  answers.AnswerQuestions({true, true});  // overwrite the report; create the quarantine
  ASSERT_TRUE(ScanAndWait());

  ASSERT_EQ(Questions().size(), 2u);
  EXPECT_EQ(Questions()[0].text, "File \"" + report + "\"\r\n已经存在,覆盖吗?");
  EXPECT_EQ(Questions()[1].text, "Directory \"" + quarantine + "\"\r\n不存在,是否创建?");
  EXPECT_TRUE(DirectoryExists(quarantine));
  EXPECT_EQ(ScannerArguments(), (std::vector<std::string>{target, "/sub", "/rptcor", "/rpterr",
                                                          "/report", report, "/move", quarantine}));
  EXPECT_EQ(ReadTextFile(report), "fake scan report\n");
  EXPECT_EQ(desktop.opened, std::vector<std::string>{report});
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(FaultMatrixTest, TargetOfBlanksOnlyIsPassedAsATarget) {
  Open();
  host->Type(IDC_TARGET, "   ");
  // Not empty: the target rules treat it as a typed folder.
  EXPECT_EQ(Check(IDC_SUBDIRS), 1);
  EXPECT_EQ(Check(IDC_ALL_LOCAL_DRIVES), 0);
  ASSERT_TRUE(ScanAndWait());
  const std::vector<std::string> arguments = ScannerArguments();
  ASSERT_FALSE(arguments.empty());
  EXPECT_EQ(arguments[0], "   ");
  EXPECT_EQ(arguments[1], "/sub");
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=0. 没有发现");
}

TEST_F(FaultMatrixTest, ExtraParametersWithQuotesFollowTheSplittingRules) {
  Open();
  host->Click(IDC_REPORT);  // report off: the extra parameters come right after the switches
  host->Type(IDC_EXTRA_ARGS, R"(-x "a b" "c\"d" "e f\\" g"h i"j "unterminated k)");
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(ScannerArguments(),
            (std::vector<std::string>{"/adl", "/rptcor", "/rpterr", "-x", "a b", "c\"d", "e f\\",
                                      "gh ij", "unterminated k"}));
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=0. 没有发现");
}

TEST_F(FaultMatrixTest, ProgramInAFolderWithBlanksAndNonAsciiNamesStartsItsScanner) {
  // Blanks (the scanner's path is then quoted and, on Windows, also passed as
  // the program to start) and GBK double bytes ending in 0x5C.
  const std::string folder = temp.Join("程序 目录 誠謀") + kSep + "淺 籠 é";
  ASSERT_TRUE(MakeFolders(folder));
  // The probe runs a scan from the main window of its copy there.
  const std::string copy = folder + kSep + QUORVEL_SCAN_BESIDE_PROBE;
  std::error_code error;
  std::filesystem::copy_file(
      testing_support::FsPath(GetModuleRelativePath(QUORVEL_SCAN_BESIDE_PROBE)),
      testing_support::FsPath(copy), error);
  ASSERT_FALSE(error) << error.message();
  std::filesystem::copy_file(testing_support::FsPath(ScannerPath()),
                             testing_support::FsPath(folder + kSep + "scan.exe"), error);
  ASSERT_FALSE(error) << error.message();

  ScannerProcess child;
  ASSERT_TRUE(child.Start(QuoteArgument(copy)));
  uint32_t exitCode = 1;
  ASSERT_TRUE(child.WaitForExitCode(&exitCode));
  EXPECT_EQ(exitCode, 0u) << "the scan from " << folder << " failed (its output is above)";
}

}  // namespace
