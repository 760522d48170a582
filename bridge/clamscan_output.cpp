#include "bridge/clamscan_output.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "bridge/scan_options.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

constexpr std::string_view kSummaryHeading = "----------- SCAN SUMMARY -----------";
constexpr std::string_view kKnownViruses = "Known viruses:";
constexpr std::string_view kInfectedFiles = "Infected files:";

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
  const std::string& path = file.systemPath.empty() ? file.path : file.systemPath;
  if (StartsWith(path, "\\\\?\\") && path.size() >= 6 && path[5] == ':') return path.substr(4);
  return path;
}

std::vector<std::string> ClamscanArguments(const ScanRequest& request,
                                           const std::string& listFile) {
  std::vector<std::string> args = {"--file-list=" + listFile};
  for (std::string& option : ClamscanOptionsFor(request)) args.push_back(std::move(option));
  if (request.maxFileSize) args.push_back("--max-filesize=" + std::to_string(*request.maxFileSize));
  if (request.maxScanSize) args.push_back("--max-scansize=" + std::to_string(*request.maxScanSize));
  for (const std::string& database : request.databases) args.push_back("--database=" + database);
  // clamscan.exe splits its command line itself: every quote, wherever it
  // is, opens or closes a quoted part and is dropped. No path holds one; an
  // argument given one could split into options of its own.
  for (std::string& arg : args) arg.erase(std::remove(arg.begin(), arg.end(), '"'), arg.end());
  return args;
}

