// The scanner on Linux. Windows gives a console program started by a window
// program a console window of its own; here the scanner runs in a terminal
// window of its own instead: the terminal runs the console helper
// (quorvel-console, beside the program), which starts the scanner on the
// terminal's pseudo-terminal and brings its real exit status back over a
// private socket (base/console_channel_posix.h). Terminals started over
// D-Bus do not run their command as their own child, so the terminal's own
// exit status tells nothing about the scanner.
//
// Where no terminal can be started (no display, none installed, no helper)
// the scanner is started directly, in a session of its own with no terminal
// and /dev/null as its input, so a scan always works and never waits for a
// key in a terminal nobody watches.
#include "scan/scanner_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/console_channel_posix.h"
#include "base/descriptor_posix.h"
#include "base/file_checks_posix.h"
#include "base/program_spawn_posix.h"
#include "base/terminal_launch_posix.h"
#include "scan/command_line_split.h"
#include "support/fs_helpers.h"

extern char** environ;

namespace {

using console_channel::Status;
using console_channel::StatusKind;

constexpr char kConsoleHelperName[] = "quorvel-console";

bool EnvironmentHas(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// What Windows checks before it opens a console: the file exists, is a
// regular file we may execute, and is a program (an ELF image or a script
// with "#!"). A file we may execute but not read is left to the system.
int CheckProgram(const std::string& path) {
  if (const int error = ExecutableFileError(path)) return error;
  Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (file.get() < 0) return 0;
  char magic[4] = {};
  ssize_t got;
  do {
    got = read(file.get(), magic, sizeof magic);
  } while (got < 0 && errno == EINTR);
  if (got == 4 && std::memcmp(magic,
                              "\x7f"
                              "ELF",
                              4) == 0)
    return 0;
  if (got >= 2 && magic[0] == '#' && magic[1] == '!') return 0;
  return ENOEXEC;
}

// Only characters no terminal splits, quotes or takes for an option: these
// are the only strings that pass through a terminal's argument parsing.
bool IsPlainAbsolutePath(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (const char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '.' || c == '_' || c == '-';
    if (!plain) return false;
  }
  return true;
}

// Reaps a process of ours without waiting for it here: at once when it has
// ended, else on a small thread of its own, so that neither a zombie is left
// nor the scan's end held up by a terminal that stays open.
void ReapLater(pid_t child) {
  if (child <= 0) return;
  int status = 0;
  pid_t ended;
  do {
    ended = waitpid(child, &status, WNOHANG);
  } while (ended < 0 && errno == EINTR);
  if (ended != 0) return;
  try {
    std::thread([child] {
      int ignored = 0;
      while (waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the terminal stays a zombie until the program ends.
  }
}

// The base for the channel directory: $XDG_RUNTIME_DIR when it is this
// user's alone and its name is plain, else /tmp (where mkdtemp makes a name
// nobody can have taken first).
std::string ChannelBase() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && IsPlainAbsolutePath(runtime)) {
    // Room for "/quorvel-XXXXXX/socket" in a socket address.
    const bool fits = std::strlen(runtime) + 24 < sizeof(sockaddr_un{}.sun_path);
    if (fits && IsPrivateDirectory(runtime)) return runtime;
  }
  return "/tmp";
}

// A directory of this user's own (mode 0700) holding the listening socket
// and, when needed, a link to the helper. Everything in it is removed once
// the helper has connected, and on every path that gives up.
class ChannelDirectory {
 public:
  ChannelDirectory() = default;
  ~ChannelDirectory() { Remove(); }
  ChannelDirectory(const ChannelDirectory&) = delete;
  ChannelDirectory& operator=(const ChannelDirectory&) = delete;

  bool Create() {
    std::string pattern = ChannelBase() + "/quorvel-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    path_ = pattern;
    return true;
  }
  const std::string& path() const { return path_; }
  std::string socketPath() const { return path_ + "/" + console_channel::kSocketName; }
  std::string linkPath() const { return path_ + "/console"; }

  // Opens the socket the helper connects to.
  int Listen() {
    const std::string name = socketPath();
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.size() >= sizeof address.sun_path) return -1;
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    Descriptor listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (listener.get() < 0 ||
        bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.get(), 1) != 0)
      return -1;
    return listener.Release();
  }

  void Remove() {
    if (path_.empty()) return;
    unlink(socketPath().c_str());
    unlink(linkPath().c_str());
    rmdir(path_.c_str());
    path_.clear();
  }

 private:
  std::string path_;
};

// A started terminal: our child, reaped exactly once.
struct Terminal {
  pid_t pid = 0;
  bool ended = false;
  int status = 0;

