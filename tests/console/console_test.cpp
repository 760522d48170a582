// The scanner in a terminal window of its own, on the virtual display this
// test program is given (xterm, through an x-terminal-emulator of the test's
// own, whatever the machine's desktop prefers): what the scanner sees, the
// exit codes that come back, a terminal closed during the scan, scanners that
// cannot start, starts without a usable terminal, and what a run of scans
// leaves behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/child_processes_posix.h"
#include "base/file_checks_posix.h"
#include "res/texts.h"
#include "scan/scan_runner.h"
#include "scan/scanner_process.h"
#include "tests/support/fake_user_prompts.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr auto kPatience = std::chrono::seconds(30);
constexpr char kInTerminal[] = "TTTF quorvel-console";

bool NoChildrenLeft() {
  return WaitUntil([] { return ChildProcessesOf(getpid()).empty(); }, kPatience);
}

size_t OpenDescriptors() {
  size_t count = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it)
    ++count;
  return count;
}

// The test program's standard streams on /dev/null while the scanner (or its
// terminal) is started, as for a program started from the desktop menu.
class NullStreams {
 public:
  NullStreams() {
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int stream = 0; stream < 3; ++stream) {
      saved_[stream] = fcntl(stream, F_DUPFD_CLOEXEC, 3);
      dup2(null, stream);
    }
    close(null);
  }
  ~NullStreams() {
    for (int stream = 0; stream < 3; ++stream) {
      dup2(saved_[stream], stream);
      close(saved_[stream]);
    }
  }

 private:
  int saved_[3];
};

// Output of a shell command (xdotool), without its last line break.
std::string CommandOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
    pclose(pipe);
  }
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output;
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    ResetFakeScannerEnvironment();
    record_ = dir_.Join("record.txt");
    release_ = dir_.Join("release");
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", record_);
    // The channel's directory is made here, where the test can see it.
    runtime_ = dir_.Join("runtime");
    fs::create_directory(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
    saved_ = {{"XDG_RUNTIME_DIR", Saved("XDG_RUNTIME_DIR")},
              {"PATH", Saved("PATH")},
              {"DISPLAY", Saved("DISPLAY")}};
    // The desktop's terminal is xterm here, wherever the tests run.
    const std::string xterm = FindOnPath("xterm");
    ASSERT_FALSE(xterm.empty()) << "xterm is needed";
    const std::string pinned = dir_.Join("pinned");
    fs::create_directory(pinned);
    fs::create_symlink(xterm, pinned + "/x-terminal-emulator");
    path_ = pinned + ":" + Saved("PATH");
    Arrange();
  }
  void TearDown() override {
    WriteTextFile(release_, "go");
    for (const auto& [name, value] : saved_) SetEnv(name, value);
    ResetFakeScannerEnvironment();
    EXPECT_TRUE(NoChildrenLeft());
  }

  // The environment every test starts from.
  void Arrange() {
    for (const auto& [name, value] : saved_) SetEnv(name, value);
    SetEnv("XDG_RUNTIME_DIR", runtime_);
    SetEnv("PATH", path_);
  }

  static std::string Saved(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
  }

  bool Start(ScannerProcess& process, const std::string& arguments,
             SystemErrorCode* error = nullptr) {
    NullStreams quiet;
    return process.Start(FakeScannerPath() + " " + arguments, error);
  }

  // One whole scan; the code, or 1234 when it could not be read.
  uint32_t Scan(const std::string& exit, const std::string& arguments = "/sub") {
    SetEnv("QUORVEL_FAKE_SCAN_EXIT", exit);
    ScannerProcess process;
    uint32_t code = 1234;
    EXPECT_TRUE(Start(process, arguments));
    EXPECT_TRUE(process.WaitForExitCode(&code));
    return code;
  }

  // x-terminal-emulator, a link to a shell script called name, alone on PATH
  // (or before the test's PATH).
  void FakeTerminal(const std::string& script, const std::string& name = "fake-terminal",
                    bool alone = true) {
    const std::string bin = dir_.Join("bin");
    const std::string program = dir_.Join("programs/" + name);
    fs::create_directories(bin);
    fs::create_directories(dir_.Join("programs"));
    WriteTextFile(program, "#!/bin/sh\n" + script + "\n");
    fs::permissions(program, fs::perms::owner_all);
    fs::remove(bin + "/x-terminal-emulator");
    fs::create_symlink(program, bin + "/x-terminal-emulator");
    SetEnv("PATH", alone ? bin : bin + ":" + path_);
  }

  TempDir dir_;
  std::string record_;
  std::string release_;
  std::string runtime_;
  std::string path_;
  std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_F(ConsoleTest, ScannerRunsOnItsTerminalAndItsExitCodePassesThrough) {
  // The report's relative path lands in the program's current folder.
  const fs::path before = fs::current_path();
  fs::current_path(dir_.path());
  for (const char* exit : {"0", "13", "102"}) {
    SCOPED_TRACE(exit);
    EXPECT_EQ(Scan(exit, "/sub /report report.txt"), std::stoul(exit));
    const FakeScannerRun run = ReadFakeScannerRecord(record_);
    EXPECT_EQ(run.console, kInTerminal);
    EXPECT_EQ(run.arguments, (std::vector<std::string>{"/sub", "/report", "report.txt"}));
    EXPECT_TRUE(FileExists(dir_.Join("report.txt")));
    fs::remove(dir_.Join("report.txt"));
    // The terminal closes when the scanner ends.
    EXPECT_TRUE(NoChildrenLeft());
  }
  fs::current_path(before);
}

