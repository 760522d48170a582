// The scan worker against the fake scanner: the reports and their order, the
// exit code the window reads at the end marker, one scan at a time, a failed
// worker thread, a runner that goes away mid-scan, and scanner paths with
// blanks and Chinese characters.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/exit_codes.h"
#include "base/text_format.h"
#include "res/texts.h"
#include "scan/scan_runner.h"
#include "scan/scanner_process.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"
#include "support/modal_answers.h"
#include "tests/support/fake_user_prompts.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr unsigned kMessage = 15000;
constexpr auto kPatience = std::chrono::seconds(20);

struct Report {
  unsigned message;
  std::string text;
  uint32_t exitCode;  // the runner's exitCode when the report arrived
};

// Stands in for the window: keeps each report with the exit code the window
// would read at that moment.
class RecordingReceiver : public StatusReceiver {
 public:
  explicit RecordingReceiver(const ScanRunner* runner = nullptr) : runner_(runner) {}

  void Send(unsigned message, const std::string& text) override {
    const uint32_t code = runner_ ? runner_->exitCode() : 0;
    std::lock_guard<std::mutex> lock(mutex_);
    reports_.push_back({message, text, code});
    arrived_.notify_all();
  }

  // Waits until text has arrived. The limit only keeps a broken runner from
  // hanging the test run.
  bool WaitFor(const std::string& text) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, kPatience, [&] {
      for (const Report& report : reports_)
        if (report.text == text) return true;
      return false;
    });
  }

  std::vector<Report> reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const Report& report : reports()) result.push_back(report.text);
    return result;
  }

  // The first report with text; a report with no text when there is none.
  Report Find(const std::string& text) const {
    for (const Report& report : reports())
      if (report.text == text) return report;
    return {0, "", 0};
  }

 private:
  const ScanRunner* runner_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Report> reports_;
};

bool WaitUntil(const std::function<bool()>& done) {
  return testing_support::WaitUntil(done, kPatience);
}

// The scanner's path as the command line builder writes it: quoted when it
// holds a blank.
std::string ScannerLine(const std::string& scanner, const std::string& arguments) {
  const std::string program =
      scanner.find(' ') == std::string::npos ? scanner : "\"" + scanner + "\"";
  return arguments.empty() ? program : program + " " + arguments;
}

std::vector<std::string> StartedReports() {
  return {texts::kStatusExecuting, texts::kStatusThreadStart, texts::kStatusRunning,
          texts::kStatusThreadDone};
}

// A copy of the fake scanner in folder (made here) under dir.
std::string CopyScannerInto(const TempDir& dir, const std::string& folder) {
  const std::string target = dir.Join(folder);
  fs::create_directories(FsPath(target));
  const std::string copy = target + kPathSeparator + "scan.exe";
  fs::copy_file(FsPath(FakeScannerPath()), FsPath(copy));
  fs::permissions(FsPath(copy), fs::perms::owner_all, fs::perm_options::add);
  return copy;
}

class ScanRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeScannerEnvironment();
    record_ = dir_.Join("record.txt");
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", record_);
  }
  void TearDown() override { ResetFakeScannerEnvironment(); }

  // Holds the next scanners until Release().
  void HoldScanner() {
    release_ = dir_.Join("release");
    SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release_);
  }
  void Release() { WriteTextFile(release_, "go"); }

  // One whole scan, its reports in *receiver: returns once the worker has
  // finished and the runner is idle again, or fails the test for good (call
  // it inside ASSERT_NO_FATAL_FAILURE), as every later check depends on it.
  void Scan(ScanRunner& runner, const std::string& line,
            std::shared_ptr<RecordingReceiver>* receiver = nullptr) {
    auto recorder = std::make_shared<RecordingReceiver>(&runner);
    if (receiver) *receiver = recorder;
    ASSERT_EQ(runner.Start(recorder, line, kMessage), 0);
    ASSERT_TRUE(recorder->WaitFor(texts::kStatusThreadDone))
        << line << ": the reports so far: " << testing::PrintToString(recorder->texts());
    ASSERT_TRUE(WaitUntil([&] { return runner.IsIdle(); })) << line;
  }

  FakeUserPrompts prompts_;
  TempDir dir_;
  std::string record_;
  std::string release_;
};