  void Poll() {
    if (ended) return;
    pid_t result;
    do {
      result = waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result != 0) ended = true;  // reaped, or not ours to wait for
  }
  bool Failed() const { return ended && !(WIFEXITED(status) && WEXITSTATUS(status) == 0); }
  void ReapLater() {
    if (!ended) ::ReapLater(pid);
    ended = true;
  }
  // A launcher that never ran the helper, with whatever it started in its
  // session (a message window, say).
  void End() {
    Poll();
    if (!ended) kill(-pid, SIGKILL);
    ReapLater();
  }
};

// Waits for the helper in the terminal to connect. Gives up when the
// terminal failed before connecting, or when its patience runs out.
int AcceptHelper(int listener, Terminal* terminal, std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < deadline) {
    terminal->Poll();
    if (terminal->Failed()) return -1;
    pollfd ready = {listener, POLLIN, 0};
    const int result = poll(&ready, 1, 100);
    if (result < 0 && errno != EINTR) return -1;
    if (result <= 0) continue;
    Descriptor connection(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (connection.get() >= 0 && console_channel::PeerIsThisUser(connection.get()))
      return connection.Release();
  }
  return -1;
}

enum class ConsoleStart { kStarted, kFailed, kUnavailable };

// Starts the scanner in a terminal window through the console helper. On
// kStarted the channel and the terminal are the caller's; on kFailed the
// helper could not start the scanner (*error tells why); on kUnavailable no
// terminal ran the helper and nothing was started.
ConsoleStart StartInTerminal(const std::vector<std::string>& arguments, int* channel,
                             pid_t* terminalId, int* error) {
  if (!EnvironmentHas("DISPLAY") && !EnvironmentHas("WAYLAND_DISPLAY"))
    return ConsoleStart::kUnavailable;
  const std::string helper = GetModuleRelativePath(kConsoleHelperName);
  if (helper.empty() || !IsExecutableFile(helper)) return ConsoleStart::kUnavailable;

  ChannelDirectory directory;
  if (!directory.Create()) return ConsoleStart::kUnavailable;
  std::string helperArgument = helper;
  if (!IsPlainAbsolutePath(helper)) {
    if (symlink(helper.c_str(), directory.linkPath().c_str()) != 0)
      return ConsoleStart::kUnavailable;
    helperArgument = directory.linkPath();
  }
  if (!IsPlainAbsolutePath(directory.path())) return ConsoleStart::kUnavailable;
  Descriptor listener(directory.Listen());
  if (listener.get() < 0) return ConsoleStart::kUnavailable;

  std::vector<std::string> environment;
  for (char** each = environ; *each; ++each) environment.emplace_back(*each);

  for (const char* name : kTerminalNames) {
    const std::string program = FindOnPath(name);
    if (program.empty()) continue;
    std::string realPath = program;
    if (char* resolved = realpath(program.c_str(), nullptr)) {
      realPath = resolved;
      std::free(resolved);
    }
    const TerminalLaunch launch =
        TerminalLaunchFor(program, realPath, {helperArgument, directory.path()}, environment);
    if (launch.arguments.empty()) continue;
    std::vector<char*> terminalEnvironment;
    for (const std::string& entry : launch.environment)
      terminalEnvironment.push_back(const_cast<char*>(entry.c_str()));
    terminalEnvironment.push_back(nullptr);
    Terminal terminal;
    SpawnOptions options;
    options.ownSession = true;
    options.nullInput = true;
    if (SpawnProgram(launch.arguments, terminalEnvironment.data(), options, &terminal.pid) != 0)
      continue;

    Descriptor connection(AcceptHelper(listener.get(), &terminal, launch.patience));
    if (connection.get() < 0) {
      // This terminal could not run (no display for it, say) or never ran
      // the helper: the next may.
      terminal.End();
      continue;
    }
    // Nothing is left behind, and a helper that comes late finds nobody.
    directory.Remove();
    listener.Close();

    console_channel::Request request;
    request.arguments = arguments;
    request.environment = environment;
    if (char* cwd = getcwd(nullptr, 0)) {
      request.currentDirectory = cwd;
      std::free(cwd);
    }

    Status status;
    if (!console_channel::SendRequest(connection.get(), request) ||
        !console_channel::ReceiveStatus(connection.get(), &status) ||
        status.kind != StatusKind::kStarted) {
      *error = status.kind == StatusKind::kSpawnFailed ? static_cast<int>(status.value) : EPROTO;
      terminal.ReapLater();
      return ConsoleStart::kFailed;
    }
    *channel = connection.Release();
    *terminalId = terminal.pid;
    return ConsoleStart::kStarted;
  }
  return ConsoleStart::kUnavailable;
}

}  // namespace

