// The daemon's configuration as clamd reads it, and the choice between the
// daemon and the local engine.
#include <gtest/gtest.h>

#include <cstdint>

#include "bridge/clamd_config.h"
#include "bridge/engine_choice.h"
#include "bridge/scan_options.h"
#include "bridge/scan_request.h"
#include "bridge/texts.h"

namespace {

using bridge::ChooseEngine;
using bridge::ClamdConfig;

TEST(ClamdConfigTest, ReadsSocketsAndScanOptionsAsClamdDoes) {
  const ClamdConfig config = bridge::ParseClamdConfig(
      "# LocalSocket /commented/out\r\n"
      "LocalSocket \t\n"
      "  localsocket \"/run/clam d.ctl\"  \n"
      "TCPSocket 3310\n"
      "TCPAddr 127.0.0.2\n"
      "TCPAddr 10.0.0.1\n"
      "ScanArchive no\n"
      "ScanMail false\n"
      "ScanOLE2 yes\n"
      "Foreground\n");
  EXPECT_EQ(config.localSocket, "/run/clam d.ctl");
  EXPECT_EQ(config.tcpSocket, "3310");
  EXPECT_EQ(config.tcpAddress, "127.0.0.2");  // the first address counts
  EXPECT_FALSE(config.scanArchive);
  EXPECT_FALSE(config.scanMail);
  EXPECT_TRUE(config.scanOle2);
  // Absent options keep clamd's defaults; no socket means no daemon to ask.
  const ClamdConfig empty = bridge::ParseClamdConfig("LogFile /tmp/x\n");
  EXPECT_TRUE(empty.scanArchive && empty.scanMail && empty.scanOle2);
  EXPECT_FALSE(empty.HasSocket());
}

TEST(ClamdConfigTest, ReadsTheDaemonsLimitsWithClamdsDefaultsAndSizes) {
  constexpr uint64_t kM = 1 << 20;
  struct Case {
    const char* line;
    uint64_t ClamdConfig::*field;
    uint64_t expected;
  } cases[] = {
      // clamd's defaults when absent.
      {"", &ClamdConfig::maxFileSize, 100 * kM},
      {"", &ClamdConfig::maxScanSize, 400 * kM},
      {"", &ClamdConfig::streamMaxLength, 100 * kM},
      {"", &ClamdConfig::maxRecursion, 17},
      {"", &ClamdConfig::maxFiles, 10000},
      {"", &ClamdConfig::maxScanTimeMs, 120000},
      {"", &ClamdConfig::maxThreads, 10},
      {"", &ClamdConfig::maxConnectionQueueLength, 200},
      // Debian's stock clamd.conf.
      {"MaxFileSize 25M", &ClamdConfig::maxFileSize, 25 * kM},
      {"StreamMaxLength 25M", &ClamdConfig::streamMaxLength, 25 * kM},
      {"MaxScanSize 100M", &ClamdConfig::maxScanSize, 100 * kM},
      {"MaxRecursion 16", &ClamdConfig::maxRecursion, 16},
      {"MaxFiles 10000", &ClamdConfig::maxFiles, 10000},
      {"MaxScanTime 120000", &ClamdConfig::maxScanTimeMs, 120000},
      {"MaxThreads 12", &ClamdConfig::maxThreads, 12},
      {"MaxConnectionQueueLength 15", &ClamdConfig::maxConnectionQueueLength, 15},
      // Other spellings of a size; 0 is no limit.
      {"maxfilesize 512k", &ClamdConfig::maxFileSize, 512 * 1024},
      {"MaxScanSize 2G", &ClamdConfig::maxScanSize, 2048 * kM},
      {"StreamMaxLength 1000", &ClamdConfig::streamMaxLength, 1000},
      {"MaxFileSize 0", &ClamdConfig::maxFileSize, 0},
      // clamd.conf's sizes have no length limit of their own.
      {"MaxFileSize 0000000000000000000000001M", &ClamdConfig::maxFileSize, kM},
      // What clamd would not start with leaves the default.
      {"MaxFileSize 25X", &ClamdConfig::maxFileSize, 100 * kM},
      {"MaxFileSize M", &ClamdConfig::maxFileSize, 100 * kM},
      {"MaxFileSize 99999999999999999999", &ClamdConfig::maxFileSize, 100 * kM},
      {"MaxFileSize 99999999999999G", &ClamdConfig::maxFileSize, 100 * kM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(bridge::ParseClamdConfig(std::string(c.line) + "\n").*c.field, c.expected);
  }
}

TEST(ClamdConfigTest, ContainersAreTheDaemonsWholeTruthOnlyWithItsAlertsAndNoMemberCut) {
  // Debian's stock clamd.conf (older names included), then what it needs.
  const std::string debian =
      "ScanArchive true\nArchiveBlockEncrypted false\nAlgorithmicDetection true\n"
      "ScanPE true\nMaxFileSize 25M\n";
  const struct {
    std::string text;
    std::vector<const char*> why;  // the reasons named, in order
  } cases[] = {
      {debian,
       {bridge::texts::kDaemonNoExceedsMax, bridge::texts::kDaemonNoEncrypted,
        bridge::texts::kDaemonCutsMembers}},
      {debian + "AlertExceedsMax yes\nAlertEncrypted yes\n", {bridge::texts::kDaemonCutsMembers}},
      {debian + "BlockMax yes\nAlertEncryptedArchive yes\nMaxFileSize 0\n",
       {bridge::texts::kDaemonNoEncrypted}},
      {debian + "AlertExceedsMax yes\nAlertEncryptedArchive yes\nAlertEncryptedDoc yes\n"
                "MaxFileSize 0\n",
       {}},
      // An archive alert needs ScanArchive.
      {"AlertExceedsMax yes\nAlertEncrypted yes\nMaxFileSize 0\nScanArchive no\n",
       {bridge::texts::kDaemonNoEncrypted}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string why = bridge::WhyContainersNotWhole(bridge::ParseClamdConfig(c.text));
    size_t at = 0;
    for (const char* part : c.why) {
      at = why.find(part, at);
      EXPECT_NE(at, std::string::npos) << part << "\n" << why;
    }
    EXPECT_EQ(why.empty(), c.why.empty()) << why;
  }
  // Which files are containers, by their first bytes.
  using bridge::Container;
  const struct {
    std::string bytes;
    Container container;
  } files[] = {
      {"PK\x03\x04rest", Container::kArchive},
      {"\x1f\x8b\x08", Container::kArchive},
      {std::string(257, '\0') + "ustar", Container::kArchive},
      {"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", Container::kOffice},
      {"Received: from x", Container::kMail},
      {"junk\n%PDF-1.7", Container::kPdf},
      {"MZ\x90\x00", Container::kNone},
      {"PK", Container::kNone},
  };
  for (const auto& f : files) EXPECT_EQ(bridge::ContainerOf(f.bytes), f.container) << f.bytes;
}

bridge::ScanRequest Request(std::vector<std::string> args) {
  args.insert(args.begin(), "/data");
  const bridge::RequestResult read = bridge::ReadRequest(args, bridge::PathStyle::kPosix);
  EXPECT_TRUE(read.ok()) << read.error;
  return read.request;
}

TEST(ClamdConfigTest, DaemonWhereItScansAtLeastWhatIsAskedAndDeeperFindsConfirmedBeforeTreatment) {
  ClamdConfig all;  // archives, mail and documents, as clamd scans by default
  all.localSocket = "/run/clamd.ctl";
  ClamdConfig noArchives = all;
  noArchives.scanArchive = false;
  ClamdConfig noDocuments = all;
  noDocuments.scanOle2 = false;
  // Less than every scan asks, whatever the switches.
  ClamdConfig noPe = bridge::ParseClamdConfig("LocalSocket /s\nScanPE no\n");
  ClamdConfig noHeuristics = bridge::ParseClamdConfig("LocalSocket /s\nAlgorithmicDetection no\n");

  struct Case {
    std::vector<std::string> args;
    const ClamdConfig* config;
    const char* reason;  // nullptr: the daemon
    bool confirm;        // its finds confirmed before treatment
  } cases[] = {
      {{"/unzip", "/mime"}, &all, nullptr, false},
      // Deeper than asked, but only reported: harmless.
      {{}, &all, nullptr, false},
      {{"/unzip", "/mime", "/del"}, &all, nullptr, false},
      // Less than asked.
      {{"/unzip"}, &noArchives, bridge::texts::kEngineNoArchives, false},
      {{"/unzip", "/mime"}, &noDocuments, bridge::texts::kEngineNoOle2, false},
      {{"/unzip", "/mime", "/nodoc"}, &noDocuments, nullptr, false},
      {{"/unzip", "/mime"}, &noPe, bridge::texts::kEngineNoPe, false},
      {{}, &noHeuristics, bridge::texts::kEngineNoHeuristics, false},
      // Deeper than asked, with the finds removed or moved: confirmed first.
      {{"/mime", "/del"}, &all, nullptr, true},
      {{"/unzip", "/move", "/quarantine"}, &all, nullptr, true},
      {{"/unzip", "/mime", "/nodoc", "/move", "/quarantine"}, &all, nullptr, true},
      // Extra parameters are for the local engine.
      {{"/unzip", "/mime", "-d", "/db"}, &all, bridge::texts::kEngineOptions, false},
  };
  for (const Case& c : cases) {
    const bridge::EngineChoice choice = ChooseEngine(Request(c.args), *c.config);
    SCOPED_TRACE(c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(choice.daemon, c.reason == nullptr) << choice.reason;
    EXPECT_EQ(choice.confirm, c.confirm);
    if (c.reason) {
      EXPECT_EQ(choice.reason, c.reason);
    }
  }
  EXPECT_EQ(ChooseEngine(Request({}), std::nullopt).reason, bridge::texts::kEngineNoConfig);
  EXPECT_EQ(ChooseEngine(Request({}), ClamdConfig{}).reason, bridge::texts::kEngineNoSocket);
  // A daemon that does not answer: started here, or looked for on its machine.
  for (const auto& [address, hint] : {std::pair{"", bridge::texts::kEngineDaemonStartHint},
                                      {"127.0.0.1", bridge::texts::kEngineDaemonStartHint},
                                      {"192.0.2.7", bridge::texts::kEngineDaemonRemoteHint}}) {
    ClamdConfig config;
    config.tcpSocket = "3310";
    config.tcpAddress = address;
    EXPECT_STREQ(bridge::DaemonNotAnsweringHint(config), hint) << address;
  }
}

}  // namespace
