// The desktop's opener on Linux runs beside the window: a failure to start it
// is told at once, its own failure when it ends, and the UI thread never
// waits for it (xdg-open may run a viewer in the foreground for as long as
// the document is open).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

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
  const std::string bin = temp.Join("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0700), 0);
  const std::string opener = bin + "/xdg-open";
  const char* const path = std::getenv("PATH");
  const std::string oldPath = path ? path : "";
  SetEnv("PATH", bin);

  struct Case {
    const char* name;
    const char* script;  // none: no opener at all
    bool started;
    std::string lateBox;  // empty: no failure comes later
  };
  const Case cases[] = {
      {"no opener", nullptr, false, ""},
      {"slow, then fails with its words",
       "#!/bin/sh\nsleep 1\necho starting >&2\necho \"cannot open $1\" >&2\nexit 4\n", true,
       "ShellExecute 失败\n\n系统错误代码: 0x4\n系统错误信息: cannot open " + report},
      {"silent failure", "#!/bin/sh\nexit 3\n", true,
       "ShellExecute 失败\n\n系统错误代码: 0x3\n系统错误信息: xdg-open 退出状态 3"},
      {"slow success", "#!/bin/sh\nsleep 1\nexit 0\n", true, ""},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    if (each.script) {
      WriteTextFile(opener, each.script);
      chmod(opener.c_str(), 0700);
    }
    std::optional<std::string> lateBox;
    SystemError error;
    QElapsedTimer call;
    call.start();
    const bool started = OpenWithShell(report, nullptr, &error, [&](const SystemError& late) {
      lateBox = FormatErrorBoxText("ShellExecute 失败", late);
    });
    // Told at once, without waiting for the opener's second.
    EXPECT_LT(call.elapsed(), 500);
    EXPECT_EQ(started, each.started);
    if (!started) {
      EXPECT_EQ(error.code, static_cast<SystemErrorCode>(ENOENT));
      continue;
    }
    // The UI thread goes on: a timer ticking every 10 ms shows no long gap
    // while the opener runs (2 s, more than the slow opener's second).
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 worstGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      worstGap = std::max(worstGap, clock.elapsed() - lastTick);
      lastTick = clock.elapsed();
    });
    ticker.start();
    while (clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_LT(worstGap, 500);
    EXPECT_EQ(lateBox.value_or(""), each.lateBox);
  }
  SetEnv("PATH", oldPath);
}

// A viewer the opener runs in a terminal (vim, without a graphical editor)
// gets the scanner window's rules: TERMINAL names the desktop's terminal with
// its options, unless the user set one, and the character type is UTF-8.
TEST(ViewerEnvironmentTest, TheOpenersTerminalGetsTheScannerWindowsRules) {
  using Strings = std::vector<std::string>;
  const std::string emulator = "/usr/bin/x-terminal-emulator";
  struct Case {
    std::string program;  // empty: no terminal on PATH
    std::string realPath;
    Strings environment;  // beside PATH
    Strings expected;
  };
  const std::vector<Case> cases = {
      {emulator,
       "/usr/bin/lxterm",
       {"LANG=C"},
       {"LANG=C", "LC_CTYPE=C.UTF-8", "TERMINAL=" + emulator + " -u8 -fa Monospace -fs 11 -e"}},
      {emulator,
       "/usr/bin/gnome-terminal.wrapper",
       {"LANG=zh_CN.UTF-8", "TERMINAL="},
       {"LANG=zh_CN.UTF-8", "TERMINAL=" + emulator + " -e"}},
      {emulator, "/usr/bin/xterm", {"TERMINAL=kitty"}, {"TERMINAL=kitty", "LC_CTYPE=C.UTF-8"}},
      {emulator, "/usr/bin/koi8rxterm", {"LANG=C.UTF-8"}, {"LANG=C.UTF-8"}},
      {"", "", {"LANG=C.UTF-8"}, {"LANG=C.UTF-8"}},
      {"/opt/my terminal/xterm", "/opt/my terminal/xterm", {}, {"LC_CTYPE=C.UTF-8"}},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.realPath + " " + testing::PrintToString(each.environment));
    Strings environment = {"PATH=/usr/bin"};
    environment.insert(environment.end(), each.environment.begin(), each.environment.end());
    Strings expected = {"PATH=/usr/bin"};
    expected.insert(expected.end(), each.expected.begin(), each.expected.end());
    EXPECT_EQ(ViewerEnvironment(environment, each.program, each.realPath), expected);
  }
}

}  // namespace
