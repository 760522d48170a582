#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "support/shell_open.h"
#include "base/file_checks_posix.h"
#include "base/terminal_launch_posix.h"
#include "base/text_format.h"
#include "res/texts.h"

extern char** environ;

namespace {

// How often the UI thread looks whether the opener has ended.
constexpr int kOpenerPollMilliseconds = 100;

// What the opener left on its error stream: the last line of at most 16 KiB.
std::string LastMessageLine(int file) {
  char buffer[16384];
  const ssize_t length = pread(file, buffer, sizeof buffer, 0);
  std::string text(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  const size_t lineStart = text.rfind('\n');
  return lineStart == std::string::npos ? text : text.substr(lineStart + 1);
}

// The failure an opener's wait status tells, with its words; code 0 when it
// succeeded.
SystemError OpenerFailure(int status, int messages) {
  SystemError failure;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return failure;
  failure.code = WIFEXITED(status) ? static_cast<SystemErrorCode>(WEXITSTATUS(status))
                                   : static_cast<SystemErrorCode>(128 + WTERMSIG(status));
  failure.description = messages >= 0 ? LastMessageLine(messages) : std::string();
  if (failure.description.empty())
    failure.description = FormatText(texts::kOpenerExitStatus, texts::kDocumentOpener,
                                     static_cast<unsigned>(failure.code));
  return failure;
}

// Reaps the opener whenever it ends, without a word: where no event loop
// can take the report.
void ReapQuietly(pid_t opener, int messages) {
  try {
    std::thread([opener, messages] {
      int status = 0;
      while (waitpid(opener, &status, 0) < 0 && errno == EINTR) {
      }
      if (messages >= 0) close(messages);
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: a zombie until the program ends.
  }
}

// Where the desktop has no launcher of its own, xdg-open runs the viewer in
// the foreground and ends with it: the UI thread looks now and then whether
// it has ended and reports a failure then, never waiting for it. A timer of
// the application ends with the application, so nothing is reported to a
// program that is going away.
void WatchOpener(pid_t opener, int messages, const LateOpenFailure& lateFailure) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr || QThread::currentThread() != application->thread()) {
    ReapQuietly(opener, messages);
    return;
  }
  auto* timer = new QTimer(application);
  timer->setInterval(kOpenerPollMilliseconds);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, opener, messages, lateFailure] {
    int status = 0;
    pid_t ended;
    do ended = waitpid(opener, &status, WNOHANG);
    while (ended < 0 && errno == EINTR);
    if (ended == 0) return;
    // Done before the report, whose box runs an event loop of its own.
    timer->stop();
    timer->deleteLater();
    // Not collectable (someone else reaped it): nothing to report.
    const SystemError failure = ended == opener ? OpenerFailure(status, messages) : SystemError{};
    if (messages >= 0) close(messages);
    if (failure.code != 0 && lateFailure) lateFailure(failure);
  });
  timer->start();
}

// The opener's environment: a viewer it runs in a terminal gets the
// scanner window's font and character type rules (see ViewerEnvironment).
std::vector<std::string> OpenerEnvironment() {
  std::vector<std::string> environment;
  for (char** each = environ; *each; ++each) environment.emplace_back(*each);
  const std::string terminal = FindOnPath("x-terminal-emulator");
  std::string realPath = terminal;
  if (char* resolved = terminal.empty() ? nullptr : realpath(terminal.c_str(), nullptr)) {
    realPath = resolved;
    std::free(resolved);
  }
  return ViewerEnvironment(environment, terminal, realPath);
}

}  // namespace

bool OpenWithShell(const std::string& path, void*, SystemError* error,
                   const LateOpenFailure& lateFailure) {
  SystemError failure;
  // The opener may report nothing useful about a missing file: check first
  // so that the error box can say why.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    failure.code = static_cast<SystemErrorCode>(errno);
    if (error != nullptr) *error = failure;
    return false;
  }

  // The desktop's opener, never through a shell; what it says on its error
  // stream goes to an anonymous file (a viewer it starts may keep writing
  // there long after, which a pipe could not take).
  const int messages = memfd_create("quorvel-opener", MFD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (messages >= 0) posix_spawn_file_actions_adddup2(&actions, messages, STDERR_FILENO);
  std::string opener = texts::kDocumentOpener;
  std::string file = path;
  char* argv[] = {opener.data(), file.data(), nullptr};
  const std::vector<std::string> environment = OpenerEnvironment();
  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, opener.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);

  if (started != 0) {
    failure.code = static_cast<SystemErrorCode>(started);  // no opener at all
    if (messages >= 0) close(messages);
  } else {
    WatchOpener(pid, messages, lateFailure);
  }
  if (error != nullptr) *error = failure;
  return failure.code == 0;
}
