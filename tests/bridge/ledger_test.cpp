// The ledger: one fate per file, written once; names that cannot pose as
// other lines; the report switches; the exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/exit_codes.h"
#include "bridge/ledger.h"
#include "bridge/ledger_writer.h"
#include "bridge/scan_request.h"
#include "bridge/texts.h"
#include "tests/support/test_support.h"

namespace {

using bridge::FileToScan;
using bridge::PathStyle;
using bridge::Shortfall;
using bridge::Treatment;
using bridge::Verdict;

TEST(BridgeLedger, PathsAreWrittenExactlyOnOneLine) {
  const struct {
    std::string path;
    PathStyle style;
    std::string written;
  } cases[] = {
      {"/home/ann/报告.doc", PathStyle::kPosix, "/home/ann/报告.doc"},
      {"a\n----------- SCAN SUMMARY -----------", PathStyle::kPosix,
       "a\\n----------- SCAN SUMMARY -----------"},
      {"evil\n/home/user/report.doc", PathStyle::kPosix, "evil\\n/home/user/report.doc"},
      {"cr\rtab\tesc\x1b[2Jdel\x7f", PathStyle::kPosix, "cr\\rtab\\tesc\\x1B[2Jdel\\x7F"},
      // A backslash is no separator on Linux: written doubled, so "\n" above stays unique.
      {"a\\nb", PathStyle::kPosix, "a\\\\nb"},
      {"C:\\data\\a.exe", PathStyle::kWindows, "C:\\data\\a.exe"},
      // Bytes that are not UTF-8, and the C1 controls.
      {std::string("x\xff\xc3y"), PathStyle::kPosix, "x\\xFF\\xC3y"},
      {std::string("c1\xc2\x85"), PathStyle::kPosix, "c1\\xC2\\x85"},
  };
  for (const auto& c : cases) EXPECT_EQ(bridge::EscapedPath(c.path, c.style), c.written);
}

struct Event {
  std::string path;
  Verdict verdict;
  Treatment treatment;
};

// Records the events in a ledger with a report; the console's lines and the report's.
struct LedgerRun {
  std::vector<std::string> console;
  std::string report;
  int code = -1;
};

LedgerRun Record(const std::vector<std::string>& switches, const std::vector<Event>& events,
                 bool walkError = false) {
  testing_support::TempDir dir;
  std::vector<std::string> args = {"/srv"};
  args.insert(args.end(), switches.begin(), switches.end());
  const bridge::ScanRequest request = bridge::ReadRequest(args, PathStyle::kPosix).request;
  LedgerRun run;
  const bridge::Printer print = [&](const std::string& line, bool) { run.console.push_back(line); };
  bridge::LedgerWriter writer(print, PathStyle::kPosix);
  EXPECT_TRUE(writer.OpenReport(dir.Join("report.txt"), false));
  bridge::Ledger ledger(writer, request);
  for (const Event& event : events)
    ledger.File(FileToScan{event.path, event.path, {}, 0}, event.verdict, event.treatment);
  if (walkError) ledger.WalkError("/srv/locked", "没有权限");
  ledger.Finish(std::chrono::seconds(61));
  run.code = ledger.ExitCode();
  run.report = testing_support::ReadTextFile(dir.Join("report.txt"));
  return run;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(BridgeLedger, ExitCodeTellsFoundBeforeIncompleteBeforeClean) {
  const Event clean{"/srv/a", Verdict::Clean(), {}};
  const Event infected{"/srv/v", Verdict::Infected("Eicar-Test-Signature"), {}};
  const Event limit{"/srv/big", Verdict::Incomplete(Shortfall::kFileSizeLimit), {}};
  const Event lost{"/srv/late", Verdict::Incomplete(Shortfall::kDaemonLost), {}};
  const Event failedMove{"/srv/v2", Verdict::Infected("Eicar-Test-Signature"),
                         Treatment{Treatment::Kind::kFailed, "x"}};
  const struct {
    std::vector<Event> events;
    bool walkError;
    int code;
  } cases[] = {
      {{clean}, false, kExitNothingFound},
      {{}, false, kExitError},  // nothing reached is no clean result
      {{clean, limit}, false, kExitError},
      {{clean}, true, kExitError},
      {{infected, lost, limit}, true, kExitInfected},
      {{clean, failedMove}, false, kExitInfected},
  };
  for (const auto& c : cases) EXPECT_EQ(Record({}, c.events, c.walkError).code, c.code);
}

TEST(BridgeLedger, ReportHoldsWhatItsSwitchesAskFor) {
  const std::vector<Event> events = {
      {"/srv/clean", Verdict::Clean(), {}},
      {"/srv/v", Verdict::Infected("Eicar-Test-Signature"),
       Treatment{Treatment::Kind::kMoved, "/q/v.001"}},
      {"/srv/big", Verdict::Incomplete(Shortfall::kFileSizeLimit), {}},
      {"/srv/locked-file", Verdict::Incomplete(Shortfall::kUnreadable, "没有权限"), {}},
  };
  const std::string moved = std::string(bridge::texts::kInfectedMark) +
                            "/srv/v: Eicar-Test-Signature" + bridge::texts::kMovedTo + "/q/v.001";
  const struct {
    std::vector<std::string> switches;
    bool clean, limit, unreadable, walkError;
  } cases[] = {
      {{}, false, false, false, false},
      {{"/rptall"}, true, false, false, false},
      {{"/rptcor"}, false, true, true, false},
      {{"/rpterr"}, false, false, true, true},
  };
  for (const auto& c : cases) {
    const LedgerRun run = Record(c.switches, events, true);
    const std::string& report = run.report;
    EXPECT_TRUE(Has(report, moved)) << report;
    EXPECT_EQ(Has(report, "/srv/clean"), c.clean) << report;
    EXPECT_EQ(Has(report, "/srv/big"), c.limit) << report;
    EXPECT_EQ(Has(report, "/srv/locked-file"), c.unreadable) << report;
    EXPECT_EQ(Has(report, "/srv/locked:"), c.walkError) << report;
    // The console names every fate; the summary counts them, in both.
    for (const char* path : {"/srv/clean", "/srv/big", "/srv/locked-file", "/srv/locked:"}) {
      bool named = false;
      for (const std::string& line : run.console) named = named || Has(line, path);
      EXPECT_TRUE(named) << path;
    }
    for (const std::string& line : {std::string(bridge::texts::kSummaryFiles) + "2",
                                    std::string(bridge::texts::kSummaryInfected) + "1",
                                    std::string(bridge::texts::kSummaryTreated) + "1",
                                    std::string(bridge::texts::kSummaryIncomplete) + "2",
                                    std::string(bridge::texts::kSummaryErrors) + "1",
                                    std::string(bridge::texts::kSummaryTime) + "1" +
                                        bridge::texts::kMinutes + "1" + bridge::texts::kSeconds})
      EXPECT_TRUE(Has(report, line + "\n")) << line;
  }
}

}  // namespace
