// The scanner's command line, built from the window's settings.
#pragma once

#include <optional>
#include <string>

#include "scan/scan_settings.h"
#include "scan/user_prompts.h"

// Builds the line for one scan: scanner path, quoted target, switches in
// table order, " /report <path>", " /move <dir>", extra parameters. On the way
// it may ask whether to overwrite an existing report and whether to create a
// missing quarantine directory, and creates it (a failure is shown in the
// error box): questions and box go to the user through prompts. On Linux a
// leading "~" in the target, report path and move directory is the home
// folder. Returns nothing when the request ends there.
std::optional<std::string> BuildScanCommandLine(const ScanSettings& settings,
                                                const std::string& scannerPath,
                                                UserPrompts& prompts);

// The line alone, as BuildScanCommandLine returns it once both questions are
// answered: no question, no look at the file system.
std::string ComposeScanCommandLine(const ScanSettings& settings, const std::string& scannerPath);

// arg in double quotes, with the backslashes that end it doubled so that they
// cannot escape the closing quote ("C:\" becomes "C:\\"). Where names may
// hold a double quote (Linux), each one inside is escaped as \".
std::string QuoteArgument(const std::string& arg);

// arg quoted by QuoteArgument when it holds a blank or a tab, else unchanged.
// For the scanner's own path: the program name of a line knows no escapes.
std::string QuoteIfBlank(const std::string& arg);

// The report path or move directory as an argument: quoted by QuoteIfBlank,
// or also when it holds a double quote where names may hold one.
std::string QuotePathIfNeeded(const std::string& path);

// Linux: a folder right under the root named like a switch ("/boot") as
// "/./boot", the same folder, which the scanner cannot take for the switch;
// every other path as it is.
std::string NotASwitch(const std::string& path);
