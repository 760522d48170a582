#include "bridge/clamscan_output.h"

#include <algorithm>

#include "bridge/scan_options.h"
#include "bridge/text_util.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

constexpr std::string_view kSummaryHeading = "----------- SCAN SUMMARY -----------";
constexpr std::string_view kKnownViruses = "Known viruses:";

// Paths of this many UTF-16 units or more need the long form.
constexpr size_t kLongPath = 260;

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // the first byte of a character
    if (byte >= 0xF0) ++units;           // beyond the basic plane: a surrogate pair
  }
  return units;
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// clamscan's words for a file it could not open or read.
Shortfall ShortfallOf(std::string_view message) {
  for (const std::string_view unreadable :
       {"Access denied", "Can't open", "Can't access", "Can't read", "No such file",
        "Permission denied", "Can't get file status"})
    if (Contains(message, unreadable)) return Shortfall::kUnreadable;
  return Shortfall::kEngineError;
}

// What clamscan said after "<path>: ".
Verdict VerdictOf(std::string_view said) {
  // An empty file holds nothing to scan.
  if (said == "OK" || said == "Empty file") return Verdict::Clean();
  if (EndsWith(said, " FOUND"))
    return FromDetection(std::string(said.substr(0, said.size() - sizeof " FOUND" + 1)));
  if (EndsWith(said, " ERROR"))
    return Verdict::Incomplete(Shortfall::kEngineError,
                               std::string(said.substr(0, said.size() - sizeof " ERROR" + 1)));
  return Verdict::Incomplete(ShortfallOf(said), std::string(said));
}

std::string_view WithoutPrefix(std::string_view line) {
  for (const std::string_view prefix :
       {"LibClamAV Error: ", "LibClamAV Warning: ", "ERROR: ", "WARNING: "})
    if (StartsWith(line, prefix)) return line.substr(prefix.size());
  return line;
}

std::string Joined(const std::vector<std::string>& lines, size_t most) {
  std::string text;
  for (size_t i = 0; i < lines.size() && i < most; ++i) text += (i ? "; " : "") + lines[i];
  return text;
}

}  // namespace

std::string ClamscanPathOf(const FileToScan& file) {
  return Utf16Length(file.path) >= kLongPath && !file.systemPath.empty() ? file.systemPath
                                                                         : file.path;
}

std::vector<std::string> ClamscanArguments(const ScanRequest& request,
                                           const std::string& listFile) {
  std::vector<std::string> args = {"--file-list=" + listFile};
  for (std::string& option : ClamscanOptionsFor(request)) args.push_back(std::move(option));
  if (request.maxFileSize) args.push_back("--max-filesize=" + std::to_string(*request.maxFileSize));
  if (request.maxScanSize) args.push_back("--max-scansize=" + std::to_string(*request.maxScanSize));
  for (const std::string& database : request.databases) args.push_back("--database=" + database);
  return args;
}

ClamscanOutputReader::ClamscanOutputReader(const std::vector<std::string>& paths,
                                           FileVerdict decided)
    : decided_(paths.size(), false), undecided_(paths.size()), sink_(std::move(decided)) {
  for (size_t i = 0; i < paths.size(); ++i) byPath_[paths[i]].push_back(i);
}

void ClamscanOutputReader::Feed(std::string_view piece, bool errorStream) {
  std::string& pending = pending_[errorStream ? 1 : 0];
  size_t start = 0;
  for (size_t end; (end = piece.find('\n', start)) != std::string_view::npos; start = end + 1) {
    pending.append(piece.substr(start, end - start));
    std::string line = std::move(pending);
    pending.clear();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Line(line, errorStream);
  }
  pending.append(piece.substr(start));
}

void ClamscanOutputReader::Finish(const std::string& noAnswer) {
  for (const bool errorStream : {false, true}) {
    std::string& pending = pending_[errorStream ? 1 : 0];
    if (!pending.empty()) Feed("\n", errorStream);
  }
  if (undecided_ == 0) return;
  std::string reason = noAnswer;
  if (NoDatabase())
    reason = std::string(texts::kErrorNoDatabase) + " (" + databaseError_ + ")";
  else if (!generalErrors_.empty())
    reason += ": " + Joined(generalErrors_, 3);
  for (size_t i = 0; i < decided_.size(); ++i)
    if (!decided_[i]) Decide(i, Verdict::Incomplete(Shortfall::kEngineError, reason));
}

