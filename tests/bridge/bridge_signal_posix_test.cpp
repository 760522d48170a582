// Stopping the bridge on Linux: Ctrl+C (SIGINT), a closed terminal (SIGHUP)
// or SIGTERM while clamscan works end the bridge with 102, "execution
// stopped", and clamscan with it.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bridge.h"
#include "clamd_config.h"
#include "bridge_test_support.h"
#include "test_support.h"

extern char** environ;

namespace {

using namespace testing_support;

constexpr auto kPatience = std::chrono::seconds(60);

bool WaitUntil(const std::function<bool()>& done) {
  return testing_support::WaitUntil(done, kPatience);
}

class BridgeSignalTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    record_ = dir_.Join("record.txt");
    SetEnv("QUORVEL_FAKE_CLAMSCAN_RECORD", record_);
    SetEnv("QUORVEL_FAKE_CLAMSCAN_SLEEP_MS", "600000");
    SetEnv(bridge::kClamscanOverride, bridge_testing::FakeClamscanPath());
    SetEnv(bridge::kClamdConfigOverride, dir_.Join("no clamd.conf"));
  }
  void TearDown() override {
    for (const char* name : {"QUORVEL_FAKE_CLAMSCAN_RECORD", "QUORVEL_FAKE_CLAMSCAN_SLEEP_MS",
                             bridge::kClamscanOverride, bridge::kClamdConfigOverride})
      SetEnv(name, "");
  }

  TempDir dir_;
  std::string record_;
};

TEST_P(BridgeSignalTest, StopsClamscanAndEndsWith102) {
  const std::string program = bridge_testing::BridgePath();
  const std::string target = dir_.path();
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(target.c_str()),
                             const_cast<char*>("/sub"), nullptr};
  pid_t bridgePid = 0;
  ASSERT_EQ(posix_spawn(&bridgePid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);

  // clamscan is at work once its record is there.
  ASSERT_TRUE(WaitUntil([&] { return FileExists(record_); }));
  std::vector<long> clamscanPids;
  ASSERT_EQ(bridge_testing::ReadClamscanRuns(record_, &clamscanPids).size(), 1u);

  ASSERT_EQ(kill(bridgePid, GetParam()), 0);
  int status = 0;
  const bool ended = WaitUntil([&] { return waitpid(bridgePid, &status, WNOHANG) == bridgePid; });
  if (!ended) {
    kill(bridgePid, SIGKILL);
    waitpid(bridgePid, &status, 0);
    kill(static_cast<pid_t>(clamscanPids[0]), SIGKILL);
    FAIL() << "the bridge did not end";
  }
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 102);
  // The bridge waited for clamscan, which is gone.
  errno = 0;
  EXPECT_EQ(kill(static_cast<pid_t>(clamscanPids[0]), 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

INSTANTIATE_TEST_SUITE_P(StopSignals, BridgeSignalTest, ::testing::Values(SIGINT, SIGHUP, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT   ? "Interrupt"
                                              : info.param == SIGHUP ? "HangUp"
                                                                     : "Terminate");
                         });

}  // namespace
