// Console and report: one place that writes the bridge's lines.
#include "bridge/ledger_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/text.h"
#include "bridge/error_reason.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

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

void AppendHex(std::string& out, unsigned char byte) {
  char text[5];
  std::snprintf(text, sizeof text, "\\x%02X", byte);
  out += text;
}

}  // namespace

std::string EscapedPath(std::string_view path, PathStyle style) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size();) {
    const auto c = static_cast<unsigned char>(path[i]);
    if (c < 0x80) {
      if (c == '\n') {
        out += "\\n";
      } else if (c == '\r') {
        out += "\\r";
      } else if (c == '\t') {
        out += "\\t";
      } else if (c < 0x20 || c == 0x7F) {
        AppendHex(out, c);
      } else if (c == '\\' && style == PathStyle::kPosix) {
        out += "\\\\";
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const size_t length = Utf8Length(path, i);
    // U+0080 to U+009F are control characters too: C2 80 to C2 9F.
    if (length == 0 || (c == 0xC2 && static_cast<unsigned char>(path[i + 1]) < 0xA0)) {
      for (size_t k = 0; k < (length == 0 ? 1 : length); ++k)
        AppendHex(out, static_cast<unsigned char>(path[i + k]));
      i += length == 0 ? 1 : length;
      continue;
    }
    out.append(path.substr(i, length));
    i += length;
  }
  return out;
}

namespace {

// How many lines may wait for the console before a line waits for room.
constexpr size_t kConsoleBacklog = 256;

}  // namespace

LedgerWriter::LedgerWriter(const Printer& print, PathStyle style, ConsoleStart start)
    : print_(print), style_(style) {
  if (start == ConsoleStart::kNow) StartConsole();
}

LedgerWriter::~LedgerWriter() {
  StartConsole();
  {
    const std::lock_guard<std::mutex> lock(consoleMutex_);
    closing_ = true;
  }
  consoleChanged_.notify_all();
  printer_.join();
}

bool LedgerWriter::OpenReport(const std::string& path, bool append) {
  std::error_code error;
  const bool existed = std::filesystem::exists(FsPath(path), error);
  report_.open(FsPath(path), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  if (!report_) {
    const int why = errno;
    // "Not found" for the report names its folder: it is the folder that is missing.
    const std::filesystem::path folder = FsPath(path).parent_path();
    if (why == ENOENT && !folder.empty() && !std::filesystem::is_directory(folder, error))
      Console(texts::kErrorReport + Path(path) + texts::kReportFolder + Path(Utf8(folder)) +
                  texts::kReportFolderMissing,
              LineStream::kError);
    else
      Console(texts::kErrorReport + Path(path) + ": " + ErrnoReason(why), LineStream::kError);
    return false;
  }
  reportPath_ = path;
  reportWritten_ = append && existed ? std::filesystem::file_size(FsPath(path), error) : 0;
  if (error) reportWritten_ = 0;
  // Older Notepad versions read UTF-8 only after its byte-order mark; a
  // report that is added to keeps what it has.
  if (style_ == PathStyle::kWindows && !(append && existed)) {
    report_ << "\xEF\xBB\xBF" << std::flush;
    if (!report_) {
      EndReport(errno);
      return true;
    }
    reportWritten_ += 3;
  }
  return true;
}

void LedgerWriter::WriteReport(const std::string& line) {
  if (!report_.is_open() || reportClosed_) return;
  // Written at once: a stop or a closed console ends the bridge soon after.
  const char* end = style_ == PathStyle::kWindows ? "\r\n" : "\n";
  errno = 0;
  report_ << line << end << std::flush;
  if (!report_) return EndReport(errno);
  reportWritten_ += line.size() + std::strlen(end);
}

void LedgerWriter::EndReport(int error) {
  reportFailed_ = reportClosed_ = true;
  report_.close();
  const std::string reason = error != 0 ? ErrnoReason(error) : std::string("I/O");
  // Cut back to the last whole line, and say there why the report ends:
  // both may fail as the write did, and nothing more is tried.
  std::error_code ignored;
  std::filesystem::resize_file(FsPath(reportPath_), reportWritten_, ignored);
  std::ofstream last(FsPath(reportPath_), std::ios::binary | std::ios::app);
  last << texts::kReportCut << reason << ")" << (style_ == PathStyle::kWindows ? "\r\n" : "\n")
       << std::flush;
  if (!last) {
    last.close();
    std::filesystem::resize_file(FsPath(reportPath_), reportWritten_, ignored);
  }
  const std::string message = texts::kErrorReportWrite + Path(reportPath_) + ": " + reason;
  const std::lock_guard<std::mutex> lock(consoleMutex_);
  pending_.emplace_back(message, true);
  consoleChanged_.notify_all();
}

bool LedgerWriter::ReportFailed() const {
  const std::lock_guard<std::mutex> lock(reportMutex_);
  return reportFailed_;
}

void LedgerWriter::Line(const std::string& text, LineStream stream, LineReport report) {
  // Our own texts and escaped paths hold no control character: this only
  // keeps one that slipped through from acting.
  const std::string line = EscapedPath(text, PathStyle::kWindows);
  if (report == LineReport::kAlsoReport) {
    const std::lock_guard<std::mutex> lock(reportMutex_);
    WriteReport(line);
  }
  std::unique_lock<std::mutex> lock(consoleMutex_);
  if (pending_.size() >= kConsoleBacklog) {
    lock.unlock();
    StartConsole();
    lock.lock();
  }
  consoleChanged_.wait(lock, [&] { return pending_.size() < kConsoleBacklog || stopping_; });
  if (pending_.size() >= kConsoleBacklog) return;
  pending_.emplace_back(line, stream == LineStream::kError);
  consoleChanged_.notify_all();
}

void LedgerWriter::ReportLine(const std::string& text) {
  const std::lock_guard<std::mutex> lock(reportMutex_);
  WriteReport(EscapedPath(text, PathStyle::kWindows));
}

void LedgerWriter::Stopping() {
  {
    const std::lock_guard<std::mutex> lock(consoleMutex_);
    stopping_ = true;
  }
  consoleChanged_.notify_all();
}

void LedgerWriter::LastReportLine(const std::string& text) {
  const std::lock_guard<std::mutex> lock(reportMutex_);
  WriteReport(EscapedPath(text, PathStyle::kWindows));
  reportClosed_ = true;
  report_.close();
}

bool LedgerWriter::WaitForConsole(std::chrono::milliseconds limit) {
  StartConsole();
  std::unique_lock<std::mutex> lock(consoleMutex_);
  return consoleChanged_.wait_for(lock, limit, [&] { return pending_.empty() && !printing_; });
}

void LedgerWriter::StartConsole() {
  std::call_once(printerStarted_, [this] { printer_ = std::thread([this] { PrintLoop(); }); });
}

void LedgerWriter::PrintLoop() {
  std::unique_lock<std::mutex> lock(consoleMutex_);
  for (;;) {
    consoleChanged_.wait(lock, [&] { return !pending_.empty() || closing_; });
    if (pending_.empty()) return;
    // Every line waiting, in one go: the lock is taken once for them all.
    std::deque<std::pair<std::string, bool>> lines;
    lines.swap(pending_);
    printing_ = true;
    consoleChanged_.notify_all();
    lock.unlock();
    for (const auto& [line, error] : lines) print_(line, error);
    lock.lock();
    printing_ = false;
    consoleChanged_.notify_all();
  }
}

}  // namespace bridge
