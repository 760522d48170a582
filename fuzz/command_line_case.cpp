#include "fuzz/command_line_case.h"

#include "scan/scan_command.h"
#include "support/fs_helpers.h"

// Characters whose encodings stress the quoting: CJK names, GBK double bytes
// whose second byte is 0x5C (a backslash in GBK), a character outside the
// Basic Multilingual Plane (a surrogate pair in UTF-16), blanks that are not
// separators, and accented Latin letters.
const char* const kFuzzNonAsciiCharacters[16] = {
    "中", "文", "病毒", "誠",       "謀", "淺", "籠", "\xF0\x9F\x98\x80",
    "é",  "ß",  "　",   "\xC2\xA0", "Ω",  "ｰ",  "表", "扫描",
};

namespace {

// Reads one text up to the next zero byte (or the end) from data[*pos...].
std::string NextText(const uint8_t* data, size_t size, size_t* pos) {
  std::string text;
  for (; *pos < size && data[*pos] != 0; ++*pos) {
    const uint8_t byte = data[*pos];
    if (byte == '"') continue;
    if (byte >= 0x80)
      text += kFuzzNonAsciiCharacters[byte & 0x0F];
    else
      text += static_cast<char>(byte);
  }
  if (*pos < size) ++*pos;  // the separator
  return text;
}

}  // namespace

CommandLineCase DecodeCommandLineCase(const uint8_t* data, size_t size) {
  uint32_t choices = 0;
  size_t pos = 0;
  for (int i = 0; i < 3 && pos < size; ++i, ++pos) choices |= uint32_t{data[pos]} << (8 * i);

  CommandLineCase result;
  ScanSettings& settings = result.settings;
  for (size_t i = 0; i < kScanSwitches.size(); ++i) settings.switchOn[i] = (choices >> i) & 1;

  result.scannerPath = NextText(data, size, &pos) + kPathSeparator + "scan.exe";
  settings.target = NextText(data, size, &pos);
  settings.reportPath = NextText(data, size, &pos);
  settings.moveDirectory = NextText(data, size, &pos);
  settings.reportToFile = ((choices >> 17) & 1) && !settings.reportPath.empty();
  settings.moveInfected = ((choices >> 18) & 1) && !settings.moveDirectory.empty();
  return result;
}

std::vector<std::string> CommandLineCase::ExpectedArguments() const {
  std::vector<std::string> arguments = {scannerPath};
  if (!settings.target.empty()) arguments.push_back(NotASwitch(settings.target));
  for (size_t i = 0; i < kScanSwitches.size(); ++i)
    if (settings.switchOn[i]) arguments.push_back(kScanSwitches[i].text + 1);  // without the blank
  if (settings.reportToFile) {
    arguments.push_back(PathSwitchText(PathSwitch::kReport) + 1);
    arguments.push_back(NotASwitch(settings.reportPath));
  }
  if (settings.moveInfected) {
    arguments.push_back(PathSwitchText(PathSwitch::kMove) + 1);
    arguments.push_back(NotASwitch(settings.moveDirectory));
  }
  return arguments;
}
