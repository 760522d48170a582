#include "base/terminal_launch_posix.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "base/text.h"

namespace {

// xterm and its wrappers. Their default bitmap font has no Chinese glyphs:
// they get a scalable monospace face instead, which fontconfig completes
// with the CJK font installed beside the program. "-u8" keeps xterm in UTF-8
// mode even where the locale below does not reach it (X resources).
constexpr const char* kXtermFamily[] = {"xterm", "uxterm", "lxterm"};
constexpr const char* kXtermOptions[] = {"-u8", "-fa", "Monospace", "-fs", "11"};

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

// Debian's C library always has this locale, whatever else is installed.
constexpr char kUtf8Locale[] = "C.UTF-8";

template <size_t N>
bool IsOneOf(const std::string& name, const char* const (&names)[N]) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The value of name in environment; null when it is unset or empty, which
// the C library treats alike.
const std::string* ValueOf(const std::vector<std::string>& environment, const std::string& name) {
  for (const std::string& entry : environment)
    if (entry.size() > name.size() + 1 && entry.compare(0, name.size(), name) == 0 &&
        entry[name.size()] == '=')
      return &entry;
  return nullptr;
}

bool NamesUtf8(const std::string& entry) {
  std::string lower = Lower(entry.substr(entry.find('=') + 1));
  std::erase(lower, '-');
  return lower.find(".utf8") != std::string::npos;
}

// Terminals take their character set from LC_CTYPE, as the C library
// resolves it (LC_ALL, then LC_CTYPE, then LANG). Unset, "C", "POSIX" or a
// legacy character set would leave the scanner's Chinese lines as garbage,
// which a terminal may even answer with reports of its own: the character
// type becomes UTF-8, and every other category stays as the user set it.
std::vector<std::string> WithUtf8CharacterType(const std::vector<std::string>& environment) {
  const std::string* all = ValueOf(environment, "LC_ALL");
  const std::string* ctype = all ? all : ValueOf(environment, "LC_CTYPE");
  if (!ctype) ctype = ValueOf(environment, "LANG");
  if (ctype && NamesUtf8(*ctype)) return environment;
  // With LC_ALL set, it is the only variable that can name the character type.
  const std::string replaced = all ? "LC_ALL" : "LC_CTYPE";
  std::vector<std::string> result;
  for (const std::string& entry : environment)
    if (entry.compare(0, replaced.size() + 1, replaced + "=") != 0) result.push_back(entry);
  result.push_back(replaced + "=" + kUtf8Locale);
  return result;
}

}  // namespace

TerminalLaunch TerminalLaunchFor(const std::string& program, const std::string& realPath,
                                 const std::vector<std::string>& command,
                                 const std::vector<std::string>& environment) {
  const std::string name = realPath.substr(realPath.rfind('/') + 1);
  TerminalLaunch launch;
  if (name == kPassedOver) return launch;
  launch.arguments.push_back(program);
  // Any other terminal refuses an option it does not know, or takes it for
  // the command: only xterm gets options.
  if (IsOneOf(name, kXtermFamily))
    launch.arguments.insert(launch.arguments.end(), std::begin(kXtermOptions),
                            std::end(kXtermOptions));
  launch.arguments.push_back("-e");
  launch.arguments.insert(launch.arguments.end(), command.begin(), command.end());
  launch.environment = WithUtf8CharacterType(environment);
  launch.patience = IsOneOf(name, kDirectTerminals) ? kDirectPatience : kServerPatience;
  return launch;
}

std::vector<std::string> ViewerEnvironment(const std::vector<std::string>& environment,
                                           const std::string& program,
                                           const std::string& realPath) {
  std::vector<std::string> result = WithUtf8CharacterType(environment);
  if (program.empty() || ValueOf(environment, "TERMINAL")) return result;
  const TerminalLaunch launch = TerminalLaunchFor(program, realPath, {}, environment);
  if (launch.arguments.empty()) return result;
  // xdg-open splits a TERMINAL with blanks into words and adds the viewer's
  // command: only words without blanks of their own can pass.
  std::string terminal;
  for (const std::string& word : launch.arguments) {
    if (word.find_first_of(" \t\n") != std::string::npos) return result;
    terminal += (terminal.empty() ? "" : " ") + word;
  }
  // An empty TERMINAL counts as unset, and must not stand beside ours.
  std::erase(result, std::string("TERMINAL="));
  result.push_back("TERMINAL=" + terminal);
  return result;
}
