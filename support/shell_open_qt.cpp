#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "support/shell_open.h"
#include "res/texts.h"
#include "support/text_format.h"

extern char** environ;

namespace {

// How long the opener may take to tell whether it can open the file. One
// still running then is showing the file itself (where the desktop has no
// launcher of its own, xdg-open runs the viewer in the foreground): that
// counts as opened.
constexpr auto kOpenerVerdictTime = std::chrono::seconds(3);

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

// The opener's end, collected by a thread of its own: it may outlive the
// wait, and is reaped whenever it ends.
struct OpenerEnd {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  int status = 0;
};

// Waits for the opener's end for at most kOpenerVerdictTime, keeping the
// windows painted meanwhile (without taking the user's input). True when it
// ended, with its wait status in *status.
bool WaitForOpener(pid_t opener, int* status) {
  auto end = std::make_shared<OpenerEnd>();
  std::thread([opener, end] {
    int waitStatus = 0;
    pid_t reaped;
    do reaped = waitpid(opener, &waitStatus, 0);
    while (reaped < 0 && errno == EINTR);
    std::lock_guard guard(end->mutex);
    end->done = true;
    // Not collectable (someone else reaped it): nothing to report.
    end->status = reaped == opener ? waitStatus : 0;
    end->ended.notify_all();
  }).detach();

  const auto deadline = std::chrono::steady_clock::now() + kOpenerVerdictTime;
  std::unique_lock lock(end->mutex);
  while (!end->done && std::chrono::steady_clock::now() < deadline) {
    if (QCoreApplication::instance() != nullptr) {
      lock.unlock();
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
      lock.lock();
    }
    end->ended.wait_for(lock, std::chrono::milliseconds(20));
  }
  *status = end->status;
  return end->done;
}

}  // namespace

bool OpenWithShell(const std::string& path, void*, SystemError* error) {
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
  pid_t pid = 0;
  const int started = posix_spawnp(&pid, opener.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);

  int status = 0;
  if (started != 0) {
    failure.code = static_cast<SystemErrorCode>(started);  // no opener at all
  } else if (WaitForOpener(pid, &status) && status != 0) {
    failure.code = WIFEXITED(status) ? static_cast<SystemErrorCode>(WEXITSTATUS(status))
                                     : static_cast<SystemErrorCode>(128 + WTERMSIG(status));
    failure.description = messages >= 0 ? LastMessageLine(messages) : std::string();
    if (failure.description.empty())
      failure.description = FormatText(texts::kOpenerExitStatus, texts::kDocumentOpener,
                                       static_cast<unsigned>(failure.code));
  }
  if (messages >= 0) close(messages);
  if (error != nullptr) *error = failure;
  return failure.code == 0;
}