ScannerProcess::~ScannerProcess() { Close(); }

bool ScannerProcess::Start(const std::string& commandLine, SystemErrorCode* error) {
  Close();

  // One line means the same program and arguments as on Windows. The first
  // argument is the program's path, taken as it is: no search of PATH and no
  // shell in between.
  const std::vector<std::string> arguments = SplitCommandLine(commandLine);
  int result = arguments.empty() || arguments[0].empty() ? ENOENT : CheckProgram(arguments[0]);
  if (result == 0) {
    int channel = -1;
    pid_t terminal = 0;
    switch (StartInTerminal(arguments, &channel, &terminal, &result)) {
      case ConsoleStart::kStarted:
        channel_ = channel;
        terminal_ = terminal;
        return true;
      case ConsoleStart::kFailed:
        break;
      case ConsoleStart::kUnavailable: {
        SpawnOptions options;
        options.ownSession = true;
        options.nullInput = true;
        pid_t child = 0;
        result = SpawnProgram(arguments, environ, options, &child);
        if (result == 0) process_ = static_cast<intptr_t>(child);
        break;
      }
    }
  }
  if (result != 0 && error) *error = static_cast<SystemErrorCode>(result);
  return result == 0;
}

bool ScannerProcess::WaitForExitCode(uint32_t* exitCode) {
  if (channel_ >= 0) {
    // The helper's last word is the scanner's status; a channel that ends
    // without it (the helper was killed) leaves the code unknown.
    Status status;
    bool known = false;
    while (!known && console_channel::ReceiveStatus(static_cast<int>(channel_), &status)) {
      if (status.kind == StatusKind::kExited) {
        *exitCode = static_cast<uint32_t>(status.value);
        known = true;
      } else if (status.kind == StatusKind::kSignalled) {
        *exitCode = kNoExitCode;
        known = true;
      }
    }
    Close();
    return known;
  }

  if (process_ <= 0) return false;
  int status = 0;
  pid_t ended;
  do {
    ended = waitpid(static_cast<pid_t>(process_), &status, 0);
  } while (ended < 0 && errno == EINTR);
  if (ended < 0) return false;
  // Reaped: the id may now belong to another process.
  process_ = 0;
  if (WIFEXITED(status)) {
    *exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
    return true;
  }
  if (WIFSIGNALED(status)) {
    *exitCode = kNoExitCode;
    return true;
  }
  return false;
}

// A scanner that was never waited for is left running; so are the helper and
// its terminal, whose end is collected in the background.
void ScannerProcess::Close() {
  if (channel_ >= 0) close(static_cast<int>(channel_));
  channel_ = -1;
  ReapLater(static_cast<pid_t>(terminal_));
  terminal_ = 0;
  process_ = 0;
}
