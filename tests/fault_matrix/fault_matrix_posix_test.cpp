// The Linux cases of the fault matrix: a scanner that cannot be executed or
// is ended by a signal, console floods, and folders the user may not write.
#include <fcntl.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include <gmock/gmock.h>

#include "tests/fault_matrix/fault_matrix_fixture.h"
#include "tests/support/test_support.h"

namespace {

using testing::HasSubstr;
using testing::StartsWith;
using testing_support::FileExists;
using testing_support::ReadTextFile;
using testing_support::SetEnv;
using testing_support::WriteTextFile;

// File access of the calling thread as an ordinary user. Permission tests mean
// nothing to root, who may write anywhere: as root, this thread's file-system
// identity becomes "nobody" (which also drops root's override of file
// permissions) until the object goes away. Only this thread is affected: the
// scan worker and the scanner keep the program's identity.
class ActAsOrdinaryUser {
 public:
  ActAsOrdinaryUser() {
    if (geteuid() != 0) return;
    setfsgid(kNobody);
    setfsuid(kNobody);
    active_ = true;
  }
  ~ActAsOrdinaryUser() {
    if (!active_) return;
    setfsuid(0);
    setfsgid(0);
  }
  ActAsOrdinaryUser(const ActAsOrdinaryUser&) = delete;
  ActAsOrdinaryUser& operator=(const ActAsOrdinaryUser&) = delete;

 private:
  static constexpr unsigned kNobody = 65534;
  bool active_ = false;
};

void SetMode(const std::string& path, mode_t mode) { ASSERT_EQ(chmod(path.c_str(), mode), 0); }

std::vector<std::string> FailedStartTexts(const std::string& line) {
  return {"执行中", "CreateProcess(\"" + line + "\") 失败.", "完成. 退出代码=4294967295. "};
}

TEST_F(FaultMatrixTest, ScannerWithoutExecutePermissionFailsToStart) {
  SetMode(ScannerPath(), 0644);
  desktop.temporaryDirectory.clear();  // no report: the status line alone tells
  Open();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(StatusTexts(), FailedStartTexts(ScannerPath() + " /adl"));
  EXPECT_FALSE(FileExists(record));
  EXPECT_TRUE(Enabled(IDC_SCAN));
  EXPECT_TRUE(ErrorTexts().empty());
}

TEST_F(FaultMatrixTest, ScannerThatIsNoProgramFailsToStart) {
  // Executable, but neither a program nor a script: never handed to a shell.
  RemoveScanner();
  WriteTextFile(ScannerPath(), "touch " + temp.Join("ran") + "\n");
  SetMode(ScannerPath(), 0755);
  desktop.temporaryDirectory.clear();
  Open();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(StatusTexts(), FailedStartTexts(ScannerPath() + " /adl"));
  EXPECT_FALSE(FileExists(temp.Join("ran")));
  RemoveScanner();
}

class FaultMatrixSignalTest : public FaultMatrixTest, public testing::WithParamInterface<int> {};

TEST_P(FaultMatrixSignalTest, ScannerEndedByASignalIsShownAsACrash) {
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "signal:" + std::to_string(GetParam()));
  Open();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=3221225786. 没有退出代码，崩溃了?");
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

INSTANTIATE_TEST_SUITE_P(Signals, FaultMatrixSignalTest,
                         testing::Values(SIGKILL, SIGTERM, SIGSEGV, SIGABRT, SIGINT));

TEST_F(FaultMatrixTest, ScannerWritingMegabytesToItsConsoleEndsNormally) {
  // The scanner writes to the program's own standard output (its terminal):
  // here a file, so that every byte can be counted.
  constexpr size_t kBytes = 8 << 20;
  SetEnv("QUORVEL_FAKE_SCAN_OUTPUT_BYTES", std::to_string(kBytes));
  const std::string console = temp.Join("console.txt");
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int file = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(file, 0);
  dup2(file, STDOUT_FILENO);
  close(file);

  Open();
  const bool ended = ScanAndWait();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  ASSERT_TRUE(ended);
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=0. 没有发现");
  EXPECT_EQ(std::filesystem::file_size(console), kBytes);
}

TEST_F(FaultMatrixTest, DeletingAReportInAReadOnlyFolderFailsAndKeepsIt) {
  const std::string folder = temp.Join("只读");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string report = folder + "/scan.txt";
  WriteTextFile(report, "报告内容\n");
  SetMode(folder, 0555);
  Open();
  host->Type(IDC_REPORT_FILE, report);
  ASSERT_TRUE(Enabled(IDC_DELETE_REPORT));

  answers.AnswerQuestions({true});
  {
    ActAsOrdinaryUser user;
    host->Click(IDC_DELETE_REPORT);
  }
  EXPECT_THAT(ErrorTexts(), testing::ElementsAre(
                                testing::AllOf(StartsWith("DeleteFile 失败\n\n系统错误代码: 0xD\n"),
                                               HasSubstr("系统错误信息: "))));
  EXPECT_EQ(ReadTextFile(report), "报告内容\n");
  // The buttons follow the file, which is still there.
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));

  // Once the folder may be written, the same request deletes it.
  SetMode(folder, 0755);
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  EXPECT_EQ(ErrorTexts().size(), 1u);
  EXPECT_FALSE(FileExists(report));
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(FaultMatrixTest, QuarantineInAFolderWithoutPermissionIsNotCreated) {
  const std::string folder = temp.Join("受保护");
  ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
  const std::string quarantine = folder + "/隔离";
  Open();
  host->Click(IDC_MOVE);
  host->Type(IDC_MOVE_DIR, quarantine);
  answers.AnswerQuestions({true});
  {
    ActAsOrdinaryUser user;
    host->Click(IDC_SCAN);
  }
  host->RunUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_THAT(ErrorTexts(),
              testing::ElementsAre(StartsWith("创建目录失败\n\n系统错误代码: 0xD\n")));
  EXPECT_FALSE(testing_support::DirectoryExists(quarantine));
  EXPECT_TRUE(StatusTexts().empty());
  EXPECT_FALSE(FileExists(record));
}

}  // namespace
