// The scanner's switches, in the order in which they follow the target on its
// command line: the plain ones (kScanSwitches), then the two that take a path
// (kPathSwitches). The scan job names them by ScanSwitch and PathSwitch, the
// ClamAV bridge reads their texts; which check box stands for which switch is
// the window's business (app/switch_boxes.h).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

enum class ScanSwitch {
  kAllDrives,
  kAllLocalDrives,
  kAllNetDrives,
  kClean,
  kBootOnly,
  kDelete,
  kAppend,
  kMime,
  kSubdirs,
  kArchives,
  kAllExtensions,
  kReportAll,
  kReportCorrupt,
  kReportErrors,
  kStreams,
  kVirusList,
  kNoOffice,
};

struct ScanSwitchEntry {
  ScanSwitch id;
  const char* text;  // begins with one space
};

inline constexpr std::array<ScanSwitchEntry, 17> kScanSwitches = {{
    {ScanSwitch::kAllDrives, " /ad"},
    {ScanSwitch::kAllLocalDrives, " /adl"},
    {ScanSwitch::kAllNetDrives, " /adn"},
    {ScanSwitch::kClean, " /clean"},
    {ScanSwitch::kBootOnly, " /boot"},
    {ScanSwitch::kDelete, " /del"},
    {ScanSwitch::kAppend, " /append"},
    {ScanSwitch::kMime, " /mime"},
    {ScanSwitch::kSubdirs, " /sub"},
    {ScanSwitch::kArchives, " /unzip"},
    {ScanSwitch::kAllExtensions, " /all"},
    {ScanSwitch::kReportAll, " /rptall"},
    {ScanSwitch::kReportCorrupt, " /rptcor"},
    {ScanSwitch::kReportErrors, " /rpterr"},
    {ScanSwitch::kStreams, " /streams"},
    {ScanSwitch::kVirusList, " /virlist"},
    {ScanSwitch::kNoOffice, " /nodoc"},
}};

// A switch's place in kScanSwitches (and in the line).
constexpr size_t SwitchIndex(ScanSwitch id) { return static_cast<size_t>(id); }

// The enumeration runs in the table's order, so a switch is its own index.
static_assert([] {
  for (size_t i = 0; i < kScanSwitches.size(); ++i)
    if (SwitchIndex(kScanSwitches[i].id) != i) return false;
  return true;
}());

// The switches that take the next word as their path, each with its path after
// the plain switches, in this order: " /report <file> /move <folder>".
enum class PathSwitch {
  kReport,
  kMove,
};

struct PathSwitchEntry {
  PathSwitch id;
  const char* text;  // begins with one space
};

inline constexpr std::array<PathSwitchEntry, 2> kPathSwitches = {{
    {PathSwitch::kReport, " /report"},
    {PathSwitch::kMove, " /move"},
}};

static_assert([] {
  for (size_t i = 0; i < kPathSwitches.size(); ++i)
    if (static_cast<size_t>(kPathSwitches[i].id) != i) return false;
  return true;
}());

constexpr const char* PathSwitchText(PathSwitch id) {
  return kPathSwitches[static_cast<size_t>(id)].text;
}

// The switch a word names; the word is in lower case, without the blank
// ("/sub", "/report").
constexpr std::optional<ScanSwitch> ScanSwitchNamed(std::string_view word) {
  for (const ScanSwitchEntry& entry : kScanSwitches)
    if (word == entry.text + 1) return entry.id;
  return std::nullopt;
}
constexpr std::optional<PathSwitch> PathSwitchNamed(std::string_view word) {
  for (const PathSwitchEntry& entry : kPathSwitches)
    if (word == entry.text + 1) return entry.id;
  return std::nullopt;
}

// Whether a word in lower case names any of the scanner's switches.
constexpr bool NamesSwitch(std::string_view word) {
  return ScanSwitchNamed(word) || PathSwitchNamed(word);
}
