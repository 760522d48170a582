// What the Linux scanner process gets from the program: a session of its own,
// no terminal for input, no descriptors beyond the standard streams; how
// each terminal is asked to open its window; and how the runner copes when
// the exit status cannot be collected.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <vector>
#include <memory>
#include <string>
#include <thread>

#include "base/child_processes_posix.h"
#include "base/terminal_launch_posix.h"
#include "res/texts.h"
#include "scan/scan_runner.h"
#include "scan/scanner_process.h"
#include "support/process_start.h"
#include "tests/support/fake_user_prompts.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

bool WaitForFile(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!FileExists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// The fake scanner started by this process (its only child named scan.exe).
pid_t ScannerChild() {
  for (const ChildProcess& child : ChildProcessesOf(getpid()))
    if (child.name == "scan.exe") return child.pid;
  return 0;
}

class ScannerProcessPosixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeScannerEnvironment();
    record_ = dir_.Join("record.txt");
    release_ = dir_.Join("release");
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", record_);
    SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release_);
  }
  void TearDown() override {
    WriteTextFile(release_, "go");
    ResetFakeScannerEnvironment();
  }

  TempDir dir_;
  std::string record_;
  std::string release_;
};

TEST_F(ScannerProcessPosixTest, ScannerRunsInItsOwnSessionWithOnlyTheStandardStreams) {
  // A pipe opened the careless way, without close-on-exec.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);

  // Started from a shell: our input is a terminal. With no display there is
  // no window, and the scanner must not read (or wait on) that terminal.
  int master = -1;
  int slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  const int savedInput = dup(STDIN_FILENO);
  dup2(slave, STDIN_FILENO);
  ScannerProcess process;
  const bool started = process.Start(FakeScannerPath() + " /sub");
  dup2(savedInput, STDIN_FILENO);
  for (const int fd : {savedInput, slave}) close(fd);
  ASSERT_TRUE(started);
  const bool recorded = WaitForFile(record_);
  close(master);  // not before: a hung-up terminal is no terminal
  ASSERT_TRUE(recorded);
  EXPECT_EQ(ReadFakeScannerRecord(record_).console.substr(0, 1), "-");

  // It leads a session of its own, apart from ours.
  const pid_t scanner = ScannerChild();
  const pid_t scannerSession = scanner > 0 ? getsid(scanner) : -1;

  // Once our writing end is closed, the reading end sees the end of the
  // stream at once, unless the scanner inherited a writing end.
  close(ends[1]);
  pollfd readable = {ends[0], POLLIN, 0};
  const int ready = poll(&readable, 1, 10000);
  char byte;
  const ssize_t got = ready == 1 ? read(ends[0], &byte, 1) : -1;
  close(ends[0]);

  WriteTextFile(release_, "go");
  uint32_t code = 1;
  ASSERT_TRUE(process.WaitForExitCode(&code));
  EXPECT_EQ(code, 0u);

  ASSERT_GT(scanner, 0);
  EXPECT_EQ(scannerSession, scanner);
  EXPECT_NE(scannerSession, getsid(0));
  EXPECT_EQ(ready, 1) << "the scanner inherited the pipe";
  EXPECT_EQ(got, 0);
}

