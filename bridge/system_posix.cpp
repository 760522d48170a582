// The bridge on Linux: stop signals, the console, the drives.
#include <fcntl.h>
#include <poll.h>
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

#include "bridge/clamd_config.h"
#include "bridge/drives.h"
#include "bridge/system.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

// Signal handlers only note what happened and write a byte to this pipe;
// the waits poll it, so a stop request cannot slip in between a test and
// the wait.
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
    return true;
  }();
  (void)ready;
}

void DrainWakePipe() {
  char buffer[64];
  while (g_wakePipe[0] >= 0 && read(g_wakePipe[0], buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

PathStyle NativePathStyle() { return PathStyle::kPosix; }

std::string ClamdConfigPath() {
  if (const char* override = std::getenv(kClamdConfigOverride)) return override;
  return "/etc/clamav/clamd.conf";
}

DriveSelection GatherDrives(bool local, bool network) {
  std::ifstream mounts("/proc/self/mounts");
  std::ostringstream text;
  text << mounts.rdbuf();
  return SelectPosixDrives(text.str(), local, network);
}

void InstallStopHandlers() {
  EnsureWakePipe();
  for (int signal : {SIGINT, SIGHUP, SIGTERM}) SetHandler(signal, OnStopSignal);
  // A console that is gone makes writing fail instead of ending the bridge.
  signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return g_stopSignal != 0; }

bool WaitForStop(int milliseconds) {
  EnsureWakePipe();
  if (g_stopSignal == 0) {
    pollfd wake = {g_wakePipe[0], POLLIN, 0};
    poll(&wake, 1, milliseconds);
    DrainWakePipe();
  }
  return g_stopSignal != 0;
}

void WakeUp() {
  EnsureWakePipe();
  Wake();
}

void ExitNow(int code) {
  // Every line was flushed as it was printed; a flush here could wait for
  // a console that takes nothing (and for the lock of a thread blocked in
  // it).
  _exit(code);
}

void PrintToConsole(const std::string& line, bool error) {
  std::FILE* stream = error ? stderr : stdout;
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

namespace {

// One byte of the terminal's input within milliseconds: the byte, or -1 when
// none came (or the terminal is gone).
int ReadInputByte(int milliseconds) {
  pollfd input = {STDIN_FILENO, POLLIN, 0};
  if (poll(&input, 1, milliseconds) <= 0 || !(input.revents & POLLIN)) return -1;
  unsigned char byte;
  return read(STDIN_FILENO, &byte, 1) == 1 ? byte : -1;
}

// A terminal writes its reports (device attributes, cursor position, focus
// changes, colours) in one piece, so the bytes after an ESC come at
// once. Ends the sequence that began with first (ESC or an 8-bit control)
// and tells whether it was a key: a lone ESC, Alt with a key, the cursor,
// editing and function keys. Everything else a terminal sends on its own
// initiative is not the user's answer.
bool EscapeSequenceIsKey(int first) {
  constexpr int kFollowing = 50;  // ms
  constexpr int kEsc = 0x1B, kCsi = 0x9B, kSs3 = 0x8F, kDcs = 0x90, kOsc = 0x9D;
  int introducer = first;
  if (first == kEsc) {
    const int next = ReadInputByte(kFollowing);
    if (next < 0) return true;  // the Escape key itself
    introducer = next == '[' ? kCsi : next == 'O' ? kSs3 : next == 'P' ? kDcs : next;
    if (next == ']' || next == '_' || next == '^' || next == 'X') introducer = kOsc;
    if (introducer == next) return next >= 0x20 && next < 0x7F;  // Alt with a key
  }
  if (introducer == kSs3) return ReadInputByte(kFollowing) >= 0;
  if (introducer == kCsi) {
    // Parameters and intermediates, then the final byte.
    bool privateMarker = false;
    for (int byte = ReadInputByte(kFollowing); byte >= 0; byte = ReadInputByte(kFollowing)) {
      if (byte >= 0x3C && byte <= 0x3F) privateMarker = true;
      if (byte >= 0x40 && byte <= 0x7E) {
        // Cursor, Home/End, Shift+Tab and the "~" keys; R, c, n, t, y, I, O
        // and the private answers are reports.
        static constexpr char kKeyFinals[] = "ABCDFHPQSZ~";
        return !privateMarker && std::strchr(kKeyFinals, byte) != nullptr;
      }
      if (byte < 0x20 || byte > 0x3F) return false;
    }
    return false;
  }
  if (introducer == kDcs || introducer == kOsc || (introducer >= 0x80 && introducer <= 0x9F)) {
    // A string up to its terminator (BEL, ST or ESC \): never a key.
    for (int byte = ReadInputByte(kFollowing); byte >= 0; byte = ReadInputByte(kFollowing))
      if (byte == 0x07 || byte == 0x9C || byte == '\\') break;
    return false;
  }
  return false;
}

}  // namespace

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
  // A hang-up, Ctrl+C or SIGTERM wakes the wait as a key does; what the
  // terminal reports of its own accord does not.
  while (g_stopSignal == 0) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    DrainWakePipe();
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) break;
    if (fds[0].revents & POLLIN) {
      unsigned char key;
      const ssize_t got = read(STDIN_FILENO, &key, 1);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      const bool control = key == 0x1B || (key >= 0x80 && key <= 0x9F);
      if (!control || EscapeSequenceIsKey(key)) break;
    }
  }
  tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace bridge