ClamscanOutputReader::ClamscanOutputReader(const std::vector<std::vector<std::string>>& names,
                                           FileVerdict decided)
    : files_(names.size()), sink_(std::move(decided)) {
  for (size_t i = 0; i < names.size(); ++i)
    for (const std::string& name : names[i]) {
      std::vector<size_t>& indices = byName_[name];
      if (indices.empty() || indices.back() != i) indices.push_back(i);
    }
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

void ClamscanOutputReader::Finish(const std::string& noAnswer, std::optional<int> exitCode) {
  for (const bool errorStream : {false, true}) {
    std::string& pending = pending_[errorStream ? 1 : 0];
    if (!pending.empty()) Feed("\n", errorStream);
  }
  std::string reason = noAnswer;
  if (NoDatabase())
    reason = std::string(texts::kErrorNoDatabase) + " (" + databaseError_ + ")";
  else if (!generalErrors_.empty())
    reason += ": " + Joined(generalErrors_, 3);
  // clamscan ends with 1 when it found something: a run that says so, or
  // counts more finds than lines named, found something in a file whose
  // line was not recognised, and its "OK"s can no longer be trusted.
  const size_t counted = std::max<size_t>(infectedCounted_.value_or(0), exitCode == 1 ? 1 : 0);
  std::string unnamed;
  if (counted > foundLines_) {
    char text[256];
    std::snprintf(text, sizeof text, texts::kClamscanUnnamedFinds, counted, foundLines_);
    unnamed = text;
  }
  for (auto& [name, lines] : shared_) {
    std::vector<size_t> open;
    for (const size_t index : byName_[name])
      if (!files_[index].decided) open.push_back(index);
    const bool inOrder = !lines.warned && lines.said.size() == open.size();
    for (size_t i = 0; i < open.size(); ++i) {
      if (inOrder) {
        Decide(open[i], std::move(lines.said[i]));
        continue;
      }
      files_[open[i]].decided = true;
      uncertain_.push_back(open[i]);
    }
  }
  for (size_t i = 0; i < files_.size(); ++i) {
    File& file = files_[i];
    if (file.decided && !file.clean) continue;
    Verdict verdict = Verdict::Clean();
    if (file.clean && NoDatabase())
      verdict = Verdict::Incomplete(Shortfall::kEngineError, reason);
    else if (file.clean && !unnamed.empty())
      verdict = Verdict::Incomplete(Shortfall::kEngineError, unnamed);
    else if (!file.clean && file.note)
      verdict = *file.note;
    else if (!file.clean)
      verdict = Verdict::Incomplete(Shortfall::kEngineError,
                                    file.hint.empty() ? reason : reason + "; " + file.hint);
    file.decided = true;
    file.clean = false;
    sink_(i, std::move(verdict));
  }
}

void ClamscanOutputReader::Stopped() {
  for (size_t i = 0; i < files_.size(); ++i)
    if (files_[i].clean) {
      files_[i].clean = false;
      sink_(i, Verdict::Clean());
    }
}

void ClamscanOutputReader::Line(std::string_view line, bool errorStream) {
  // The summary comes after every file's line; of it only the counts of
  // signatures and of infected files matter.
  if (!errorStream && inSummary_) {
    const auto count = [&](std::string_view heading) {
      return TrimLine(std::string(line.substr(heading.size())));
    };
    if (StartsWith(line, kKnownViruses) && count(kKnownViruses) == "0" && databaseError_.empty())
      databaseError_ = std::string(line);
    if (StartsWith(line, kInfectedFiles)) {
      const std::string number = count(kInfectedFiles);
      if (!number.empty() && number.size() < 10 &&
          number.find_first_not_of("0123456789") == std::string::npos)
        infectedCounted_ = std::stoul(number);
    }
    return;
  }
  if (!errorStream && line == kSummaryHeading) {
    inSummary_ = true;
    return;
  }
  if (line.empty() || FileLine(line, errorStream)) return;
  if (errorStream && NoteAnywhere(line)) return;
  if (!StartsWith(line, "ERROR: ") && !StartsWith(line, "LibClamAV Error: ")) return;
  const std::string_view words = WithoutPrefix(line);
  generalErrors_.emplace_back(words);
  const std::string lower = Lower(words);
  if (databaseError_.empty() && (Contains(lower, "database") || Contains(lower, "cl_load") ||
                                 Contains(lower, "cli_load") || Contains(lower, "malformed")))
    databaseError_ = std::string(words);
}

// "<name>: <what clamscan says of it>": the longest listed name followed by
// ": " (a path may hold ": " itself). On standard output it decides the
// file's verdict; on standard error it is the system's reason the file could
// not be looked at ("<name>: No such file or directory").
bool ClamscanOutputReader::FileLine(std::string_view line, bool errorStream) {
  for (size_t colon = line.rfind(": "); colon != std::string_view::npos && colon > 0;
       colon = line.rfind(": ", colon - 1)) {
    const std::string_view name = line.substr(0, colon);
    if (!byName_.count(std::string(name))) continue;
    const std::string_view said = line.substr(colon + 2);
    if (errorStream) {
      Note(name, said, Shortfall::kUnreadable, false);
      return true;
    }
    if (EndsWith(said, " FOUND")) ++foundLines_;
    Verdict verdict = VerdictOf(said);
    if (byName_[std::string(name)].size() > 1) {
      shared_[std::string(name)].said.push_back(std::move(verdict));
    } else if (const std::optional<size_t> index = Open(name)) {
      Decide(*index, std::move(verdict));
    }
    return true;
  }
  return false;
}

// A warning that names a listed file somewhere: clamscan's own ("WARNING:
// Can't open file <name>: Permission denied", "WARNING: <name>: Can't
// access file") or the library's ("LibClamAV Warning: Can't open file
// <name>: 32", after which clamscan still scans the file). Rare lines, so
// every start after a blank or parenthesis and every end before ": ", ")"
// or the line's end is tried.
bool ClamscanOutputReader::NoteAnywhere(std::string_view line) {
  std::vector<size_t> ends = {line.size()};
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == ')' || line.compare(i, 2, ": ") == 0) ends.push_back(i);
  std::sort(ends.rbegin(), ends.rend());
  for (size_t start = 0; start < line.size(); ++start) {
    if (start > 0 && line[start - 1] != ' ' && line[start - 1] != '(') continue;
    for (const size_t end : ends) {
      if (end <= start) break;
      const std::string_view name = line.substr(start, end - start);
      if (!byName_.count(std::string(name))) continue;
      const bool fromLibrary = StartsWith(line, "LibClamAV ");
      // The system's reason follows the name; else the warning's own words.
      const bool reasonFollows = line.compare(end, 2, ": ") == 0 && StartsWith(line, "WARNING: ");
      const std::string_view said = reasonFollows ? line.substr(end + 2) : WithoutPrefix(line);
      // A file clamscan could not open is unreadable, whatever the reason.
      Note(name, said,
           StartsWith(WithoutPrefix(line), "Can't ") ? Shortfall::kUnreadable : ShortfallOf(said),
           fromLibrary);
      return true;
    }
  }
  return false;
}

void ClamscanOutputReader::Note(std::string_view name, std::string_view said, Shortfall why,
                                bool fromLibrary) {
  if (byName_[std::string(name)].size() > 1) {
    // The library's warning comes before the file's line on standard output.
    if (!fromLibrary) shared_[std::string(name)].warned = true;
    return;
  }
  const std::optional<size_t> index = Open(name);
  if (!index) return;
  File& file = files_[*index];
  if (fromLibrary) {
    file.hint = std::string(said);
    return;
  }
  // The first of clamscan's warnings holds the system's reason; a second
  // one ("Can't access file" after it) adds nothing.
  if (!file.note) file.note = Verdict::Incomplete(why, std::string(said));
}

std::optional<size_t> ClamscanOutputReader::Open(std::string_view name) const {
  const auto found = byName_.find(std::string(name));
  if (found == byName_.end() || found->second.size() != 1 || files_[found->second[0]].decided)
    return std::nullopt;
  return found->second[0];
}

void ClamscanOutputReader::Decide(size_t index, Verdict verdict) {
  File& file = files_[index];
  if (file.decided) return;
  file.decided = true;
  if (verdict.kind == Verdict::Kind::kClean) {
    file.clean = true;
    return;
  }
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
