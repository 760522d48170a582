// The desktop's opener on Linux runs beside the window: a failure to start it
// is told at once, its own failure when it ends, and the UI thread never
// waits for it (xdg-open may run a viewer for as long as the document is
// open). A viewer it runs in a terminal gets the scanner window's rules.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "base/terminal_launch_posix.h"
#include "support/error_box.h"
#include "support/shell_open.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;

TEST(OpenWithShellQt, TheOpenerRunsBesideTheWindowAndItsFailureComesWhenItEnds) {
  TempDir temp;
  const std::string report = temp.Join("scan.txt");
  WriteTextFile(report, "x");
  ASSERT_EQ(mkdir(temp.Join("bin").c_str(), 0700), 0);
  const std::string opener = temp.Join("bin/xdg-open");
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  SetEnv("PATH", temp.Join("bin"));
  const std::string box = "ShellExecute 失败\n\n系统错误代码: ";
  struct Case {
    const char* script;   // none: no opener at all
    std::string lateBox;  // empty: no failure comes later
  } cases[] = {
      {nullptr, ""},
      {"sleep 1\necho starting >&2\necho \"cannot open $1\" >&2\nexit 4",
       box + "0x4\n系统错误信息: cannot open " + report},
      {"exit 3", box + "0x3\n系统错误信息: xdg-open 退出状态 3"},
      {"sleep 1\nexit 0", ""},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.script ? each.script : "no opener");
    if (each.script) WriteTextFile(opener, std::string("#!/bin/sh\n") + each.script + "\n");
    chmod(opener.c_str(), 0700);
    std::optional<std::string> lateBox;
    SystemError error;
    QElapsedTimer clock;
    clock.start();
    const bool started = OpenWithShell(report, nullptr, &error, [&](const SystemError& late) {
      lateBox = FormatErrorBoxText("ShellExecute 失败", late);
    });
    // Told at once, whatever the opener then takes.
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(started, each.script != nullptr);
    EXPECT_EQ(error.code, started ? 0u : static_cast<SystemErrorCode>(ENOENT));
    // The window's events go on meanwhile; the opener's second is long over.
    while (started && clock.elapsed() < 2000)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(lateBox.value_or(""), each.lateBox);
  }
  SetEnv("PATH", oldPath);
}

// TERMINAL names the desktop's terminal with its options unless the user set
// one, and the character type is UTF-8.
TEST(ViewerEnvironmentTest, TheOpenersTerminalGetsTheScannerWindowsRules) {
  using Strings = std::vector<std::string>;
  const std::string emulator = "/usr/bin/x-terminal-emulator";
  const std::string xterm = "TERMINAL=" + emulator + " -u8 -fa Monospace -fs 11 -e";
  struct Case {
    std::string program;  // empty: no terminal on PATH
    std::string realPath;
    Strings environment;
    Strings expected;
  } cases[] = {
      {emulator, "/usr/bin/lxterm", {"LANG=C"}, {"LANG=C", "LC_CTYPE=C.UTF-8", xterm}},
      {emulator,
       "/usr/bin/gnome-terminal.wrapper",
       {"LANG=C.UTF-8", "TERMINAL="},
       {"LANG=C.UTF-8", "TERMINAL=" + emulator + " -e"}},
      {emulator, "/usr/bin/xterm", {"TERMINAL=kitty"}, {"TERMINAL=kitty", "LC_CTYPE=C.UTF-8"}},
      {emulator, "/usr/bin/koi8rxterm", {"LANG=C.UTF-8"}, {"LANG=C.UTF-8"}},
      {"", "", {"LANG=C.UTF-8"}, {"LANG=C.UTF-8"}},
      {"/opt/my terminal/xterm", "/opt/my terminal/xterm", {}, {"LC_CTYPE=C.UTF-8"}},
  };
  for (const Case& each : cases)
    EXPECT_EQ(ViewerEnvironment(each.environment, each.program, each.realPath), each.expected)
        << each.realPath;
}

}  // namespace
