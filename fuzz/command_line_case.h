// One scan request decoded from arbitrary bytes, with the arguments the
// scanner must receive for it. Shared by the fuzz target and by the test that
// replays the fuzz corpus through the system's own splitter.
//
// Layout of the bytes: three bytes of choices (bits 0-16: the switches in
// table order; bit 17: report to a file; bit 18: move infected files), then
// up to four texts separated by a zero byte: the scanner's folder (the path is
// that folder, a separator and "scan.exe", as beside the program), the target,
// the report path and the move directory. Each text byte stands for itself,
// except that a byte of 0x80 and above picks one of sixteen non-ASCII
// characters (so every text is valid UTF-8) and a double quote is left out:
// Windows names cannot hold one, and a target typed with its own quotes is
// deliberately passed on as typed. An empty report path or move directory
// turns its option off: the line then carries the bare switch on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/scan_settings.h"

struct CommandLineCase {
  std::string scannerPath;
  ScanSettings settings;

  // Program, target (when not empty), the switches, "/report" and its path,
  // "/move" and its directory.
  std::vector<std::string> ExpectedArguments() const;
};

CommandLineCase DecodeCommandLineCase(const uint8_t* data, size_t size);

// The sixteen characters bytes of 0x80 and above stand for (UTF-8).
extern const char* const kFuzzNonAsciiCharacters[16];
