// Linux entry point: shows the program's dialogs through the Qt back-end and
// runs the one application object.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QTranslator>

#include "app/qt_application.h"
#include "app/scan_app.h"
#include "base/text_format.h"
#include "support/fs_helpers.h"
#include "support/process_start.h"
#include "ui/application.h"
#include "ui/qt/qt_host.h"

// The application object, built during static initialisation.
ScanApp theApp;

namespace {

bool EnvironmentHas(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Whether a compositor listens on the Wayland socket WAYLAND_DISPLAY names
// (a path, or a name in XDG_RUNTIME_DIR).
bool WaylandAnswers() {
  if (!EnvironmentHas("WAYLAND_DISPLAY")) return false;
  std::string path = std::getenv("WAYLAND_DISPLAY");
  if (path[0] != '/') {
    if (!EnvironmentHas("XDG_RUNTIME_DIR")) return false;
    path = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/" + path;
  }
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const bool answers =
      connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(probe);
  return answers;
}

// Whether the X server DISPLAY names accepts us (authorisation included),
// as Qt's own connection will ask.
bool XServerAnswers() {
  if (!EnvironmentHas("DISPLAY")) return false;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool answers = xcb_connection_has_error(connection) == 0;
  xcb_disconnect(connection);
  return answers;
}

enum class DisplayState { kUsable, kNoneSet, kUnreachable };

// Qt stops the program with a toolkit message that tells the user little
// both without a display and with one that does not answer: find out first.
// A platform chosen with QT_QPA_PLATFORM is Qt's to check.
DisplayState CheckDisplay() {
  if (EnvironmentHas("QT_QPA_PLATFORM")) return DisplayState::kUsable;
  if (!EnvironmentHas("DISPLAY") && !EnvironmentHas("WAYLAND_DISPLAY"))
    return DisplayState::kNoneSet;
  return WaylandAnswers() || XServerAnswers() ? DisplayState::kUsable : DisplayState::kUnreachable;
}

// The display variables that are set, as "NAME=value" for the message, with
// control characters shown as '?'.
std::string DisplaySettings() {
  std::string settings;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    if (!EnvironmentHas(name)) continue;
    if (!settings.empty()) settings += ", ";
    settings += std::string(name) + "=";
    for (const char c : std::string(std::getenv(name)))
      settings += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
  }
  return settings;
}

// path as one word of a shell line: in single quotes unless it needs none.
std::string ShellWord(const std::string& path) {
  if (!path.empty() && path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                              "0123456789/._+-") == std::string::npos)
    return path;
  std::string word = "'";
  for (const char c : path) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// The first %s: what is missing; then the program's own path (twice), so
// that the line can be run as it stands.
constexpr char kNoDisplayMessage[] =
    "Quorvel: %s.\n"
    "请在图形桌面中运行, 或在虚拟显示中运行:\n"
    "    xvfb-run -a %s\n"
    "Quorvel: %s.\n"
    "Run it on a graphical desktop, or under a virtual display:\n"
    "    xvfb-run -a %s\n";

}  // namespace

int main(int argc, char** argv) {
  // Before any thread: the scanner's exit status must be collectable.
  RestoreDefaultChildSignal();
  const DisplayState display = CheckDisplay();
  if (display != DisplayState::kUsable) {
    std::string program = ExecutablePath();
    if (program.empty()) program = argv[0];
    program = ShellWord(program);
    std::string chinese = "没有可用的图形显示 (DISPLAY 和 WAYLAND_DISPLAY 均未设置)";
    std::string english =
        "no graphical display is available (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    if (display == DisplayState::kUnreachable) {
      chinese = "无法打开图形显示 (" + DisplaySettings() + ")";
      english = "the graphical display cannot be opened (" + DisplaySettings() + ")";
    }
    std::fputs(FormatText(kNoDisplayMessage, chinese.c_str(), program.c_str(), english.c_str(),
                          program.c_str())
                   .c_str(),
               stderr);
    return 1;
  }
  QApplication application(argc, argv);
  QTranslator qtTexts;
  ConfigureApplication(qtTexts);

  ui::QtModalRunner runner;
  ui::SetModalRunner(&runner);
  if (ui::Application* app = ui::Application::Instance()) app->InitInstance();
  ui::SetModalRunner(nullptr);
  return 0;
}
