// clamscan as the Windows engine, what every system can test: the reading of
// its output into one verdict per listed file, the path it is given, the
// /virlist lines and the command line that starts it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "bridge/clamscan_output.h"
#include "bridge/texts.h"
#include "bridge/windows_command_line.h"
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
// file's verdicts in order.
std::vector<std::vector<Verdict>> ReadRun(const Strings& listed, const std::string& out,
                                          const std::string& err, bool* noDatabase = nullptr) {
  std::vector<std::vector<Verdict>> verdicts(listed.size());
  bridge::ClamscanOutputReader reader(
      listed, [&](size_t index, Verdict verdict) { verdicts[index].push_back(verdict); });
  for (size_t i = 0; i < std::max(out.size(), err.size()); ++i) {
    if (i < out.size()) reader.Feed(std::string_view(&out[i], 1), false);
    if (i < err.size()) reader.Feed(std::string_view(&err[i], 1), true);
  }
  reader.Finish("no answer (exit code 2)");
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
  const std::map<std::string, Expected> cases = {
      {"C:\\s\\clean.txt", {Kind::kClean, ""}},
      {"C:\\s\\empty", {Kind::kClean, ""}},
      {"C:\\s\\eicar.com", {Kind::kInfected, "Eicar-Test-Signature"}},
      {"C:\\s\\big.iso", {Kind::kIncomplete, "", Shortfall::kFileSizeLimit}},
      // A path holding ": ", and the shorter path it starts with.
      {"/s/a: b.txt", {Kind::kClean, ""}},
      {"/s/a", {Kind::kInfected, "Fake.Test"}},
      {"C:\\s\\locked.doc", {Kind::kIncomplete, "Access denied", Shortfall::kUnreadable}},
      {"C:\\s\\gone.txt", {Kind::kIncomplete, "No such file", Shortfall::kUnreadable}},
      {"C:\\s\\open.txt", {Kind::kIncomplete, "Can't open file", Shortfall::kUnreadable}},
      {"C:\\s\\broken.zip", {Kind::kIncomplete, "Can't parse data", Shortfall::kEngineError}},
      // Never named before the summary: not scanned, with the run's errors.
      {"C:\\s\\silent.txt", {Kind::kIncomplete, "no answer (exit code 2): Out of memory"}},
      {"\\\\?\\C:\\s\\long", {Kind::kInfected, "Fake.Test"}},
  };
  const std::string out =
      "C:\\s\\clean.txt: OK\r\n"
      "C:\\s\\empty: Empty file\r\n"
      "C:\\s\\eicar.com: Eicar-Test-Signature FOUND\n"
      "C:\\s\\big.iso: Heuristics.Limits.Exceeded.MaxFileSize FOUND\n"
      "/s/a: b.txt: OK\n"
      "/s/a: Fake.Test FOUND\n"
      "C:\\s\\locked.doc: Access denied\n"
      "C:\\s\\broken.zip: Can't parse data ERROR\n"
      "\\\\?\\C:\\s\\long: Fake.Test FOUND\n"
      "\n----------- SCAN SUMMARY -----------\nKnown viruses: 5\n"
      "C:\\s\\silent.txt: OK\n";
  const std::string err =
      "C:\\s\\gone.txt: No such file or directory\nWARNING: C:\\s\\gone.txt: Can't access file\n"
      "LibClamAV Warning: the engine is outdated\n"
      "ERROR: Can't open file C:\\s\\open.txt\n"
      "LibClamAV Error: Out of memory";  // the last line without its end
  Strings listed;
  for (const auto& [path, expected] : cases) listed.push_back(path);
  bool noDatabase = true;
  const auto verdicts = ReadRun(listed, out, err, &noDatabase);
  for (size_t i = 0; i < listed.size(); ++i)
    ExpectVerdict(verdicts[i], cases.at(listed[i]), listed[i]);
  EXPECT_FALSE(noDatabase);

  // A file listed twice is scanned twice; one line answers one of them.
  const auto twice = ReadRun({"C:\\t", "C:\\t"}, "C:\\t: Fake.Test FOUND\n", "");
  ExpectVerdict(twice[0], {Kind::kInfected, "Fake.Test"}, "first");
  ExpectVerdict(twice[1], {Kind::kIncomplete, "no answer"}, "second");
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
    const auto verdicts = ReadRun({"C:\\a", "C:\\b"}, out, err, &noDatabaseSeen);
    EXPECT_TRUE(noDatabaseSeen) << err;
    for (const auto& verdict : verdicts)
      ExpectVerdict(verdict, {Kind::kIncomplete, noDatabase}, err);
  }
}

TEST(ClamscanOutput, LongPathsAreGivenInTheirLongForm) {
  bridge::FileToScan file;
  file.systemPath = "\\\\?\\long form";
  const std::string chinese = "病";              // one UTF-16 unit in three bytes
  const std::string emoji = "\xF0\x9F\x98\x80";  // two UTF-16 units in four bytes
  const std::vector<std::pair<std::string, bool>> cases = {
      {"C:\\" + std::string(256, 'x'), false},  // 259 units
      {"C:\\" + std::string(257, 'x'), true},
      {"C:\\" + std::string(80, 'x') +
           [&] {
             std::string text;
             for (int i = 0; i < 170; ++i) text += chinese;
             return text;
           }(),
       false},  // 253 units in 593 bytes
      {"C:\\" + std::string(127, 'x') +
           [&] {
             std::string text;
             for (int i = 0; i < 65; ++i) text += emoji;
             return text;
           }(),
       true},  // 260 units
  };
  for (const auto& [path, longForm] : cases) {
    file.path = path;
    EXPECT_EQ(bridge::ClamscanPathOf(file), longForm ? file.systemPath : path) << path.size();
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
                        "--file-list=C:\\Users\\Ann Lee\\list.txt"};
  for (const std::string& program : {std::string("C:\\ClamAV\\clamscan.exe"),
                                     std::string("C:\\Program Files\\ClamAV\\clamscan.exe")}) {
    const std::string line = bridge::WindowsCommandLine(program, args);
    Strings expected = {program};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(SplitCommandLine(line), expected) << line;
  }
  EXPECT_EQ(bridge::WindowsCommandLine("C:\\a b\\c.exe", {"x", "C:\\"}),
            "\"C:\\a b\\c.exe\" x C:\\");
  EXPECT_EQ(bridge::WindowsCommandLine("c.exe", {"C:\\my dir\\"}), "c.exe \"C:\\my dir\\\\\"");
}

}  // namespace
