// clamscan as the Windows engine, what every system can test: the reading of
// its output into one verdict per listed file, the path it is given, the
// /virlist lines and the command line that starts it.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "bridge/clamscan_output.h"
#include "bridge/texts.h"
#include "bridge/windows_command_line.h"
#include "tests/bridge/clamscan_argv.h"
#include "scan/command_line_split.h"

namespace {

using bridge::Shortfall;
using bridge::Verdict;
using Kind = bridge::Verdict::Kind;
using Strings = std::vector<std::string>;

struct Expected {
  Kind kind;
  std::string virusOrDetail;  // the virus, or a part of the detail
  Shortfall shortfall = Shortfall::kEngineError;
};

// Feeds both streams a byte at a time, in turn, and returns each listed
// file's verdicts in order; each file is known by its names.
std::vector<std::vector<Verdict>> ReadRun(const std::vector<Strings>& names, const std::string& out,
                                          const std::string& err, bool* noDatabase = nullptr,
                                          std::optional<int> exitCode = 2) {
  std::vector<std::vector<Verdict>> verdicts(names.size());
  bridge::ClamscanOutputReader reader(
      names, [&](size_t index, Verdict verdict) { verdicts[index].push_back(verdict); });
  for (size_t i = 0; i < std::max(out.size(), err.size()); ++i) {
    if (i < out.size()) reader.Feed(std::string_view(&out[i], 1), false);
    if (i < err.size()) reader.Feed(std::string_view(&err[i], 1), true);
  }
  reader.Finish("no answer (exit code 2)", exitCode);
  for (const size_t index : reader.Uncertain())
    verdicts[index].push_back(Verdict::Incomplete(Shortfall::kEngineError, "scan again"));
  if (noDatabase) *noDatabase = reader.NoDatabase();
  return verdicts;
}

void ExpectVerdict(const std::vector<Verdict>& got, const Expected& want, const std::string& path) {
  ASSERT_EQ(got.size(), 1u) << path;
  const Verdict& verdict = got.front();
  EXPECT_EQ(verdict.kind, want.kind) << path;
  if (want.kind == Kind::kInfected) {
    EXPECT_EQ(verdict.virus, want.virusOrDetail) << path;
  }
  if (want.kind == Kind::kIncomplete) {
    EXPECT_EQ(verdict.shortfall, want.shortfall) << path;
    EXPECT_NE(verdict.detail.find(want.virusOrDetail), std::string::npos)
        << path << ": " << verdict.detail;
  }
}

TEST(ClamscanOutput, EveryListedFileGetsExactlyOneVerdict) {
  struct Case {
    Strings names;  // as listed, then other names clamscan may print for it
    Expected expected;
  };
  const std::vector<Case> cases = {
      {{"C:\\s\\clean.txt"}, {Kind::kClean, ""}},
      {{"C:\\s\\empty"}, {Kind::kClean, ""}},
      {{"C:\\s\\eicar.com"}, {Kind::kInfected, "Eicar-Test-Signature"}},
      {{"C:\\s\\big.iso"}, {Kind::kIncomplete, "", Shortfall::kFileSizeLimit}},
      // A path holding ": ", and the shorter path it starts with.
      {{"/s/a: b.txt"}, {Kind::kClean, ""}},
      {{"/s/a"}, {Kind::kInfected, "Fake.Test"}},
      {{"C:\\s\\gone.txt"}, {Kind::kIncomplete, "No such file", Shortfall::kUnreadable}},
      {{"C:\\s\\denied.doc"}, {Kind::kIncomplete, "Permission denied", Shortfall::kUnreadable}},
      {{"C:\\s\\broken.zip"}, {Kind::kIncomplete, "Can't parse data", Shortfall::kEngineError}},
      // Held open by another program: the library's warning, then the scan.
      {{"C:\\s\\held.log"}, {Kind::kInfected, "Fake.Test"}},
      // Named by its final path, or in the OEM code page (GBK here).
      {{"c:\\s\\CASE.txt", "C:\\S\\case.txt"}, {Kind::kInfected, "Fake.Test"}},
      {{"C:\\s\\\xE7\x97\x85\xE6\xAF\x92.com", "C:\\s\\\xB2\xA1\xB6\xBE.com"},
       {Kind::kInfected, "Fake.Test"}},
      // Never named before the summary: not scanned, with the run's errors
      // and the library's warning about it.
      {{"C:\\s\\silent.txt"}, {Kind::kIncomplete, "no answer (exit code 2): Out of memory; "}},
  };
  const std::string out =
      "C:\\s\\clean.txt: OK\r\n"
      "C:\\s\\empty: Empty file\r\n"
      "C:\\s\\eicar.com: Eicar-Test-Signature FOUND\n"
      "C:\\s\\big.iso: Heuristics.Limits.Exceeded.MaxFileSize FOUND\n"
      "/s/a: b.txt: OK\n"
      "/s/a: Fake.Test FOUND\n"
      "C:\\s\\broken.zip: Can't parse data ERROR\n"
      "C:\\s\\held.log: Fake.Test FOUND\n"
      "C:\\S\\case.txt: Fake.Test FOUND\n"
      "C:\\s\\\xB2\xA1\xB6\xBE.com: Fake.Test FOUND\n"
      "\n----------- SCAN SUMMARY -----------\nKnown viruses: 5\n"
      "C:\\s\\silent.txt: OK\n";
  const std::string err =
      "C:\\s\\gone.txt: No such file or directory\nWARNING: C:\\s\\gone.txt: Can't access file\n"
      "LibClamAV Warning: the engine is outdated\n"
      "LibClamAV Warning: Can't open file C:\\s\\denied.doc: 5\n"
      "WARNING: Can't open file C:\\s\\denied.doc: Permission denied\n"
      "LibClamAV Warning: Can't open file C:\\s\\held.log: 32\n"
      "LibClamAV Warning: Can't open file C:\\s\\silent.txt: 32\n"
      "LibClamAV Error: Out of memory";  // the last line without its end
  std::vector<Strings> names;
  for (const Case& c : cases) names.push_back(c.names);
  bool noDatabase = true;
  const auto verdicts = ReadRun(names, out, err, &noDatabase);
  for (size_t i = 0; i < cases.size(); ++i)
    ExpectVerdict(verdicts[i], cases[i].expected, cases[i].names[0]);
  EXPECT_FALSE(noDatabase);

  // Files that share a name (listed twice, or alike in the OEM code page):
  // theirs in list order when each got one line, else each to be scanned
  // again (a warning on the other stream could have been for either).
  const std::string twiceOk = "C:\\t: OK\nC:\\t: OK\n";
  const Expected clean = {Kind::kClean, ""}, again = {Kind::kIncomplete, "scan again"};
  struct Run {
    std::string out, err;
    Expected first, second;
  };
  const std::vector<Run> runs = {
      {twiceOk, "", clean, clean},
      {twiceOk, "LibClamAV Warning: Can't open file C:\\t: 32\n", clean, clean},
      {"C:\\t: Fake.Test FOUND\nC:\\t: OK\n", "", {Kind::kInfected, "Fake.Test"}, clean},
      {"C:\\t: OK\n" + twiceOk, "", again, again},
      {"C:\\t: OK\n", "WARNING: Can't open file C:\\t: Permission denied\n", again, again},
  };
  for (const Run& run : runs) {
    const auto shared =
        ReadRun({{"C:\\a", "C:\\t"}, {"C:\\b", "C:\\t"}}, run.out, run.err, nullptr, 0);
    ExpectVerdict(shared[0], run.first, run.out + run.err);
    ExpectVerdict(shared[1], run.second, run.out + run.err);
  }
}

// A run that counts more finds than lines named one (or ends with 1 naming
// none) leaves no file clean.
TEST(ClamscanOutput, FindsNotNamedLeaveNothingClean) {
  const std::string found = "C:\\a: OK\nC:\\b: X FOUND\n\n----------- SCAN SUMMARY -----------\n";
  for (const auto& [out, exitCode, trusted] :
       {std::tuple{found + "Infected files: 1\n", 1, true},
        std::tuple{found + "Infected files: 2\n", 1, false},
        std::tuple{std::string("C:\\a: OK\nC:\\b: OK\n"), 1, false}}) {
    const auto verdicts = ReadRun({{"C:\\a"}, {"C:\\b"}}, out, "", nullptr, exitCode);
    ExpectVerdict(verdicts[0],
                  {trusted ? Kind::kClean : Kind::kIncomplete, trusted ? "" : "clamscan"}, out);
  }
}

TEST(ClamscanOutput, NoDatabaseLeavesEveryFileNotScanned) {
  const std::string noDatabase = bridge::texts::kErrorNoDatabase;
  const std::vector<std::pair<std::string, std::string>> runs = {
      {"",
       "LibClamAV Error: cli_loaddbdir(): No supported database files found in C:\\db\n"
       "ERROR: Can't open file or directory\n"},
      {"", "LibClamAV Error: cl_load(): No such file or directory: C:\\nodb\n"},
      {"", "ERROR: Malformed database\n"},
      // Loaded, but not a single signature: every "OK" would be a lie.
      {"\n----------- SCAN SUMMARY -----------\nKnown viruses: 0\n", ""},
  };
  for (const auto& [out, err] : runs) {
    bool noDatabaseSeen = false;
    const auto verdicts = ReadRun({{"C:\\a"}, {"C:\\b"}}, out, err, &noDatabaseSeen);
    EXPECT_TRUE(noDatabaseSeen) << err;
    for (const auto& verdict : verdicts)
      ExpectVerdict(verdict, {Kind::kIncomplete, noDatabase}, err);
  }
}

TEST(ClamscanOutput, FilesAreListedWithoutTheLongFormsPrefix) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\\\\?\\C:\\" + std::string(300, 'x'), "C:\\" + std::string(300, 'x')},
      {"\\\\?\\UNC\\server\\share\\x", "\\\\?\\UNC\\server\\share\\x"},
      {"", "c:\\typed"},
  };
  for (const auto& [systemPath, listed] : cases) {
    bridge::FileToScan file;
    file.path = "c:\\typed";
    file.systemPath = systemPath;
    EXPECT_EQ(bridge::ClamscanPathOf(file), listed);
  }
}

