#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bridge.h"
#include "bridge_texts.h"
#include "clamd_config.h"
#include "file_checks_posix.h"

extern char** environ;

namespace bridge {

namespace {

// Signal handlers only note what happened and write a byte to this pipe;
// the wait loop polls it, so neither a stop request nor the end of the child
// can slip in between a test and the wait.
int g_wakePipe[2] = {-1, -1};
volatile sig_atomic_t g_stopSignal = 0;

void Wake() {
  const int saved = errno;
  const char byte = 0;
  if (g_wakePipe[1] >= 0 && write(g_wakePipe[1], &byte, 1) < 0) {
    // A full pipe is awake already.
  }
  errno = saved;
}

void OnStopSignal(int signal) {
  g_stopSignal = signal;
  Wake();
}

void OnChildSignal(int) { Wake(); }

void SetHandler(int signal, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | (signal == SIGCHLD ? SA_NOCLDSTOP : 0);
  sigaction(signal, &action, nullptr);
}

void EnsureWakePipe() {
  static const bool ready = [] {
    if (pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) g_wakePipe[0] = g_wakePipe[1] = -1;
    SetHandler(SIGCHLD, OnChildSignal);
    return true;
  }();
  (void)ready;
}

void DrainWakePipe() {
  char buffer[64];
  while (g_wakePipe[0] >= 0 && read(g_wakePipe[0], buffer, sizeof buffer) > 0) {
  }
}

// How long a child may take to end after it was asked to stop.
constexpr auto kStopGrace = std::chrono::seconds(3);

}  // namespace

PathStyle NativePathStyle() { return PathStyle::kPosix; }

std::string FindClamscan(std::string* problem) {
  if (const char* override = std::getenv(kClamscanOverride); override && *override) {
    if (IsExecutableFile(override)) return override;
    *problem = texts::kErrorOverrideMissing + std::string(override);
    return {};
  }
  std::string clamscan = FindOnPath("clamscan");
  if (clamscan.empty()) *problem = texts::kErrorMissingClamscanPosix;
  return clamscan;
}

std::string ClamdConfigPath(const std::string&) {
  if (const char* override = std::getenv(kClamdConfigOverride)) return override;
  return "/etc/clamav/clamd.conf";
}

DriveSelection GatherDrives(bool local, bool network) {
  std::ifstream mounts("/proc/self/mounts");
  std::ostringstream text;
  text << mounts.rdbuf();
  return SelectPosixDrives(text.str(), local, network);
}

RunOutcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const OutputSink& sink) {
  EnsureWakePipe();
  RunOutcome outcome;

  // Output and error stream each through a pipe of their own.
  int pipes[2][2] = {{-1, -1}, {-1, -1}};
  for (auto& ends : pipes)
    if (pipe2(ends, O_CLOEXEC) != 0) {
      outcome.startError = std::strerror(errno);
      for (auto& open : pipes)
        for (int fd : open)
          if (fd >= 0) close(fd);
      return outcome;
    }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipes[0][1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipes[1][1], STDERR_FILENO);
  // The child starts with the usual signal handling, whatever the bridge does.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGHUP, SIGTERM, SIGCHLD, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  pid_t child = 0;
  const int error =
      posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  int reading[2] = {pipes[0][0], pipes[1][0]};
  for (auto& ends : pipes) close(ends[1]);
  if (error != 0) {
    for (int fd : reading) close(fd);
    outcome.startError = std::strerror(error);
    outcome.stopRequested = g_stopSignal != 0;
    return outcome;
  }
  outcome.started = true;

  // Reads what one stream has; closes it at its end.
  char buffer[16 * 1024];
  const auto readFrom = [&](int stream) {
    const ssize_t n = read(reading[stream], buffer, sizeof buffer);
    if (n > 0) {
      sink(std::string_view(buffer, static_cast<size_t>(n)), stream == 1);
    } else if (n == 0 || errno != EINTR) {
      close(reading[stream]);
      reading[stream] = -1;
    }
  };

  int status = 0;
  bool reaped = false;
  bool asked = false;
  bool killed = false;
  std::chrono::steady_clock::time_point deadline;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      reaped = true;
      break;
    }
    if (done < 0 && errno != EINTR) break;

    // A stop request goes on to the child; one that does not end in time is killed.
    int timeout = -1;
    if (g_stopSignal != 0 && !asked) {
      kill(child, g_stopSignal);
      asked = true;
      deadline = std::chrono::steady_clock::now() + kStopGrace;
    }
    if (asked && !killed) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) {
        kill(child, SIGKILL);
        killed = true;
      } else {
        timeout = static_cast<int>(left);
      }
    }

    // A closed stream stays in the list with -1, which poll passes over.
    pollfd fds[3] = {{g_wakePipe[0], POLLIN, 0}, {reading[0], POLLIN, 0}, {reading[1], POLLIN, 0}};
    poll(fds, 3, timeout);
    DrainWakePipe();
    for (int stream = 0; stream < 2; ++stream)
      if (reading[stream] >= 0 && fds[stream + 1].revents != 0) readFrom(stream);
  }
  // What the child wrote just before it ended. A grandchild that holds a
  // stream open would keep it from ending: no longer than the grace time.
  const auto last = std::chrono::steady_clock::now() + kStopGrace;
  while ((reading[0] >= 0 || reading[1] >= 0) && std::chrono::steady_clock::now() < last) {
    pollfd fds[2] = {{reading[0], POLLIN, 0}, {reading[1], POLLIN, 0}};
    if (poll(fds, 2, 100) < 0 && errno != EINTR) break;
    for (int stream = 0; stream < 2; ++stream)
      if (reading[stream] >= 0 && fds[stream].revents != 0) readFrom(stream);
  }
  for (int fd : reading)
    if (fd >= 0) close(fd);

  outcome.stopRequested = g_stopSignal != 0;
  if (reaped && WIFEXITED(status)) {
    outcome.end = {ChildEnd::Kind::kExited, WEXITSTATUS(status)};
  } else if (reaped && WIFSIGNALED(status) &&
             (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGHUP ||
              WTERMSIG(status) == SIGTERM)) {
    outcome.end = {ChildEnd::Kind::kInterrupted, 0};
  }
  return outcome;
}

void InstallStopHandlers() {
  EnsureWakePipe();
  for (int signal : {SIGINT, SIGHUP, SIGTERM}) SetHandler(signal, OnStopSignal);
  // A console that is gone makes writing fail instead of ending the bridge;
  // clamscan starts with the default again.
  signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return g_stopSignal != 0; }

void PrintToConsole(const std::string& line, bool error) {
  std::FILE* stream = error ? stderr : stdout;
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

void WaitForKeyAfterError() {
  // Only on this process's own controlling terminal (the window it runs
  // in): on a terminal merely inherited from elsewhere nobody may be
  // watching, and the prompt would hold the scan up unseen.
  termios saved;
  if (!isatty(STDIN_FILENO) || tcgetsid(STDIN_FILENO) != getsid(0) ||
      tcgetattr(STDIN_FILENO, &saved) != 0)
    return;
  // One key, unseen, without Enter; keys typed during the scan do not count.
  termios raw = saved;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  tcflush(STDIN_FILENO, TCIFLUSH);
  PrintToConsole(texts::kPressAnyKey, false);
  // A hang-up, Ctrl+C or SIGTERM wakes the wait as a key does.
  while (g_stopSignal == 0) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    DrainWakePipe();
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
    if (fds[0].revents & POLLIN) {
      char key;
      if (read(STDIN_FILENO, &key, 1) >= 0 || errno != EINTR) break;
    }
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace bridge
