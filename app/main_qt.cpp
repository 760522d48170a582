// Linux entry point: shows the program's dialogs through the Qt back-end and
// runs the one application object.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QTranslator>

#include "app/qt_application.h"
#include "app/scan_app.h"
#include "support/fs_helpers.h"
#include "support/process_start.h"
#include "support/text_format.h"
#include "ui/application.h"
#include "ui/qt/qt_host.h"

// The application object, built during static initialisation.
ScanApp theApp;

namespace {

bool EnvironmentHas(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Without a display Qt would stop with a toolkit message that tells the user
// little; say plainly what is missing and how to run the program anyway.
bool HasDisplay() {
  return EnvironmentHas("DISPLAY") || EnvironmentHas("WAYLAND_DISPLAY") ||
         EnvironmentHas("QT_QPA_PLATFORM");
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

// %s: the program's own path, so that the line can be run as it stands.
constexpr char kNoDisplayMessage[] =
    "Quorvel: 没有可用的图形显示 (DISPLAY 和 WAYLAND_DISPLAY 均未设置).\n"
    "请在图形桌面中运行, 或在虚拟显示中运行:\n"
    "    xvfb-run -a %s\n"
    "Quorvel: no graphical display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
    "Run it on a graphical desktop, or under a virtual display:\n"
    "    xvfb-run -a %s\n";

}  // namespace

int main(int argc, char** argv) {
  // Before any thread: the scanner's exit status must be collectable.
  RestoreDefaultChildSignal();
  if (!HasDisplay()) {
    std::string program = ExecutablePath();
    if (program.empty()) program = argv[0];
    program = ShellWord(program);
    std::fputs(FormatText(kNoDisplayMessage, program.c_str(), program.c_str()).c_str(), stderr);
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
