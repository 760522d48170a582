// The scanner arguments as the window gives them.
#include <algorithm>

#include "bridge.h"
#include "bridge_internal.h"
#include "bridge_texts.h"
#include "scan_switches.h"

namespace bridge {

namespace {

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

// A switch of the window's table, spelled without its leading blank.
bool IsTableSwitch(const std::string& lower) {
  return std::any_of(kScanSwitches.begin(), kScanSwitches.end(),
                     [&](const ScanSwitchEntry& entry) { return lower == entry.text + 1; });
}

bool IsKnownSwitch(const std::string& lower) {
  return IsTableSwitch(lower) || lower == "/report" || lower == "/move";
}

// A word shaped like a switch: "/" and a name without further separators.
// "/home/ann" and "//server/share" are paths. On Linux the quoted target comes
// first and may be a folder right under the root, so the first word is never
// taken for a switch there.
bool LooksLikeSwitch(const std::string& arg, size_t index, PathStyle style) {
  if (arg.size() < 2 || arg[0] != '/') return false;
  if (arg.find_first_of("/\\", 1) != std::string::npos) return false;
  return !(style == PathStyle::kPosix && index == 0);
}

}  // namespace

bool TakesSeparateValue(const std::string& option) {
  static constexpr const char* kOptions[] = {
      "-d",          "--database",    "-l",           "--log",     "-f",
      "--file-list", "--move",        "--copy",       "--tempdir", "--exclude",
      "--include",   "--exclude-dir", "--include-dir"};
  return std::any_of(std::begin(kOptions), std::end(kOptions),
                     [&](const char* name) { return option == name; });
}

bool Arguments::Has(std::string_view switchText) const {
  return std::find(switches.begin(), switches.end(), switchText) != switches.end();
}

ParseResult ParseArguments(const std::vector<std::string>& args, PathStyle style) {
  ParseResult result;
  Arguments& parsed = result.arguments;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::string lower = Lower(arg);
    if (arg.empty()) continue;
    if (lower == "/report" || lower == "/move") {
      if (i + 1 >= args.size() || IsKnownSwitch(Lower(args[i + 1]))) {
        result.error = arg + texts::kErrorMissingPath;
        return result;
      }
      (lower == "/report" ? parsed.reportFile : parsed.moveDirectory) = args[++i];
    } else if (IsTableSwitch(lower)) {
      if (!parsed.Has(lower)) parsed.switches.push_back(lower);
    } else if (arg.size() > 1 && arg[0] == '-') {
      parsed.clamscanOptions.push_back(arg);
      if (TakesSeparateValue(arg) && i + 1 < args.size())
        parsed.clamscanOptions.push_back(args[++i]);
    } else if (LooksLikeSwitch(arg, i, style)) {
      result.error = texts::kErrorUnknownSwitch + arg;
      return result;
    } else {
      parsed.targets.push_back(arg);
    }
  }
  if (parsed.targets.empty() && !parsed.WantsLocalDrives() && !parsed.WantsNetworkDrives() &&
      !parsed.Has("/virlist"))
    result.error = texts::kErrorNoTarget;
  return result;
}

}  // namespace bridge