// Each terminal under each locale: only xterm gets options, koi8rxterm is
// passed over, and the terminal's character type is UTF-8 whatever the
// locale, with the user's other locale settings kept.
TEST(TerminalLaunchTest, EachTerminalGetsItsOptionsAndAUtf8CharacterType) {
  using std::chrono::seconds;
  using Strings = std::vector<std::string>;
  const Strings command = {"/opt/q/quorvel-console", "/run/q"};
  const Strings xtermOptions = {"-u8", "-fa", "Monospace", "-fs", "11"};
  struct Terminal {
    std::string realPath;
    bool xtermOptions;
    seconds patience;  // zero: passed over
  };
  const std::vector<Terminal> terminals = {
      {"/usr/bin/xterm", true, seconds(5)},
      {"/usr/bin/uxterm", true, seconds(5)},
      {"/usr/bin/lxterm", true, seconds(5)},
      {"/usr/bin/koi8rxterm", false, seconds(0)},
      {"/usr/bin/rxvt-unicode", false, seconds(5)},
      {"/usr/bin/gnome-terminal.wrapper", false, seconds(15)},
      {"/opt/xterm-like/bin/myxterm", false, seconds(15)},
  };
  struct Locale {
    Strings environment;  // beside PATH
    Strings terminalGets;
  };
  const std::vector<Locale> locales = {
      {{}, {"LC_CTYPE=C.UTF-8"}},
      {{"LANG=C"}, {"LANG=C", "LC_CTYPE=C.UTF-8"}},
      {{"LANG=POSIX", "LC_CTYPE="}, {"LANG=POSIX", "LC_CTYPE=C.UTF-8"}},
      {{"LANG=de_DE.ISO-8859-1"}, {"LANG=de_DE.ISO-8859-1", "LC_CTYPE=C.UTF-8"}},
      {{"LANG=zh_CN.UTF-8", "LC_CTYPE=C"}, {"LANG=zh_CN.UTF-8", "LC_CTYPE=C.UTF-8"}},
      {{"LC_ALL=C", "LC_CTYPE=zh_CN.UTF-8"}, {"LC_CTYPE=zh_CN.UTF-8", "LC_ALL=C.UTF-8"}},
      {{"LANG=zh_CN.UTF-8"}, {"LANG=zh_CN.UTF-8"}},
      {{"LANG=C", "LC_CTYPE=en_US.utf8"}, {"LANG=C", "LC_CTYPE=en_US.utf8"}},
  };
  for (const Terminal& terminal : terminals) {
    for (const Locale& locale : locales) {
      SCOPED_TRACE(terminal.realPath + " " + testing::PrintToString(locale.environment));
      Strings environment = {"PATH=/usr/bin:/bin"};
      environment.insert(environment.end(), locale.environment.begin(), locale.environment.end());
      const TerminalLaunch launch = TerminalLaunchFor("/usr/bin/x-terminal-emulator",
                                                      terminal.realPath, command, environment);
      if (terminal.patience.count() == 0) {
        EXPECT_TRUE(launch.arguments.empty());
        continue;
      }
      Strings expected = {"/usr/bin/x-terminal-emulator"};
      if (terminal.xtermOptions)
        expected.insert(expected.end(), xtermOptions.begin(), xtermOptions.end());
      expected.push_back("-e");
      expected.insert(expected.end(), command.begin(), command.end());
      EXPECT_EQ(launch.arguments, expected);
      EXPECT_EQ(launch.patience, terminal.patience);
      Strings gets = {"PATH=/usr/bin:/bin"};
      gets.insert(gets.end(), locale.terminalGets.begin(), locale.terminalGets.end());
      EXPECT_EQ(launch.environment, gets);
    }
  }
}

// With SIGCHLD ignored the system reaps the scanner itself and its status is
// lost: the window is told, and the exit code of the scan before stays.
TEST_F(ScannerProcessPosixTest, LostExitStatusIsReportedAndTheCodeBeforeStays) {
  WriteTextFile(release_, "go");
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "13");

  FakeUserPrompts prompts;
  ScanRunner runner{prompts};
  class Receiver : public StatusReceiver {
   public:
    void Send(unsigned, const std::string& text) override {
      std::lock_guard<std::mutex> lock(mutex);
      texts.push_back(text);
    }
    std::mutex mutex;
    std::vector<std::string> texts;
  };
  auto scan = [&runner] {
    auto receiver = std::make_shared<Receiver>();
    runner.Start(receiver, FakeScannerPath(), 15000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!runner.IsIdle() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return receiver->texts;
  };
  scan();
  ASSERT_EQ(runner.exitCode(), 13u);

  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "7");
  struct sigaction ignore = {};
  struct sigaction before = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &before);
  const std::vector<std::string> reports = scan();
  sigaction(SIGCHLD, &before, nullptr);

  const std::vector<std::string> expected = {texts::kStatusExecuting, texts::kStatusThreadStart,
                                             texts::kStatusRunning, texts::kStatusExitCodeFailed,
                                             texts::kStatusThreadDone};
  EXPECT_EQ(reports, expected);
  EXPECT_EQ(runner.exitCode(), 13u);
}

TEST_F(ScannerProcessPosixTest, ExitCodeIsReadWhenStartedWithChildSignalsIgnored) {
  // As a launcher that ignores SIGCHLD leaves the program; start-up restores it.
  WriteTextFile(release_, "go");
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", "7");
  struct sigaction ignore = {};
  struct sigaction before = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGCHLD, &ignore, &before);
  RestoreDefaultChildSignal();

  struct Ignoring : StatusReceiver {
    void Send(unsigned, const std::string&) override {}
  };
  FakeUserPrompts prompts;
  ScanRunner runner{prompts};
  runner.Start(std::make_shared<Ignoring>(), FakeScannerPath(), 15000);
  EXPECT_TRUE(WaitUntil([&] { return runner.IsIdle(); }, std::chrono::seconds(60)));
  sigaction(SIGCHLD, &before, nullptr);
  EXPECT_EQ(runner.exitCode(), 7u);
}

}  // namespace
