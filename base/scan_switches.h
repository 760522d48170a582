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

// Whether each entry of a switch table stands at its id's index, so that a
// switch finds its entry (the enumeration runs in the table's order).
template <typename Table>
constexpr bool IdsRunInOrder(const Table& table) {
  for (size_t i = 0; i < table.size(); ++i)
    if (static_cast<size_t>(table[i].id) != i) return false;
  return true;
}

// The id of the entry a word names (in lower case, without the blank).
template <typename Table>
constexpr auto IdNamed(const Table& table, std::string_view word)
    -> std::optional<decltype(table[0].id)> {
  for (const auto& entry : table)
    if (word == entry.text + 1) return entry.id;
  return std::nullopt;
}

static_assert(IdsRunInOrder(kScanSwitches));

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

static_assert(IdsRunInOrder(kPathSwitches));

constexpr const char* PathSwitchText(PathSwitch id) {
  return kPathSwitches[static_cast<size_t>(id)].text;
}

// The switch a word names; the word is in lower case, without the blank
// ("/sub", "/report").
constexpr std::optional<ScanSwitch> ScanSwitchNamed(std::string_view word) {
  return IdNamed(kScanSwitches, word);
}
constexpr std::optional<PathSwitch> PathSwitchNamed(std::string_view word) {
  return IdNamed(kPathSwitches, word);
}

// Whether a word in lower case names any of the scanner's switches.
constexpr bool NamesSwitch(std::string_view word) {
  return ScanSwitchNamed(word) || PathSwitchNamed(word);
}
