// Stopping the bridge on Linux: Ctrl+C (SIGINT), a closed terminal (SIGHUP)
// or SIGTERM in the middle of a scan end it at once with 102, "execution
// stopped", the report keeps what was done with a line saying so, and the
// scan's temporary folder goes. The scan waits on a daemon that answers PING
// and the first file of a session, then nothing; its console is a full pipe
// that nobody reads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
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

constexpr auto kPatience = std::chrono::seconds(60);

class HangingDaemon {
 public:
  explicit HangingDaemon(const std::string& path) {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 16);
    thread_ = std::thread([this] { Serve(); });
  }
  ~HangingDaemon() {
    done_ = true;
    thread_.join();
    for (int fd : connections_) close(fd);
    close(listener_);
  }

 private:
  void Serve() {
    std::vector<std::string> pending;
    bool answeredAFile = false;
    while (!done_) {
      std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
      for (int fd : connections_) fds.push_back({fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 50) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        connections_.push_back(accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
        pending.emplace_back();
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        // Descriptors passed along are closed by the kernel with the message.
        char buffer[256];
        const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (n <= 0) continue;
        std::string& text = pending[i - 1];
        text.append(buffer, static_cast<size_t>(n));
        // PING is answered, as clamd does, with a reply and the end of the
        // connection; in a session, the first file (its number is 1).
        const std::string session("zIDSESSION\0zFILDES", 18);
        if (text == std::string("zPING", 6)) {
          send(fds[i].fd, "PONG", 5, MSG_NOSIGNAL);
          shutdown(fds[i].fd, SHUT_RDWR);
        } else if (text.size() > session.size() && text.compare(0, session.size(), session) == 0 &&
                   !answeredAFile) {
          answeredAFile = true;
          send(fds[i].fd, "1: fd[10]: OK", 14, MSG_NOSIGNAL);
        }
      }
    }
  }

  int listener_ = -1;
  std::vector<int> connections_;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class BridgeStopTest : public ::testing::TestWithParam<int> {};

TEST_P(BridgeStopTest, EndsAtOnceWith102AndTheReportSaysSo) {
  TempDir dir;
  HangingDaemon daemon(dir.Join("clamd.sock"));
  const std::string conf = dir.Join("clamd.conf");
  WriteTextFile(conf, "LocalSocket " + dir.Join("clamd.sock") + "\n");
  const std::string files = dir.Join("files"), report = dir.Join("report.txt");
  std::filesystem::create_directories(files);
  for (int i = 0; i < 6; ++i) WriteTextFile(files + "/file" + std::to_string(i), "nothing\n");
  SetEnv(bridge::kClamdConfigOverride, conf);
  // The scan's temporary folder goes here, and goes with the stopped bridge.
  const std::string temporary = dir.Join("tmp");
  std::filesystem::create_directories(temporary);
  const ScopedEnv noRuntimeFolder("XDG_RUNTIME_DIR", ""), temporaryFolder("TMPDIR", temporary);

  const std::string program = bridge_testing::BridgePath();
  std::vector<std::string> args = {program, files, "/rptall", "/report", report};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int console[2];
  ASSERT_EQ(pipe2(console, O_CLOEXEC | O_NONBLOCK), 0);
  const std::string filler(4096, 'x');
  while (write(console[1], filler.data(), filler.size()) > 0) {
  }
  fcntl(console[1], F_SETFL, 0);  // the bridge's writes wait, as on a paused terminal
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, console[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, console[1], STDERR_FILENO);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  SetEnv(bridge::kClamdConfigOverride, "");

  // Stopped once the first file is in the report and the others wait on the daemon.
  const bool oneDone = WaitUntil(
      [&] { return ReadTextFile(report).find(bridge::texts::kClean) != std::string::npos; },
      kPatience);
  ASSERT_EQ(kill(pid, GetParam()), 0);
  int status = 0;
  const auto signalled = std::chrono::steady_clock::now();
  const bool ended =
      WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, std::chrono::seconds(10));
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(console[0]);
  close(console[1]);
  ASSERT_TRUE(oneDone && ended) << ReadTextFile(report);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(3));
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 102);
  const std::string written = ReadTextFile(report);
  EXPECT_NE(written.find(std::string(bridge::texts::kSummaryFiles) + "1\n"), std::string::npos)
      << written;
  EXPECT_NE(written.rfind(std::string(bridge::texts::kStopped) + "\n"), std::string::npos)
      << written;
  EXPECT_TRUE(
      WaitUntil([&] { return std::filesystem::is_empty(temporary); }, std::chrono::seconds(10)));
}

INSTANTIATE_TEST_SUITE_P(StopSignals, BridgeStopTest, ::testing::Values(SIGINT, SIGHUP, SIGTERM),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGINT   ? "Interrupt"
                                              : info.param == SIGHUP ? "HangUp"
                                                                     : "Terminate");
                         });

}  // namespace
