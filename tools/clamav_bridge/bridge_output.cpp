// clamscan's output as the bridge passes it on: line by line to the console,
// what the report switches ask for to the report, and the summary at the end.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "bridge_internal.h"
#include "bridge_texts.h"

namespace bridge {

namespace {

// A line longer than this is passed on in parts rather than held back.
constexpr size_t kLongestLine = 64 * 1024;

// clamscan's own prefixes of its error and warning messages; libclamav's
// "LibClamAV Error:" lines explain the one that follows them.
bool IsCountedError(std::string_view line) {
  return StartsWith(line, "ERROR:") || StartsWith(line, "WARNING:");
}

bool IsErrorText(std::string_view line) {
  return IsCountedError(line) || StartsWith(line, "LibClamAV ");
}

long SummaryNumber(const std::string& line, std::string_view key) {
  if (!StartsWith(line, key)) return -1;
  return std::strtol(line.c_str() + key.size(), nullptr, 10);
}

// The length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
size_t Utf8Length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

}  // namespace

std::string ConsoleSafe(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      safe += (c < 0x20 && c != '\t') || c == 0x7F ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t length = Utf8Length(text, i);
    // U+0080 to U+009F are control characters too: C2 80 to C2 9F.
    if (length == 0 || (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
      safe += '?';
      i += length == 0 ? 1 : length;
      continue;
    }
    safe.append(text.substr(i, length));
    i += length;
  }
  return safe;
}

bool Output::OpenReport(const std::string& path, bool empty) {
  report_.open(FsPath(path), std::ios::binary | (empty ? std::ios::trunc : std::ios::app));
  if (!report_) {
    Console(texts::kErrorReport + path + ": " + std::strerror(errno), true);
    return false;
  }
  return true;
}

void Output::Console(const std::string& line, bool error) { print_(ConsoleSafe(line), error); }

void Output::Report(const std::string& line) {
  if (!report_.is_open()) return;
  // Written at once: a console closed in the middle of a scan ends the bridge soon after.
  report_ << line << (NativePathStyle() == PathStyle::kWindows ? "\r\n" : "\n") << std::flush;
}

void ClamscanReader::Feed(std::string_view piece, bool errorStream) {
  std::string& pending = pending_[errorStream ? 1 : 0];
  pending.append(piece);
  size_t start = 0;
  for (;;) {
    size_t end = pending.find('\n', start);
    if (end == std::string::npos) {
      if (pending.size() - start < kLongestLine) break;
      end = start + kLongestLine;
    }
    std::string line = pending.substr(start, end - start);
    start = end < pending.size() && pending[end] == '\n' ? end + 1 : end;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    errorStream ? ErrorLine(line) : OutputLine(line);
  }
  pending.erase(0, start);
}

void ClamscanReader::FinishRun() {
  for (int stream = 0; stream < 2; ++stream)
    if (!pending_[stream].empty()) Feed("\n", stream == 1);
  totals_.files += runSummary_ ? summaryFiles_ : runFiles_;
  totals_.infected += runSummary_ ? summaryInfected_ : runInfected_;
  totals_.summarySeen = totals_.summarySeen || runSummary_;
  inSummary_ = runSummary_ = false;
  runFiles_ = runInfected_ = summaryFiles_ = summaryInfected_ = 0;
}

void ClamscanReader::OutputLine(const std::string& line) {
  if (line.empty()) return;
  if (StartsWith(line, "----------- SCAN SUMMARY")) {
    inSummary_ = runSummary_ = true;
    return;
  }
  if (inSummary_) {
    if (const long n = SummaryNumber(line, "Scanned files:"); n >= 0) summaryFiles_ = n;
    if (const long n = SummaryNumber(line, "Infected files:"); n >= 0) summaryInfected_ = n;
    if (const long n = SummaryNumber(line, "Scanned directories:"); n >= 0)
      totals_.directories += n;
    return;
  }
  if (IsErrorText(line)) return ErrorLine(line);  // with clamscan's --stdout
  // "<path>: <status>": the path may hold ": " itself, the status never.
  if (EndsWith(line, " FOUND")) {
    ++runFiles_;
    ++runInfected_;
    out_.Console(texts::kInfectedMark + line, false);
    out_.Report(line);
    return;
  }
  if (EndsWith(line, ": OK")) ++runFiles_;
  out_.Console(line, false);
  // What became of an infected file belongs with it.
  const bool treatment = EndsWith(line, ": Removed.") || line.find(": moved to '") != line.npos ||
                         line.find(": copied to '") != line.npos;
  if (reportEveryFile_ || treatment) out_.Report(line);
}

void ClamscanReader::ErrorLine(const std::string& line) {
  if (line.empty()) return;
  if (IsCountedError(line)) ++totals_.errors;
  if (line.find("No supported database files found") != line.npos ||
      StartsWith(line, "LibClamAV Error: cl_load()"))
    totals_.missingDatabase = true;
  out_.Line(line, true);
}

std::vector<std::string> SummaryLines(const ScanTotals& totals, std::chrono::seconds taken) {
  const long seconds = static_cast<long>(taken.count());
  std::string time;
  if (seconds >= 3600) time += std::to_string(seconds / 3600) + texts::kHours;
  if (seconds >= 60) time += std::to_string(seconds / 60 % 60) + texts::kMinutes;
  time += std::to_string(seconds % 60) + texts::kSeconds;
  return {texts::kSummaryHeading, texts::kSummaryFiles + std::to_string(totals.files),
          texts::kSummaryInfected + std::to_string(totals.infected),
          texts::kSummaryErrors + std::to_string(totals.errors), texts::kSummaryTime + time};
}

}  // namespace bridge
