// The bridge on a terminal of its own, as a terminal window runs it: what the
// user sees during a scan, and the wait for a key after an error (which a
// pipe or /dev/null as input never gets, and a hang-up ends).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bridge/clamd_config.h"
#include "bridge/texts.h"
#include "tests/bridge/bridge_test_support.h"
#include "tests/support/test_support.h"

extern char** environ;

namespace {

using namespace testing_support;
using Strings = std::vector<std::string>;

constexpr auto kPatience = std::chrono::seconds(60);

std::vector<char*> Argv(const std::string& program, const Strings& args) {
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

class BridgeConsoleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (master_ >= 0) close(master_);
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // The bridge as the leader of a session on a new pseudo-terminal.
  void StartInTerminal(const Strings& args) {
    const std::string program = bridge_testing::BridgePath();
    std::vector<char*> argv = Argv(program, args);
    pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
    ASSERT_GE(pid_, 0);
    if (pid_ == 0) {
      execv(program.c_str(), argv.data());
      _exit(127);
    }
  }

  // Reads the terminal until text has appeared (true) or it has closed.
  bool ReadUntil(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (output_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd fd = {master_, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return false;  // EIO: the bridge and its children have let go of it
      output_.append(buffer, static_cast<size_t>(n));
    }
    return true;
  }

  // The exit code, or -1 when the bridge did not end in time or by a signal.
  int ExitCode() {
    int status = 0;
    ended_ = WaitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, kPatience);
    return ended_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  bool StillRunning() { return waitpid(pid_, nullptr, WNOHANG) == 0; }

  TempDir dir_;
  pid_t pid_ = -1;
  int master_ = -1;
  bool ended_ = false;
  std::string output_;
};

TEST_F(BridgeConsoleTest, ShowsEveryFileAndReportsOnlyTheInfectedOne) {
  SetEnv(bridge::kClamdConfigOverride, dir_.Join("no clamd.conf"));
  const std::string database = dir_.Join("signatures");
  bridge_testing::WriteEicarDatabase(database);
  const std::string files = dir_.Join("files");
  std::filesystem::create_directories(FsPath(files + "/deeper"));
  WriteTextFile(files + "/first clean.txt", "nothing\n");
  WriteTextFile(files + "/deeper/second: clean.txt", "nothing either\n");
  const std::string eicar = files + "/deeper/eicar.com";
  WriteTextFile(eicar, bridge_testing::EicarTestFile());
  const std::string report = dir_.Join("report.txt");

  StartInTerminal({files, "/sub", "/report", report, "-d", database});
  ReadUntil("\x01");  // everything, until the terminal closes
  EXPECT_EQ(ExitCode(), 13);
  for (const std::string& shown : {files + "/first clean.txt" + bridge::texts::kClean,
                                   files + "/deeper/second: clean.txt" + bridge::texts::kClean,
                                   bridge::texts::kInfectedMark + eicar + ": Eicar-Test-Signature",
                                   std::string(bridge::texts::kSummaryFiles) + "3"})
    EXPECT_NE(output_.find(shown), std::string::npos) << shown << "\n" << output_;
  const std::string written = ReadTextFile(report);
  EXPECT_NE(written.find(eicar + ": Eicar-Test-Signature"), std::string::npos) << written;
  EXPECT_EQ(written.find("clean.txt"), std::string::npos) << written;
}

// A refused switch: the bridge ends with 2 before it scans anything.
// What the terminal reports of its own accord (device attributes, cursor
// position, focus, a colour, in 7 and 8 bits) is no key; a letter, the
// Escape key alone and a cursor key are.
TEST_F(BridgeConsoleTest, AnErrorWaitsForAKeyOnATerminalOnly) {
  const std::string reports =
      "\x1b[?1;2c\x1b[24;80R\x1b[I\x1b]11;rgb:0000/0000/0000\x1b\\\x9b?64;1c\x1bP1$r0m\x1b\\";
  for (const std::string key : {"x", "\x1b", "\x1b[A"}) {
    SCOPED_TRACE(testing::PrintToString(key));
    ended_ = false;
    StartInTerminal({dir_.path(), "/turbo"});
    ASSERT_TRUE(ReadUntil(bridge::texts::kPressAnyKey)) << output_;
    EXPECT_NE(output_.find("/turbo"), std::string::npos) << output_;
    ASSERT_EQ(write(master_, reports.data(), reports.size()), static_cast<ssize_t>(reports.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(StillRunning());
    ASSERT_EQ(write(master_, key.data(), key.size()), static_cast<ssize_t>(key.size()));
    EXPECT_EQ(ExitCode(), 2);
    close(master_);
    master_ = -1;
    output_.clear();
  }

  // The same with /dev/null as input ends at once.
  const std::string program = bridge_testing::BridgePath();
  const Strings args = {dir_.path(), "/turbo"};
  std::vector<char*> argv = Argv(program, args);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  ended_ = false;
  ASSERT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(ExitCode(), 2);
}

TEST_F(BridgeConsoleTest, AClosedTerminalEndsTheWaitWithTheError) {
  StartInTerminal({dir_.path(), "/turbo"});
  ASSERT_TRUE(ReadUntil(bridge::texts::kPressAnyKey)) << output_;
  // Closing the terminal hangs up its session.
  close(master_);
  master_ = -1;
  EXPECT_EQ(ExitCode(), 2);
}

}  // namespace
