// What a scan asks of an engine, one row per meaning: when the request asks
// it, the scan options of ClamAV's library, clamscan's option, and the
// clamd.conf setting the daemon must have to serve it, with the words for
// the user when it has not. Every engine and the choice between them read
// these rows, so one meaning is written down once.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/clamd_config.h"
#include "bridge/scan_request.h"

namespace bridge {

// libclamav's scan options (cl_scan_options), with clamav.h's values: the
// table is read on systems without the library too. The library engine
// checks them against clamav.h when it is built.
struct LibraryOptions {
  uint32_t general = 0;
  uint32_t parse = 0;
  uint32_t heuristic = 0;
};
namespace cl_flags {
inline constexpr uint32_t kGeneralHeuristics = 0x4;
inline constexpr uint32_t kParseArchive = 0x1;
inline constexpr uint32_t kParseElf = 0x2;
inline constexpr uint32_t kParsePdf = 0x4;
inline constexpr uint32_t kParseSwf = 0x8;
inline constexpr uint32_t kParseHwp3 = 0x10;
inline constexpr uint32_t kParseXmlDocs = 0x20;
inline constexpr uint32_t kParseMail = 0x40;
inline constexpr uint32_t kParseOle2 = 0x80;
inline constexpr uint32_t kParseHtml = 0x100;
inline constexpr uint32_t kParsePe = 0x200;
inline constexpr uint32_t kParseOneNote = 0x400;
inline constexpr uint32_t kParseImage = 0x800;
inline constexpr uint32_t kParseImageFuzzyHash = 0x1000;
inline constexpr uint32_t kHeuristicExceedsMax = 0x4;
inline constexpr uint32_t kHeuristicEncryptedArchive = 0x40;
inline constexpr uint32_t kHeuristicEncryptedDoc = 0x80;
}  // namespace cl_flags

struct ScanOption {
  // What the daemon's setting means for the choice. kLooksInto: a way of
  // looking into files; a daemon without it scans less than asked and is
  // not used, one with it that was not asked looks deeper (its finds are
  // confirmed before treatment). kTells: an alert; a daemon without it
  // answers "OK" for a container it did not look into completely.
  enum class Role { kLooksInto, kTells };

  bool (*asked)(const ScanRequest&);  // nullptr: every scan asks it
  LibraryOptions library;
  const char* clamscan;  // the yes/no option, "=yes" or "=no" after it
  Role role;
  bool (*daemonHas)(const ClamdConfig&);
  const char* whyNot;  // the daemon without it, in the user's words
};

// The rows.
std::span<const ScanOption> ScanOptionTable();

// The library's options for the request.
LibraryOptions LibraryOptionsFor(const ScanRequest& request);

// clamscan's options for the request, one "--name=yes|no" each.
std::vector<std::string> ClamscanOptionsFor(const ScanRequest& request);

// Why a daemon's "OK" for a container the request asks to look into is not
// the whole truth (its alerts off, or its file size limit, at which it cuts
// archive members without a word); empty when it is.
std::string WhyContainersNotWhole(const ClamdConfig& config);

// What a file's first bytes say it holds, for the daemon's "OK": a file
// that holds others is one ClamAV looks into when the request asks.
enum class Container { kNone, kArchive, kOffice, kMail, kPdf };
Container ContainerOf(std::string_view firstBytes);
// How many first bytes ContainerOf needs at most.
inline constexpr size_t kContainerProbe = 1024;

// Whether the request asks ClamAV to look into such a container.
bool LooksInto(const ScanRequest& request, Container container);

}  // namespace bridge
