// The table of what a scan asks of an engine.
#include "bridge/scan_options.h"

#include <array>

#include "base/text.h"
#include "bridge/texts.h"

namespace bridge {

namespace {

using namespace cl_flags;
using Role = ScanOption::Role;

bool Archives(const ScanRequest& r) { return r.ScansArchives(); }
bool Mail(const ScanRequest& r) { return r.ScansMail(); }
bool Office(const ScanRequest& r) { return r.ScansOffice(); }

// One row per meaning. The rows without a predicate are what every scan of
// ours asks, as clamscan does by default, plus the alerts without which a
// file over a limit or encrypted would pass for clean. /all needs no row:
// ClamAV looks at every file whatever its name.
constexpr ScanOption kRows[] = {
    {Archives,
     {0, kParseArchive, 0},
     "--scan-archive",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanArchive; },
     texts::kEngineNoArchives},
    {Mail,
     {0, kParseMail, 0},
     "--scan-mail",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanMail; },
     texts::kEngineNoMail},
    {Office,
     {0, kParseOle2, 0},
     "--scan-ole2",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanOle2; },
     texts::kEngineNoOle2},
    {nullptr,
     {0, kParsePe, 0},
     "--scan-pe",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanPe; },
     texts::kEngineNoPe},
    {nullptr,
     {0, kParseElf, 0},
     "--scan-elf",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanElf; },
     texts::kEngineNoElf},
    {nullptr,
     {0, kParsePdf, 0},
     "--scan-pdf",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanPdf; },
     texts::kEngineNoPdf},
    {nullptr,
     {0, kParseHtml, 0},
     "--scan-html",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanHtml; },
     texts::kEngineNoHtml},
    {nullptr,
     {0, kParseSwf, 0},
     "--scan-swf",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanSwf; },
     texts::kEngineNoSwf},
    {nullptr,
     {0, kParseXmlDocs, 0},
     "--scan-xmldocs",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanXmlDocs; },
     texts::kEngineNoXmlDocs},
    {nullptr,
     {0, kParseHwp3, 0},
     "--scan-hwp3",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanHwp3; },
     texts::kEngineNoHwp3},
    // Newer than some clamscan releases: clamscan's own default (yes) stands.
    {nullptr,
     {0, kParseOneNote | kParseImage | kParseImageFuzzyHash, 0},
     nullptr,
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.scanOneNote && c.scanImage && c.scanImageFuzzyHash; },
     texts::kEngineNoImages},
    {nullptr,
     {kGeneralHeuristics, 0, 0},
     "--heuristic-alerts",
     Role::kLooksInto,
     [](const ClamdConfig& c) { return c.Heuristics(); },
     texts::kEngineNoHeuristics},
    // A file over a limit is named "Heuristics.Limits.Exceeded.*", never clean.
    {nullptr,
     {0, 0, kHeuristicExceedsMax},
     "--alert-exceeds-max",
     Role::kTells,
     [](const ClamdConfig& c) { return c.alertExceedsMax; },
     texts::kDaemonNoExceedsMax},
    // An encrypted archive or document is named "Heuristics.Encrypted.*".
    {nullptr,
     {0, 0, kHeuristicEncryptedArchive | kHeuristicEncryptedDoc},
     "--alert-encrypted",
     Role::kTells,
     [](const ClamdConfig& c) {
       return c.AlertsEncryptedArchives() && c.AlertsEncryptedDocuments();
     },
     texts::kDaemonNoEncrypted},
};

bool Asks(const ScanOption& row, const ScanRequest& request) {
  return !row.asked || row.asked(request);
}

bool StartsWithBytes(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && text.compare(0, start.size(), start) == 0;
}

}  // namespace

std::span<const ScanOption> ScanOptionTable() { return kRows; }

LibraryOptions LibraryOptionsFor(const ScanRequest& request) {
  LibraryOptions options;
  for (const ScanOption& row : kRows) {
    if (!Asks(row, request)) continue;
    options.general |= row.library.general;
    options.parse |= row.library.parse;
    options.heuristic |= row.library.heuristic;
  }
  return options;
}

std::vector<std::string> ClamscanOptionsFor(const ScanRequest& request) {
  std::vector<std::string> options;
  for (const ScanOption& row : kRows)
    if (row.clamscan)
      options.push_back(row.clamscan + std::string(Asks(row, request) ? "=yes" : "=no"));
  return options;
}

std::string WhyContainersNotWhole(const ClamdConfig& config) {
  std::string why;
  for (const ScanOption& row : kRows)
    if (row.role == ScanOption::Role::kTells && !row.daemonHas(config))
      why += (why.empty() ? "" : "; ") + std::string(row.whyNot);
  // ClamAV cuts an archive member larger than its file size limit to that
  // size, at any depth and whatever the archive's directory claims, and
  // says so only in its debug log: with such a limit no archive's "OK" is
  // the whole truth.
  if (config.maxFileSize != 0)
    why += (why.empty() ? "" : "; ") + std::string(texts::kDaemonCutsMembers) +
           ClamdSizeText(config.maxFileSize);
  return why;
}

Container ContainerOf(std::string_view bytes) {
  static constexpr struct {
    std::string_view magic;
    Container container;
  } kMagics[] = {
      {"PK\x03\x04", Container::kArchive},  // zip, and Office's and OpenDocument's files
      {"PK\x05\x06", Container::kArchive},
      {"PK\x07\x08", Container::kArchive},
      {"\x1f\x8b", Container::kArchive},  // gzip
      {"BZh", Container::kArchive},       // bzip2
      {"\xfd"
       "7zXZ",
       Container::kArchive},  // xz
      {"7z\xbc\xaf\x27\x1c", Container::kArchive},
      {"Rar!\x1a\x07", Container::kArchive},
      {"MSCF", Container::kArchive},      // cabinet
      {"ISc(", Container::kArchive},      // InstallShield
      {"\x60\xea", Container::kArchive},  // arj
      {"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", Container::kOffice},
      {"From ", Container::kMail},
      {"Received:", Container::kMail},
      {"Return-Path:", Container::kMail},
      {"Delivered-To:", Container::kMail},
      {"MIME-Version:", Container::kMail},
      {"Message-ID:", Container::kMail},
  };
  for (const auto& entry : kMagics)
    if (StartsWithBytes(bytes, entry.magic)) return entry.container;
  // tar's mark, and a PDF's header anywhere in its first kilobyte (as ClamAV finds it).
  if (bytes.size() >= 262 && (bytes.substr(257, 5) == "ustar")) return Container::kArchive;
  if (bytes.substr(0, kContainerProbe).find("%PDF-") != std::string_view::npos)
    return Container::kPdf;
  return Container::kNone;
}

bool LooksInto(const ScanRequest& request, Container container) {
  switch (container) {
    case Container::kNone:
      return false;
    case Container::kArchive:
      return request.ScansArchives();
    case Container::kOffice:
      return request.ScansOffice();
    case Container::kMail:
      return request.ScansMail();
    case Container::kPdf:
      return true;
  }
  return false;
}

}  // namespace bridge