TEST_F(ConsoleTest, ClosingTheTerminalOrLosingTheHelperEndsTheScan) {
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release_);
  const std::string title = FakeScannerPath();

  // The window named after the scanner is closed by its user: the scanner
  // is hung up on, and ends by the signal or (as the ClamAV bridge) with a
  // code of its own.
  for (const char* hangUpExit : {"", "102"}) {
    SCOPED_TRACE(hangUpExit);
    SetEnv("QUORVEL_FAKE_SCAN_HANGUP_EXIT", hangUpExit);
    ScannerProcess closed;
    ASSERT_TRUE(Start(closed, "/sub"));
    std::string window;
    ASSERT_TRUE(WaitUntil(
        [&] {
          window = CommandOutput("xdotool search --name '^" + title + "$'");
          return !window.empty() && FileExists(record_);
        },
        kPatience));
    EXPECT_EQ(CommandOutput("xdotool windowkill " + window + " && echo closed"), "closed");
    uint32_t code = 0;
    EXPECT_TRUE(closed.WaitForExitCode(&code));
    EXPECT_EQ(code, *hangUpExit ? 102u : kNoExitCode);
    EXPECT_TRUE(NoChildrenLeft());
    fs::remove(record_);
  }
  SetEnv("QUORVEL_FAKE_SCAN_HANGUP_EXIT", "");

  // The helper is killed: the scanner's status cannot come back.
  ScannerProcess orphaned;
  ASSERT_TRUE(Start(orphaned, "/sub"));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(record_); }, kPatience));
  const std::vector<ChildProcess> terminals = ChildProcessesOf(getpid());
  ASSERT_EQ(terminals.size(), 1u);
  const std::vector<ChildProcess> helpers = ChildProcessesOf(terminals[0].pid);
  ASSERT_EQ(helpers.size(), 1u);
  EXPECT_EQ(helpers[0].name, "quorvel-console");
  kill(helpers[0].pid, SIGKILL);
  uint32_t code = 1234;
  EXPECT_FALSE(orphaned.WaitForExitCode(&code));
  EXPECT_EQ(code, 1234u);
}

