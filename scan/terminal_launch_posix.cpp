#include "scan/terminal_launch_posix.h"

#include <algorithm>
#include <iterator>

namespace {

// xterm and its wrappers. Their default bitmap font has no Chinese glyphs:
// they get a scalable monospace face instead, which fontconfig completes
// with the CJK font installed beside the program.
constexpr const char* kXtermFamily[] = {"xterm", "uxterm", "lxterm"};
constexpr const char* kXtermFontOptions[] = {"-fa", "Monospace", "-fs", "11"};

// Terminals that run their command as their own child at once: the command
// comes up within a fraction of a second, or not at all.
constexpr const char* kDirectTerminals[] = {"xterm",        "uxterm", "lxterm",   "urxvt",
                                            "rxvt-unicode", "rxvt",   "rxvt-xpm", "rxvt-xterm"};

// Outside a KOI8-R locale koi8rxterm shows a message, waits for it to be
// dismissed and never runs its command.
constexpr char kPassedOver[] = "koi8rxterm";

constexpr auto kDirectPatience = std::chrono::seconds(5);
// Others may hand the command to a terminal server, which can take its time
// to start.
constexpr auto kServerPatience = std::chrono::seconds(15);

template <size_t N>
bool IsOneOf(const std::string& name, const char* const (&names)[N]) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

}  // namespace

TerminalLaunch TerminalLaunchFor(const std::string& program, const std::string& realPath,
                                 const std::vector<std::string>& command) {
  const std::string name = realPath.substr(realPath.rfind('/') + 1);
  TerminalLaunch launch;
  if (name == kPassedOver) return launch;
  launch.arguments.push_back(program);
  // Any other terminal refuses an option it does not know, or takes it for
  // the command: only xterm gets one.
  if (IsOneOf(name, kXtermFamily))
    launch.arguments.insert(launch.arguments.end(), std::begin(kXtermFontOptions),
                            std::end(kXtermFontOptions));
  launch.arguments.push_back("-e");
  launch.arguments.insert(launch.arguments.end(), command.begin(), command.end());
  launch.patience = IsOneOf(name, kDirectTerminals) ? kDirectPatience : kServerPatience;
  return launch;
}
