// The terminals the scanner's window may open in on Linux, and how each one
// is asked to run a command.
#pragma once

#include <chrono>
#include <string>
#include <vector>

// Tried in this order: the desktop's own terminal (Debian's alternative,
// which takes "-e program args"), then terminals that take the same option.
inline constexpr const char* kTerminalNames[] = {"x-terminal-emulator", "xterm", "urxvt", "rxvt"};

struct TerminalLaunch {
  // The terminal's program, its options, "-e" and the command. Empty when
  // this terminal is passed over.
  std::vector<std::string> arguments;
  // The terminal's environment ("NAME=value" entries).
  std::vector<std::string> environment;
  // How long the command may take to come up in it.
  std::chrono::milliseconds patience{0};
};

// How the terminal found at program, whose real path (every link resolved)
// is realPath, runs command. The real path tells what the terminal is: the
// desktop's x-terminal-emulator may be any of them. environment is the
// program's own; the terminal gets it with a UTF-8 character type whatever
// the locale, since every line the scanner writes is UTF-8.
TerminalLaunch TerminalLaunchFor(const std::string& program, const std::string& realPath,
                                 const std::vector<std::string>& command,
                                 const std::vector<std::string>& environment);

// The environment for the desktop's opener (xdg-open), which runs a viewer
// that needs a terminal (vim, where the desktop has no graphical editor) in
// $TERMINAL, else in "x-terminal-emulator -e": environment with a UTF-8
// character type and, unless TERMINAL is set, TERMINAL naming the desktop's
// terminal at program (real path realPath; empty when there is none) with
// the options the scanner's window gets, so that the viewer's Chinese reads
// as the scanner's does.
std::vector<std::string> ViewerEnvironment(const std::vector<std::string>& environment,
                                           const std::string& program, const std::string& realPath);