TEST_F(ConsoleTest, ScannerThatCannotStartOpensNoTerminal) {
  WriteTextFile(dir_.Join("text.exe"), "not a program");
  fs::permissions(dir_.Join("text.exe"), fs::perms::owner_all);
  WriteTextFile(dir_.Join("plain.exe"), "#!/bin/sh\n");
  fs::permissions(dir_.Join("plain.exe"), fs::perms::owner_read | fs::perms::owner_write);
  struct Case {
    std::string program;
    SystemErrorCode error;
  };
  const std::vector<Case> cases = {{dir_.Join("missing.exe"), ENOENT},
                                   {dir_.path(), EACCES},
                                   {dir_.Join("text.exe"), ENOEXEC},
                                   {dir_.Join("plain.exe"), EACCES}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.program);
    ScannerProcess process;
    SystemErrorCode error = 0;
    {
      NullStreams quiet;
      EXPECT_FALSE(process.Start(each.program + " /sub", &error));
    }
    EXPECT_EQ(error, each.error);
    EXPECT_TRUE(ChildProcessesOf(getpid()).empty());
  }
}

TEST_F(ConsoleTest, WithoutAUsableTerminalTheScanStillRuns) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    const char* console;  // as the scanner sees it
  };
  const std::string direct = "---- console_tests";
  // What a launcher was given, once it runs.
  const auto recordingTo = [](const std::string& file) { return "echo \"$@\" >" + file + "\n"; };
  const std::string koi8Run = dir_.Join("koi8rxterm.run");
  const std::string uxtermRun = dir_.Join("uxterm.run");
  const std::vector<Case> cases = {
      {"no display", [] { SetEnv("DISPLAY", ""); }, direct.c_str()},
      {"no terminal", [&] { SetEnv("PATH", dir_.Join("none")); }, direct.c_str()},
      {"a terminal that fails", [&] { FakeTerminal("exit 3"); }, direct.c_str()},
      // The desktop's terminal fails, xterm further down the list runs the scan.
      {"a terminal that fails before another",
       [&] { FakeTerminal("exit 3", "fake-terminal", false); }, kInTerminal},
      // A launcher that hands the command to a terminal server and ends.
      {"a terminal that hands on",
       [&] { FakeTerminal("shift\n(/bin/sleep 0.5; exec \"$@\") >/dev/null 2>&1 &\nexit 0"); },
       "---- quorvel-console"},
      // Outside a KOI8-R locale it shows a message and never runs its command.
      {"koi8rxterm, never started",
       [&] { FakeTerminal(recordingTo(koi8Run) + "exec /bin/sleep 600", "koi8rxterm", false); },
       kInTerminal},
      // A launcher that never runs its command is ended, and xterm runs the scan.
      {"a launcher that never runs its command",
       [&] { FakeTerminal(recordingTo(uxtermRun) + "/bin/sleep 600", "uxterm", false); },
       kInTerminal},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.what);
    each.arrange();
    EXPECT_EQ(Scan("13"), 13u);
    EXPECT_EQ(ReadFakeScannerRecord(record_).console, each.console);
    Arrange();
  }
  // koi8rxterm never ran; the uxterm launcher was given xterm's UTF-8 mode and font, and
  // is not left running (TearDown).
  EXPECT_FALSE(FileExists(koi8Run));
  std::string options;
  std::getline(std::ifstream(uxtermRun), options);
  EXPECT_EQ(options.rfind("-u8 -fa Monospace -fs 11 -e ", 0), 0u) << options;
}

// Through the runner, as the window scans: each scan cleans up after itself.
TEST_F(ConsoleTest, ManyScansInARowLeaveNothingBehind) {
  class Receiver : public StatusReceiver {
   public:
    void Send(unsigned, const std::string&) override {}
  };
  FakeUserPrompts prompts;
  ScanRunner runner{prompts};
  const size_t descriptors = OpenDescriptors();
  for (int scan = 0; scan < 8; ++scan) {
    fs::remove(record_);
    bool ended;
    {
      // The worker starts the scanner while the streams are off.
      NullStreams quiet;
      runner.Start(std::make_shared<Receiver>(), FakeScannerPath() + " /sub", 15000);
      ended = WaitUntil([&] { return runner.IsIdle(); }, kPatience);
    }
    ASSERT_TRUE(ended);
    ASSERT_EQ(runner.exitCode(), 0u);
    ASSERT_EQ(ReadFakeScannerRecord(record_).console, kInTerminal);
  }
  EXPECT_TRUE(NoChildrenLeft());
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_TRUE(fs::is_empty(runtime_));
}

}  // namespace
