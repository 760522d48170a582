// The daemon's configuration as clamd reads it, the choice between the
// daemon and clamscan, and the daemon's replies.
#include <gtest/gtest.h>

#include "bridge.h"
#include "bridge_texts.h"
#include "clamd_client.h"
#include "clamd_config.h"

namespace {

using bridge::ChooseEngine;
using bridge::ClamdConfig;
using bridge::ClamdReply;

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

bridge::Arguments Args(std::vector<std::string> switches, bool move = false) {
  bridge::Arguments arguments;
  arguments.targets = {"/data"};
  arguments.switches = std::move(switches);
  if (move) arguments.moveDirectory = "/quarantine";
  return arguments;
}

TEST(ClamdConfigTest, DaemonOnlyWhereItScansAtLeastWhatIsAskedAndRemovesNothingMore) {
  ClamdConfig all;  // archives, mail and documents, as clamd scans by default
  all.localSocket = "/run/clamd.ctl";
  ClamdConfig noArchives = all;
  noArchives.scanArchive = false;
  ClamdConfig noDocuments = all;
  noDocuments.scanOle2 = false;

  struct Case {
    bridge::Arguments arguments;
    const ClamdConfig* config;
    const char* reason;  // nullptr: the daemon
  } cases[] = {
      {Args({"/unzip", "/mime"}), &all, nullptr},
      // Deeper than asked, but only reported: harmless.
      {Args({}), &all, nullptr},
      {Args({"/unzip", "/mime", "/del"}), &all, nullptr},
      // Less than asked.
      {Args({"/unzip"}), &noArchives, bridge::texts::kEngineNoArchives},
      {Args({"/unzip", "/mime"}), &noDocuments, bridge::texts::kEngineNoOle2},
      {Args({"/unzip", "/mime", "/nodoc"}), &noDocuments, nullptr},
      // Deeper than asked, with the finds removed or moved.
      {Args({"/mime", "/del"}), &all, bridge::texts::kEngineArchives},
      {Args({"/unzip"}, true), &all, bridge::texts::kEngineMail},
      {Args({"/unzip", "/mime", "/nodoc"}, true), &all, bridge::texts::kEngineOle2},
  };
  for (const Case& c : cases) {
    const bridge::EngineChoice choice = ChooseEngine(c.arguments, *c.config);
    SCOPED_TRACE(c.arguments.switches.empty() ? "" : c.arguments.switches[0]);
    EXPECT_EQ(choice.daemon, c.reason == nullptr) << choice.reason;
    if (c.reason) {
      EXPECT_EQ(choice.reason, c.reason);
    }
  }

  // clamscan's own options are the user's wish; no configuration or no
  // socket leaves only clamscan.
  bridge::Arguments withDatabase = Args({"/unzip", "/mime"});
  withDatabase.clamscanOptions = {"-d", "/db"};
  EXPECT_EQ(ChooseEngine(withDatabase, all).reason, bridge::texts::kEngineClamscanOptions);
  EXPECT_EQ(ChooseEngine(Args({}), std::nullopt).reason, bridge::texts::kEngineNoConfig);
  EXPECT_EQ(ChooseEngine(Args({}), ClamdConfig{}).reason, bridge::texts::kEngineNoSocket);
}

TEST(ClamdConfigTest, RepliesOfTheDaemon) {
  using Kind = ClamdReply::Kind;
  const auto parse = [](const char* text) { return bridge::ParseClamdReply(text); };
  EXPECT_EQ(parse("fd[5]: OK").kind, Kind::kClean);
  EXPECT_EQ(parse("stream: OK\n").kind, Kind::kClean);
  const ClamdReply found = parse("fd[5]: Eicar-Test-Signature FOUND");
  EXPECT_EQ(found.kind, Kind::kInfected);
  EXPECT_EQ(found.text, "Eicar-Test-Signature");
  // ExtendedDetectionInfo's hash and size are not part of the name.
  EXPECT_EQ(parse("stream: Win.Test(44d88612fea8a8f36de82e1278abb02f:68) FOUND").text, "Win.Test");
  const ClamdReply error = parse("stream: INSTREAM size limit exceeded. ERROR");
  EXPECT_EQ(error.kind, Kind::kError);
  EXPECT_EQ(error.text, "INSTREAM size limit exceeded.");
  // Anything else is no verdict: never taken for a clean file.
  EXPECT_EQ(parse("UNKNOWN COMMAND").kind, Kind::kNoAnswer);
  EXPECT_EQ(parse("fd[5]: OKAY").kind, Kind::kNoAnswer);
}

}  // namespace