TEST_F(ScanRunnerTest, ScannerThatEndsAtOnceGivesTheFourReportsInOrder) {
  ScanRunner runner{prompts_};
  EXPECT_TRUE(runner.IsIdle());
  EXPECT_EQ(runner.exitCode(), kNoScanExitCode);

  const std::string report = dir_.Join("report.txt");
  const std::string line = ScannerLine(FakeScannerPath(), "/sub /report " + report);
  std::shared_ptr<RecordingReceiver> receiver;
  ASSERT_NO_FATAL_FAILURE(Scan(runner, line, &receiver));

  EXPECT_EQ(receiver->texts(), StartedReports());
  for (const Report& each : receiver->reports()) EXPECT_EQ(each.message, kMessage);
  EXPECT_EQ(runner.exitCode(), 0u);

  // The scanner got the line unchanged.
  const FakeScannerRun run = ReadFakeScannerRecord(record_);
  EXPECT_EQ(run.program, FakeScannerPath());
  EXPECT_EQ(run.arguments, (std::vector<std::string>{"/sub", "/report", report}));
#if defined(_WIN32)
  EXPECT_EQ(run.rawCommandLine, line);
#endif
  EXPECT_TRUE(FileExists(report));
}

TEST_F(ScanRunnerTest, ScannerThatCannotStartReportsTheLineAndNoExitCode) {
  ScanRunner runner{prompts_};
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "13");
  ASSERT_NO_FATAL_FAILURE(Scan(runner, ScannerLine(FakeScannerPath(), "")));
  ASSERT_EQ(runner.exitCode(), 13u);

  // "%s%n" in the path must come out as it is, not as a format. A line
  // without a program starts nothing either, at once.
  const std::string missing = dir_.Join("100%s%n") + kPathSeparator + "scan.exe";
  for (const std::string& line :
       {ScannerLine(missing, "/sub /all"), std::string(), std::string(" \t ")}) {
    SCOPED_TRACE("line \"" + line + "\"");
    std::shared_ptr<RecordingReceiver> receiver;
    ASSERT_NO_FATAL_FAILURE(Scan(runner, line, &receiver));
    const std::vector<std::string> expected = {
        texts::kStatusExecuting, texts::kStatusThreadStart,
        FormatText(texts::kStatusCreateProcessFailed, line.c_str()), texts::kStatusThreadDone};
    ASSERT_EQ(receiver->texts(), expected);
    EXPECT_NE(receiver->texts()[2].find(line), std::string::npos);
    // The code of the scan before is gone by the time the window reads it.
    EXPECT_EQ(receiver->Find(texts::kStatusThreadDone).exitCode, kNoScanExitCode);
    EXPECT_EQ(runner.exitCode(), kNoScanExitCode);
  }
}

TEST_F(ScanRunnerTest, ExitCodeIsFinalWhenTheEndMarkerArrives) {
  struct Case {
    const char* exit;
    uint32_t expected;
  };
  const std::vector<Case> cases = {
    {"0", 0},
    {"102", 102},
    {"13", 13},
#if defined(_WIN32)
    {"0xC000013A", kNoExitCode},
#else
    // Ended by a signal: no exit code of its own.
    {"signal:9", kNoExitCode},
    {"signal:15", kNoExitCode},
#endif
    {"0x05", 5},
  };

  ScanRunner runner{prompts_};
  uint32_t before = runner.exitCode();
  for (const Case& each : cases) {
    SCOPED_TRACE(each.exit);
    SetEnv("QUORVEL_FAKE_SCAN_EXIT", each.exit);
    std::shared_ptr<RecordingReceiver> receiver;
    ASSERT_NO_FATAL_FAILURE(Scan(runner, ScannerLine(FakeScannerPath(), "/all"), &receiver));
    ASSERT_EQ(receiver->texts(), StartedReports());
    // Still the last scan's code while this one runs, the new one at the end.
    EXPECT_EQ(receiver->Find(texts::kStatusRunning).exitCode, before);
    EXPECT_EQ(receiver->Find(texts::kStatusThreadDone).exitCode, each.expected);
    EXPECT_EQ(runner.exitCode(), each.expected);
    before = each.expected;
  }
}