TEST(ClamscanOutput, VirusListNeedsLoadedSignatures) {
  std::string problem;
  const auto lines = bridge::ReadVirusList(
      "ClamAV 1.4.6/27555/Mon Feb 10\n",
      "stdin: OK\n\n----------- SCAN SUMMARY -----------\nKnown viruses: 8675309\n", &problem);
  ASSERT_TRUE(lines.has_value());
  EXPECT_EQ(*lines, (Strings{bridge::texts::kVirusListVersion +
                                 std::string("ClamAV 1.4.6/27555/Mon Feb 10"),
                             bridge::texts::kVirusListCount + std::string("8675309")}));
  EXPECT_FALSE(bridge::ReadVirusList("ClamAV 1.4.6\n", "ERROR: Malformed database\n", &problem));
  EXPECT_EQ(problem, "Malformed database");
  EXPECT_FALSE(bridge::ReadVirusList(
      "ClamAV 1.4.6\n", "\n----------- SCAN SUMMARY -----------\nKnown viruses: 0\n", &problem));
}

TEST(ClamscanCommandLine, SplitsBackIntoTheSameArguments) {
  const Strings args = {"plain",
                        "with blank",
                        "",
                        "C:\\",
                        "C:\\dir\\",
                        "tab\there",
                        "say \"hi\"",
                        "back\\\"q",
                        "end\\\\",
                        "中文 路径",
                        "--file-list=C:\\Users\\O'Brien\\Ann Lee\\list.txt"};
  for (const std::string& program : {std::string("C:\\ClamAV\\clamscan.exe"),
                                     std::string("C:\\Program Files\\ClamAV\\clamscan.exe")}) {
    const std::string line = bridge::WindowsCommandLine(program, args);
    Strings expected = {program};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(SplitCommandLine(line), expected) << line;
  }
  // clamscan.exe by its own rules: the same, for arguments without a quote
  // or a final backslash.
  const Strings plain = {"C:\\a b\\c.exe", "tab\there", "中文 路径", "O'Brien's list", "x"};
  EXPECT_EQ(
      SplitLikeClamscan(bridge::WindowsCommandLine(plain[0], {plain.begin() + 1, plain.end()})),
      plain);
  EXPECT_EQ(bridge::WindowsCommandLine("C:\\a b\\c.exe", {"x", "C:\\"}),
            "\"C:\\a b\\c.exe\" \"x\" \"C:\\\\\"");
}

}  // namespace
