// Console and report: one place that writes the bridge's lines.
#include "bridge/ledger_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "bridge/system_error_text.h"
#include "bridge/text_util.h"
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

bool LedgerWriter::OpenReport(const std::string& path, bool append) {
  std::error_code error;
  const bool existed = std::filesystem::exists(FsPath(path), error);
  report_.open(FsPath(path), std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  if (!report_) {
    Console(texts::kErrorReport + Path(path) + ": " + SystemErrorText(errno), true);
    return false;
  }
  // Older Notepad versions read UTF-8 only after its byte-order mark; a
  // report that is added to keeps what it has.
  if (style_ == PathStyle::kWindows && !(append && existed)) report_ << "\xEF\xBB\xBF";
  return true;
}

void LedgerWriter::Line(const std::string& line, bool error, bool report) {
  const std::lock_guard<std::mutex> lock(mutex_);
  print_(line, error);
  if (!report || !report_.is_open()) return;
  // Written at once: a stop or a closed console ends the bridge soon after.
  report_ << line << (style_ == PathStyle::kWindows ? "\r\n" : "\n") << std::flush;
}

}  // namespace bridge