TEST_F(ScanRunnerTest, SecondStartWhileBusyStartsNothing) {
  ScanRunner runner{prompts_};
  int threadsStarted = 0;
  runner.SetThreadStarter([&](std::function<void()> work, SystemErrorCode*) {
    ++threadsStarted;
    std::thread(std::move(work)).detach();
    return true;
  });
  HoldScanner();
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "102");

  auto first = std::make_shared<RecordingReceiver>(&runner);
  runner.Start(first, ScannerLine(FakeScannerPath(), "/first"), kMessage);
  ASSERT_TRUE(first->WaitFor(texts::kStatusRunning));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(record_); }));
  EXPECT_FALSE(runner.IsIdle());

  auto second = std::make_shared<RecordingReceiver>(&runner);
  EXPECT_EQ(runner.Start(second, ScannerLine(FakeScannerPath(), "/second"), kMessage + 1), 0);
  EXPECT_EQ(threadsStarted, 1);
  EXPECT_FALSE(runner.IsIdle());

  Release();
  ASSERT_TRUE(first->WaitFor(texts::kStatusThreadDone));
  ASSERT_TRUE(WaitUntil([&] { return runner.IsIdle(); }));

  EXPECT_EQ(first->texts(), StartedReports());
  for (const Report& each : first->reports()) EXPECT_EQ(each.message, kMessage);
  EXPECT_EQ(first->Find(texts::kStatusThreadDone).exitCode, 102u);
  EXPECT_TRUE(second->reports().empty());
  EXPECT_EQ(ReadFakeScannerRecord(record_).arguments, std::vector<std::string>{"/first"});

  // Idle again: the next Start runs.
  ASSERT_NO_FATAL_FAILURE(Scan(runner, ScannerLine(FakeScannerPath(), "/third")));
  EXPECT_EQ(threadsStarted, 2);
  EXPECT_EQ(ReadFakeScannerRecord(record_).arguments, std::vector<std::string>{"/third"});
}

TEST_F(ScanRunnerTest, FailedWorkerThreadLeavesTheRunnerIdleAndTellsTheUser) {
  ModalAnswers answers;
  // A value the system has a description for, on either system.
  const SystemErrorCode failure = 8;

  ScanRunner runner{prompts_};
  runner.SetThreadStarter([&](std::function<void()>, SystemErrorCode* error) {
    *error = failure;
    return false;
  });
  auto receiver = std::make_shared<RecordingReceiver>(&runner);
  EXPECT_EQ(runner.Start(receiver, ScannerLine(FakeScannerPath(), "/sub"), kMessage), 0);
  const std::vector<ModalBox> boxes = answers.Opened(ModalKind::ErrorBox);

  EXPECT_TRUE(runner.IsIdle());
  EXPECT_EQ(runner.exitCode(), kNoScanExitCode);
  EXPECT_TRUE(receiver->reports().empty());
  // The window is not kept by a scan that never ran.
  EXPECT_EQ(receiver.use_count(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, FormatErrorBoxText(texts::kErrorCreateThread, failure));
  EXPECT_EQ(boxes[0].text.rfind(texts::kErrorCreateThread, 0), 0u);
  EXPECT_EQ(boxes[0].caption, texts::kErrorBoxCaption);
  EXPECT_FALSE(FileExists(record_));

  // The next attempt, with threads to spare, scans.
  runner.SetThreadStarter({});
  ASSERT_NO_FATAL_FAILURE(Scan(runner, ScannerLine(FakeScannerPath(), "/sub"), &receiver));
  EXPECT_EQ(receiver->texts(), StartedReports());
}

// The window (and its runner) may go away while the scanner runs: the worker
// then touches only what it holds itself. Run under AddressSanitizer, a touch
// of the freed runner fails this test.
TEST_F(ScanRunnerTest, RunnerDestroyedWhileTheScannerRuns) {
  HoldScanner();
  auto receiver = std::make_shared<RecordingReceiver>();
  auto runner = std::make_unique<ScanRunner>(prompts_);
  runner->Start(receiver, ScannerLine(FakeScannerPath(), "/sub"), kMessage);
  ASSERT_TRUE(receiver->WaitFor(texts::kStatusRunning));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(record_); }));

  runner.reset();
  Release();

  ASSERT_TRUE(receiver->WaitFor(texts::kStatusThreadDone));
  EXPECT_EQ(receiver->texts(), StartedReports());
  // The worker lets go of the receiver when it is done.
  EXPECT_TRUE(WaitUntil([&] { return receiver.use_count() == 1; }));
}

