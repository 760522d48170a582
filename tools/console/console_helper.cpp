// quorvel-console: runs the scanner inside the terminal window the program
// opened for it, as a console program runs in its console on Windows.
//
//   quorvel-console <channel-directory>
//
// Connects to the program's socket in that directory, receives the scanner's
// arguments, environment and current directory, names the window after the
// scanner, starts it on this terminal in the terminal's foreground process
// group (so Ctrl+C reaches the scanner, which decides what to do with it),
// and reports "started", then the scanner's exit status. When the terminal
// is closed the scanner is hung up on, and killed if it has not ended after a
// grace time, as Windows ends a program whose console was closed. If the
// program has gone away meanwhile, the scan runs on to its end all the same.
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/console_channel_posix.h"
#include "base/program_spawn_posix.h"

namespace {

using console_channel::Status;
using console_channel::StatusKind;

// How long a hung-up scanner may take to end before it is killed.
constexpr int kHangUpGraceSeconds = 5;

int Connect(const std::string& directory) {
  const std::string name = directory + "/" + console_channel::kSocketName;
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (name.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  const int channel = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (channel < 0) return -1;
  int result;
  do {
    result = connect(channel, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0 || !console_channel::PeerIsThisUser(channel)) {
    close(channel);
    return -1;
  }
  return channel;
}

// The window's title, set by the terminal's own escape sequence rather than
// an option, so that no path passes through the terminal's argument parsing.
// Control characters would end the sequence early and are replaced.
void SetTitle(const std::string& title) {
  if (!isatty(STDOUT_FILENO)) return;
  std::string sequence = "\033]0;";
  for (const char c : title)
    sequence += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  sequence += '\a';
  std::fwrite(sequence.data(), 1, sequence.size(), stdout);
  std::fflush(stdout);
}

// The scanner's streams are this terminal: its type is the terminal's, not
// that of wherever the program was started.
std::vector<std::string> WithThisTerminalType(const std::vector<std::string>& environment) {
  std::vector<std::string> result;
  for (const std::string& each : environment)
    if (each.rfind("TERM=", 0) != 0) result.push_back(each);
  if (const char* type = std::getenv("TERM")) result.push_back(std::string("TERM=") + type);
  return result;
}

// Waits for the scanner, passing a hang-up of the terminal (or a request to
// end) on to it. Stop signals are blocked and taken here one by one, so none
// can slip in between a test and the wait. No value when the scanner's
// status cannot be had.
std::optional<int> WaitForScanner(pid_t scanner, pid_t target, const sigset_t& waited) {
  bool hungUp = false;
  bool killed = false;
  timespec deadline = {};
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(scanner, &status, WNOHANG);
    if (ended == scanner) return status;
    if (ended < 0 && errno != EINTR) return std::nullopt;

    int signal;
    if (hungUp && !killed) {
      timespec now = {};
      clock_gettime(CLOCK_MONOTONIC, &now);
      timespec left = {deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
      if (left.tv_nsec < 0) {
        left.tv_nsec += 1000000000L;
        --left.tv_sec;
      }
      if (left.tv_sec < 0) {
        kill(target, SIGKILL);
        killed = true;
        continue;
      }
      signal = sigtimedwait(&waited, nullptr, &left);
    } else {
      signal = sigwaitinfo(&waited, nullptr);
    }
    if ((signal == SIGHUP || signal == SIGTERM) && !hungUp) {
      hungUp = true;
      kill(target, SIGHUP);
      clock_gettime(CLOCK_MONOTONIC, &deadline);
      deadline.tv_sec += kHangUpGraceSeconds;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: quorvel-console <channel-directory>\n", stderr);
    return 2;
  }
  // The terminal's Ctrl+C and Ctrl+\ are the scanner's to handle; hang-ups,
  // end requests and the scanner's end are taken by WaitForScanner.
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGQUIT, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGCHLD, SIG_DFL);
  sigset_t waited;
  sigemptyset(&waited);
  sigaddset(&waited, SIGHUP);
  sigaddset(&waited, SIGTERM);
  sigaddset(&waited, SIGCHLD);
  sigprocmask(SIG_BLOCK, &waited, nullptr);

  const int channel = Connect(argv[1]);
  console_channel::Request request;
  if (channel < 0 || !console_channel::ReceiveRequest(channel, &request)) {
    std::fputs("quorvel-console: the program that opened this window is not answering.\n", stderr);
    return 1;
  }

  SetTitle(request.arguments[0]);
  if (!request.currentDirectory.empty() && chdir(request.currentDirectory.c_str()) != 0) {
    // The program's folder is gone: the scanner starts where the terminal did.
  }
  std::vector<std::string> environment = WithThisTerminalType(request.environment);
  std::vector<char*> envp;
  for (std::string& each : environment) envp.push_back(each.data());
  envp.push_back(nullptr);

  SpawnOptions options;
  options.ownProcessGroup = true;
  if (isatty(STDIN_FILENO)) options.foregroundTerminal = STDIN_FILENO;
  pid_t scanner = 0;
  const int result = SpawnProgram(request.arguments, envp.data(), options, &scanner);
  if (result != 0) {
    console_channel::SendStatus(channel, {StatusKind::kSpawnFailed, result});
    return 1;
  }
  console_channel::SendStatus(channel, {StatusKind::kStarted, scanner});

  // The whole process group: whatever the scanner started on this terminal
  // is hung up on with it, as every program attached to a closed console.
  const std::optional<int> status = WaitForScanner(scanner, -scanner, waited);
  if (!status) return 1;
  if (WIFEXITED(*status))
    console_channel::SendStatus(channel, {StatusKind::kExited, WEXITSTATUS(*status)});
  else
    console_channel::SendStatus(channel, {StatusKind::kSignalled, WTERMSIG(*status)});
  close(channel);
  return 0;
}