void ClamscanOutputReader::Line(std::string_view line, bool errorStream) {
  // The summary comes after every file's line; of it only the count of
  // signatures matters.
  if (!errorStream && inSummary_) {
    if (StartsWith(line, kKnownViruses) &&
        TrimLine(std::string(line.substr(kKnownViruses.size()))) == "0" && databaseError_.empty())
      databaseError_ = std::string(line);
    return;
  }
  if (!errorStream && line == kSummaryHeading) {
    inSummary_ = true;
    return;
  }
  if (line.empty() || FileLine(line) || FileLineAnywhere(line)) return;
  if (!StartsWith(line, "ERROR: ") && !StartsWith(line, "LibClamAV Error: ")) return;
  const std::string_view words = WithoutPrefix(line);
  generalErrors_.emplace_back(words);
  const std::string lower = Lower(words);
  if (databaseError_.empty() && (Contains(lower, "database") || Contains(lower, "cl_load") ||
                                 Contains(lower, "cli_load") || Contains(lower, "malformed")))
    databaseError_ = std::string(words);
}

// "<path>: <what clamscan says of it>": the longest listed path followed by
// ": " (a path may hold ": " itself).
bool ClamscanOutputReader::FileLine(std::string_view line) {
  for (size_t colon = line.rfind(": "); colon != std::string_view::npos && colon > 0;
       colon = line.rfind(": ", colon - 1)) {
    const std::string_view path = line.substr(0, colon);
    if (!byPath_.count(std::string(path))) continue;
    // A file named twice keeps its first verdict.
    if (const std::optional<size_t> index = Open(path))
      Decide(*index, VerdictOf(line.substr(colon + 2)));
    return true;
  }
  return false;
}

// A warning or error that names a listed file somewhere ("WARNING: <path>:
// Can't access file", "ERROR: Can't open file <path>"): that file was not
// scanned. Rare lines, so every start after a blank or parenthesis and every
// end before ": ", ")" or the line's end is tried.
bool ClamscanOutputReader::FileLineAnywhere(std::string_view line) {
  std::vector<size_t> ends = {line.size()};
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == ')' || line.compare(i, 2, ": ") == 0) ends.push_back(i);
  std::sort(ends.rbegin(), ends.rend());
  for (size_t start = 0; start < line.size(); ++start) {
    if (start > 0 && line[start - 1] != ' ' && line[start - 1] != '(') continue;
    for (const size_t end : ends) {
      if (end <= start) break;
      const std::string_view path = line.substr(start, end - start);
      if (!byPath_.count(std::string(path))) continue;
      const std::string_view said =
          line.compare(end, 2, ": ") == 0 ? line.substr(end + 2) : WithoutPrefix(line);
      if (const std::optional<size_t> index = Open(path))
        Decide(*index, Verdict::Incomplete(ShortfallOf(said), std::string(said)));
      return true;
    }
  }
  return false;
}

std::optional<size_t> ClamscanOutputReader::Open(std::string_view path) {
  const auto found = byPath_.find(std::string(path));
  if (found == byPath_.end()) return std::nullopt;
  for (const size_t index : found->second)
    if (!decided_[index]) return index;
  return std::nullopt;
}

void ClamscanOutputReader::Decide(size_t index, Verdict verdict) {
  if (decided_[index]) return;
  decided_[index] = true;
  --undecided_;
  sink_(index, std::move(verdict));
}

std::optional<std::vector<std::string>> ReadVirusList(const std::string& versionOutput,
                                                      const std::string& scanOutput,
                                                      std::string* problem) {
  const auto lines = [](const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = TrimLine(text.substr(start, end - start));
      if (!line.empty()) result.push_back(std::move(line));
      start = end + 1;
    }
    return result;
  };
  const std::vector<std::string> version = lines(versionOutput);
  std::vector<std::string> complaints;
  bool inSummary = false;
  for (const std::string& line : lines(scanOutput)) {
    if (line == kSummaryHeading) inSummary = true;
    if (!inSummary) {
      if (line != "stdin: OK") complaints.emplace_back(WithoutPrefix(line));
      continue;
    }
    if (!StartsWith(line, kKnownViruses)) continue;
    const std::string count = TrimLine(line.substr(kKnownViruses.size()));
    if (count.empty() || count == "0") break;
    std::vector<std::string> shown;
    if (!version.empty()) shown.push_back(texts::kVirusListVersion + version.front());
    shown.push_back(texts::kVirusListCount + count);
    return shown;
  }
  *problem = Joined(complaints, 5);
  return std::nullopt;
}

}  // namespace bridge