// A scanner folder with a blank comes quoted; the system must start that
// program and not a shorter prefix of its path ("<dir>\a.exe", as
// "C:\Program.exe" for "C:\Program Files\..."). The decoy is no program: had
// it been chosen, the start would fail.
TEST_F(ScanRunnerTest, ScannerPathWithABlankStartsThatScanner) {
  const std::string scanner = CopyScannerInto(dir_, "a b");
  WriteTextFile(dir_.Join("a.exe"), "not a program");
  WriteTextFile(dir_.Join("a"), "not a program");

  ScanRunner runner{prompts_};
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "7");
  const std::string line = ScannerLine(scanner, "/sub /report \"" + dir_.Join("r 1.txt") + "\"");
  ASSERT_EQ(line[0], '"');
  std::shared_ptr<RecordingReceiver> receiver;
  ASSERT_NO_FATAL_FAILURE(Scan(runner, line, &receiver));

  EXPECT_EQ(receiver->texts(), StartedReports());
  EXPECT_EQ(runner.exitCode(), 7u);
  const FakeScannerRun run = ReadFakeScannerRecord(record_);
  EXPECT_EQ(run.program, scanner);
  EXPECT_EQ(run.arguments, (std::vector<std::string>{"/sub", "/report", dir_.Join("r 1.txt")}));
#if defined(_WIN32)
  EXPECT_EQ(run.rawCommandLine, line);
#endif
  EXPECT_TRUE(FileExists(dir_.Join("r 1.txt")));
}

TEST_F(ScanRunnerTest, ScannerInAChineseFolder) {
  const std::string scanner = CopyScannerInto(dir_, "病毒扫描");
  const std::string report = dir_.Join("报告.txt");

  ScanRunner runner{prompts_};
  const std::string line = ScannerLine(scanner, "\"" + dir_.Join("文件") + "\" /report " + report);
  std::shared_ptr<RecordingReceiver> receiver;
  ASSERT_NO_FATAL_FAILURE(Scan(runner, line, &receiver));

  EXPECT_EQ(receiver->texts(), StartedReports());
  EXPECT_EQ(runner.exitCode(), 0u);
  const FakeScannerRun run = ReadFakeScannerRecord(record_);
  EXPECT_EQ(run.program, scanner);
  EXPECT_EQ(run.arguments, (std::vector<std::string>{dir_.Join("文件"), "/report", report}));
  EXPECT_TRUE(FileExists(report));
}

TEST(ScannerProcessTest, MissingProgramGivesTheSystemsNotFoundError) {
  TempDir dir;
  // A missing program, and lines that name none.
  for (const std::string& line :
       {dir.Join("scan.exe") + " /sub", std::string(), std::string(" \t")}) {
    SCOPED_TRACE("line \"" + line + "\"");
    ScannerProcess process;
    SystemErrorCode error = 0;
    EXPECT_FALSE(process.Start(line, &error));
    // ERROR_FILE_NOT_FOUND and ENOENT are both 2.
    EXPECT_EQ(error, 2u);
    uint32_t code = 1234;
    EXPECT_FALSE(process.WaitForExitCode(&code));
    EXPECT_EQ(code, 1234u);
  }
}

}  // namespace
