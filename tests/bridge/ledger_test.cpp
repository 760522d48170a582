// The ledger: one fate per file, written once; names that cannot pose as
// other lines; the report switches; the exit code.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
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

// more: further events of the scan before its end.
LedgerRun Record(const std::vector<std::string>& switches, const std::vector<Event>& events,
                 bool walkError = false, const std::function<void(bridge::Ledger&)>& more = {}) {
  testing_support::TempDir dir;
  const std::string report = dir.Join("report.txt");
  std::vector<std::string> args = {"/srv"};
  args.insert(args.end(), switches.begin(), switches.end());
  const bridge::ScanRequest request = bridge::ReadRequest(args, PathStyle::kPosix).request;
  LedgerRun run;
  const bridge::Printer print = [&](const std::string& line, bool) { run.console.push_back(line); };
  {
    bridge::LedgerWriter writer(print, PathStyle::kPosix);
    EXPECT_TRUE(writer.OpenReport(report, false));
    bridge::Ledger ledger(writer, request);
    for (const Event& event : events)
      ledger.File(FileToScan{event.path, event.path, {}, 0}, event.verdict, event.treatment);
    if (walkError) ledger.WalkError("/srv/locked", "没有权限");
    if (more) more(ledger);
    ledger.Finish(std::chrono::seconds(61));
    run.code = ledger.ExitCode();
  }  // the console took every line
  run.report = testing_support::ReadTextFile(report);
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
  const Event encrypted{"/srv/e.zip", bridge::FromDetection("Heuristics.Encrypted.Zip"), {}};
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
      {{clean, encrypted}, false, kExitError},  // neither infected nor clean
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

TEST(BridgeLedger, TextsFromOutsideAreEscapedAsPathsAre) {
  // A daemon's or signature's words that pose as another file's line and
  // clear the terminal.
  const std::string forged = "x\n/srv/forged: 正常\r\x1b[2J";
  const std::string written = "x\\n/srv/forged: 正常\\r\\x1B[2J";
  const LedgerRun run =
      Record({"/rptall", "/rptcor", "/rpterr"},
             {{"/srv/v", Verdict::Infected(forged), Treatment{Treatment::Kind::kFailed, forged}},
              {"/srv/big", Verdict::Incomplete(Shortfall::kEngineError, forged), {}}},
             false, [&](bridge::Ledger& ledger) {
               ledger.Note(forged);
               ledger.WalkError("/srv/d", forged);
               ledger.Problem(forged);
             });
  size_t count = 0;
  for (size_t at = run.report.find(written); at != std::string::npos;
       at = run.report.find(written, at + 1))
    ++count;
  EXPECT_EQ(count, 6u) << run.report;  // virus, treatment, detail, note, walk error, problem
  EXPECT_FALSE(Has(run.report, "\n/srv/forged")) << run.report;
  for (const std::string& line : run.console)
    EXPECT_EQ(line.find_first_of("\n\r\x1b"), std::string::npos) << line;
}

TEST(BridgeLedgerWriter, AConsoleThatTakesNothingHoldsUpNoStop) {
  testing_support::TempDir dir;
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  const bridge::Printer print = [&](const std::string&, bool) { released.wait(); };
  {
    bridge::LedgerWriter writer(print, PathStyle::kPosix);
    EXPECT_TRUE(writer.OpenReport(dir.Join("report.txt"), false));
    std::future<void> writing = std::async(std::launch::async, [&] {
      for (int i = 0; i < 1000; ++i)
        writer.Line("line " + std::to_string(i), bridge::LineStream::kOutput,
                    bridge::LineReport::kAlsoReport);
    });
    // The lines past a backlog wait for the console, until the scan stops.
    EXPECT_EQ(writing.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    writer.Stopping();
    EXPECT_EQ(writing.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    writer.LastReportLine("end");
    writer.Line("after the end", bridge::LineStream::kOutput, bridge::LineReport::kAlsoReport);
    release.set_value();
  }
  const std::string report = testing_support::ReadTextFile(dir.Join("report.txt"));
  EXPECT_TRUE(report.ends_with("line 999\nend\n")) << report;
}

}  // namespace
