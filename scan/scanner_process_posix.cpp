#include "scanner_process.h"

#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "command_line_split.h"

extern char** environ;

namespace {

// posix_spawn's attribute and file-action records, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributesReady_ = posix_spawnattr_init(&attributes_) == 0;
    actionsReady_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (actionsReady_) posix_spawn_file_actions_destroy(&actions_);
    if (attributesReady_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // The scanner gets a session of its own (so it outlives the program and
  // a signal to the program's process group does not reach it), an empty
  // signal mask and default signal actions (the program's own handlers and
  // ignored signals mean nothing to it), and only the standard streams.
  int Prepare() {
    if (!attributesReady_ || !actionsReady_) return ENOMEM;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    int result = posix_spawnattr_setsigmask(&attributes_, &none);
    if (result == 0) result = posix_spawnattr_setsigdefault(&attributes_, &all);
    if (result == 0)
      result = posix_spawnattr_setflags(
          &attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
#if defined(__GLIBC__)
#if __GLIBC_PREREQ(2, 34)
    // Descriptors opened without O_CLOEXEC (by us or a library) stay here.
    if (result == 0) result = posix_spawn_file_actions_addclosefrom_np(&actions_, 3);
#endif
#endif
    return result;
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  bool attributesReady_ = false;
  bool actionsReady_ = false;
};

}  // namespace

ScannerProcess::~ScannerProcess() { Close(); }

bool ScannerProcess::Start(const std::string& commandLine, SystemErrorCode* error) {
  Close();

  // One line means the same program and arguments as on Windows. The first
  // argument is the program's path, taken as it is: no search of PATH and no
  // shell in between.
  std::vector<std::string> arguments = SplitCommandLine(commandLine);
  if (arguments.empty() || arguments[0].empty()) {
    if (error) *error = ENOENT;
    return false;
  }
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  SpawnSetup setup;
  int result = setup.Prepare();
  pid_t child = 0;
  if (result == 0)
    result =
        posix_spawn(&child, argv[0], setup.actions(), setup.attributes(), argv.data(), environ);
  if (result != 0) {
    if (error) *error = static_cast<SystemErrorCode>(result);
    return false;
  }
  process_ = static_cast<intptr_t>(child);
  return true;
}

bool ScannerProcess::WaitForExitCode(uint32_t* exitCode) {
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

// A process id holds nothing that needs releasing; a scanner that was never
// waited for is left running.
void ScannerProcess::Close() {
  process_ = 0;
  thread_ = 0;
}
