// The scanner arguments as the window gives them, read into one request.
#include "bridge/scan_request.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "bridge/byte_size.h"
#include "bridge/texts.h"
#include "bridge/walk_pattern.h"

namespace bridge {

namespace {

// A word shaped like a switch: "/" and a name without further separators.
// "/home/ann" and "//server/share" are paths. On Linux the quoted target comes
// first and may be a folder right under the root, so the first word is never
// taken for an unknown switch there.
bool LooksLikeSwitch(const std::string& arg, size_t index, PathStyle style) {
  if (arg.size() < 2 || arg[0] != '/') return false;
  if (arg.find_first_of("/\\", 1) != std::string::npos) return false;
  return !(style == PathStyle::kPosix && index == 0);
}

// The extra parameters the bridge understands: "-d <dir>", "--database=<dir>",
// "--exclude=<pattern>", "--exclude-dir=<pattern>", "--max-filesize=<size>",
// "--max-scansize=<size>"; the long ones also with their value as the next
// word. Returns the error text, or nothing.
std::optional<std::string> ReadOption(const std::vector<std::string>& args, size_t* index,
                                      ScanRequest& request) {
  const std::string& arg = args[*index];
  std::string name = arg, value;
  bool hasValue = false;
  if (const size_t equals = arg.find('='); arg.rfind("--", 0) == 0 && equals != std::string::npos) {
    name = arg.substr(0, equals);
    value = arg.substr(equals + 1);
    hasValue = true;
  }
  static constexpr const char* kKnown[] = {
      "-d", "--database", "--exclude", "--exclude-dir", "--max-filesize", "--max-scansize"};
  if (std::find_if(std::begin(kKnown), std::end(kKnown),
                   [&](const char* known) { return name == known; }) == std::end(kKnown)) {
    char text[1024];
    std::snprintf(text, sizeof text, texts::kErrorUnknownOption, arg.c_str());
    return std::string(text);
  }
  if (!hasValue) {
    if (*index + 1 >= args.size()) return arg + texts::kErrorMissingValue;
    value = args[++*index];
  }
  if (name == "-d" || name == "--database") {
    if (value.empty()) return arg + texts::kErrorMissingValue;
    request.databases.push_back(value);
  } else if (name == "--exclude" || name == "--exclude-dir") {
    std::string why;
    if (!PathPattern::Compile(value, &why))
      return texts::kErrorBadPattern + value + " (" + why + ")";
    (name == "--exclude" ? request.excludeFiles : request.excludeFolders).push_back(value);
  } else {
    // clamscan's sizes; the length limit turns away a long run of zeros.
    const std::optional<uint64_t> size = ReadByteSize(value, 20);
    if (!size) return texts::kErrorBadSize + value;
    (name == "--max-filesize" ? request.maxFileSize : request.maxScanSize) = size;
  }
  return std::nullopt;
}

}  // namespace

RequestResult ReadRequest(const std::vector<std::string>& args, PathStyle style) {
  RequestResult result;
  ScanRequest& request = result.request;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty()) continue;
    const std::string lower = Lower(arg);
    // Switches are read whatever their case: "/SUB" is /sub.
    const std::optional<ScanSwitch> tableSwitch = ScanSwitchNamed(lower);
    if (const std::optional<PathSwitch> pathSwitch = PathSwitchNamed(lower)) {
      if (i + 1 >= args.size() || NamesSwitch(Lower(args[i + 1]))) {
        result.error = arg + texts::kErrorMissingPath;
        return result;
      }
      (*pathSwitch == PathSwitch::kReport ? request.reportFile : request.moveDirectory) = args[++i];
    } else if (tableSwitch) {
      request.Set(*tableSwitch);
    } else if (arg.size() > 1 && arg[0] == '-') {
      if (std::optional<std::string> error = ReadOption(args, &i, request)) {
        result.error = *error;
        return result;
      }
    } else if (LooksLikeSwitch(arg, i, style)) {
      result.error = texts::kErrorUnknownSwitch + arg;
      return result;
    } else {
      request.targets.push_back(arg);
    }
  }
  if (request.targets.empty() && !request.WantsDrives() && !request.ListsVirusDatabase())
    result.error = texts::kErrorNoTarget;
  return result;
}

std::vector<std::string> UnsupportedSwitchNotes(const ScanRequest& request) {
  std::vector<std::string> notes;
  if (request.Has(ScanSwitch::kClean)) notes.push_back(texts::kNoteClean);
  if (request.Has(ScanSwitch::kBootOnly)) notes.push_back(texts::kNoteBoot);
  if (request.Has(ScanSwitch::kStreams)) notes.push_back(texts::kNoteStreams);
  return notes;
}

}  // namespace bridge
