#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "scan/scan_command.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"
#include "support/modal_answers.h"
#include "tests/scan_command/argv_parsers.h"
#include "tests/support/fake_user_prompts.h"
#include "tests/support/test_support.h"

using testing_support::DirectoryExists;
using testing_support::FsPath;
using testing_support::TempDir;
using testing_support::WriteTextFile;

namespace {

const std::string kScanner = R"(C:\tools\scan.exe)";
const std::string kSep(1, kPathSeparator);

std::string OverwriteQuestion(const std::string& path) {
  return "File \"" + path + "\"\r\n已经存在,覆盖吗?";
}
std::string CreateQuestion(const std::string& dir) {
  return "Directory \"" + dir + "\"\r\n不存在,是否创建?";
}
const FakeUserPrompts::Question kNoQuestion;

size_t EntriesIn(const std::string& dir) {
  size_t count = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(FsPath(dir));
       it != std::filesystem::recursive_directory_iterator(); ++it)
    ++count;
  return count;
}

// Every test answers the error box through the modal seam: a real box would
// wait for a click that never comes. (Questions go to the prompts.)
class ScanCommandTest : public testing::Test {
 protected:
  std::optional<std::string> Build(const ScanSettings& settings,
                                   const std::string& scanner = kScanner) {
    return BuildScanCommandLine(settings, scanner, prompts);
  }

  void ExpectCreateDirectoryErrorBox() {
    const std::vector<ModalBox> errorBoxes = answers.Opened(ModalKind::ErrorBox);
    ASSERT_EQ(errorBoxes.size(), 1u);
    EXPECT_EQ(errorBoxes[0].text.rfind("创建目录失败", 0), 0u) << errorBoxes[0].text;
    // The system's error of the failed creation reaches the box.
    EXPECT_NE(errorBoxes[0].text.find("\n\n系统错误代码: 0x"), std::string::npos)
        << errorBoxes[0].text;
    EXPECT_EQ(errorBoxes[0].caption, "错误信息...");
  }

  FakeUserPrompts prompts;
  ModalAnswers answers{ModalKind::ErrorBox};
};

// --- Composition -----------------------------------------------------------

TEST_F(ScanCommandTest, ComposesTheWorkedExample) {
  ScanSettings settings;
  settings.target = R"(D:\data)";
  settings.SetSwitch(ScanSwitch::kSubdirs, true);
  settings.SetSwitch(ScanSwitch::kReportCorrupt, true);
  settings.SetSwitch(ScanSwitch::kReportErrors, true);
  settings.reportToFile = true;
  settings.reportPath = R"(C:\TEMP\scan.txt)";
  settings.moveDirectory = R"(c:\quarantine)";  // move is off: never looked at

  EXPECT_EQ(Build(settings),
            R"(C:\tools\scan.exe "D:\data" /sub /rptcor /rpterr /report C:\TEMP\scan.txt)");
  EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(ScanCommandTest, ComposesTheStartUpDefaults) {
  ScanSettings settings;
  settings.SetSwitch(ScanSwitch::kAllLocalDrives, true);
  settings.SetSwitch(ScanSwitch::kReportCorrupt, true);
  settings.SetSwitch(ScanSwitch::kReportErrors, true);
  settings.reportToFile = true;
  settings.reportPath = GetTempDirectory() + "scan.txt";
  settings.moveDirectory = DefaultQuarantineDirectory();
  // The default report may be left over from an earlier scan: then it is
  // asked about, and Yes goes on.
  const bool reportExists = testing_support::FileExists(settings.reportPath);
  prompts.answers = {true};

  EXPECT_EQ(Build(settings),
            kScanner + " /adl /rptcor /rpterr /report " + QuoteIfBlank(settings.reportPath));
  EXPECT_EQ(prompts.questions.size(), reportExists ? 1u : 0u);
}

TEST_F(ScanCommandTest, PutsEverySwitchInItsPlace) {
  // Every text is one blank, a slash and a name in lower case (the bridge
  // reads words in lower case), and no two switches share a text.
  std::vector<std::string> texts;
  for (const ScanSwitchEntry& entry : kScanSwitches) texts.push_back(entry.text);
  for (const PathSwitchEntry& entry : kPathSwitches) texts.push_back(entry.text);
  for (size_t i = 0; i < texts.size(); ++i) {
    const std::string& text = texts[i];
    EXPECT_TRUE(text.size() > 2 && text.rfind(" /", 0) == 0 &&
                text.find_first_not_of("abcdefghijklmnopqrstuvwxyz", 2) == std::string::npos)
        << text;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(texts[j], text);
  }

  TempDir dir;
  const std::string report = dir.Join("r.txt");

  // Alone: between the target and the report, whatever else is set.
  for (const ScanSwitchEntry& entry : kScanSwitches) {
    ScanSettings settings;
    settings.target = "t";
    settings.SetSwitch(entry.id, true);
    settings.reportToFile = true;
    settings.reportPath = report;
    settings.extraArgs = "-x";
    EXPECT_EQ(Build(settings), kScanner + " \"t\"" + entry.text + " /report " + report + " -x")
        << entry.text;
  }

  // All at once, in the fixed order, spelled out: with the table's order of
  // switches (their enumeration's), this pins each switch's text.
  ScanSettings all;
  for (const ScanSwitchEntry& entry : kScanSwitches) all.SetSwitch(entry.id, true);
  EXPECT_EQ(Build(all), kScanner +
                            " /ad /adl /adn /clean /boot /del /append /mime /sub /unzip /all"
                            " /rptall /rptcor /rpterr /streams /virlist /nodoc");

  // A checked box counts even when the report is off and it is greyed.
  ScanSettings greyed;
  greyed.SetSwitch(ScanSwitch::kReportErrors, true);
  greyed.reportPath = report;
  EXPECT_EQ(Build(greyed), kScanner + " /rpterr");
  EXPECT_TRUE(prompts.questions.empty());
}

TEST_F(ScanCommandTest, QuotesTheTargetAndKeepsTheRestAsTyped) {
  const std::vector<std::pair<std::string, std::string>> targets = {
      {R"(D:\my data)", R"( "D:\my data")"},
      {R"(C:\)", R"( "C:\\")"},             // a drive root keeps its closing quote
      {R"(D:\dir\\)", R"( "D:\dir\\\\")"},  // every trailing backslash is doubled
      {R"(D:\a\b c)", R"( "D:\a\b c")"},    // inner backslashes stay single
      // Windows: typed quotes get a second pair; Linux names may hold quotes,
      // which are escaped so that the scanner gets the name unchanged.
      {R"("D:\data")", kNamesMayHoldQuotes ? R"( "\"D:\data\"")" : R"( ""D:\data"")"},
      {"   ", R"( "   ")"},  // blanks only are a target
      {"", ""},
      // Linux: a folder right under the root named like a switch reads as no switch.
      {"/boot", kNamesMayHoldQuotes ? R"( "/./boot")" : R"( "/boot")"},
      {"/Move", kNamesMayHoldQuotes ? R"( "/./Move")" : R"( "/Move")"},
      {"/boot/grub", R"( "/boot/grub")"},
      {"/srv", R"( "/srv")"}};
  for (const auto& [target, quoted] : targets) {
    ScanSettings settings;
    settings.target = target;
    EXPECT_EQ(Build(settings), kScanner + quoted) << target;
  }

  // The extra text follows one blank exactly as typed.
  ScanSettings extra;
  extra.target = "t";
  extra.extraArgs = "  /x \"y\"  ";
  EXPECT_EQ(Build(extra), kScanner + R"( "t"   /x "y"  )");

  // The scanner path is quoted only when it holds a blank or a tab.
  EXPECT_EQ(Build(ScanSettings{}, R"(C:\Program Files\q\scan.exe)"),
            R"("C:\Program Files\q\scan.exe")");
  EXPECT_EQ(Build(ScanSettings{}, "C:\\q\tq\\scan.exe"), "\"C:\\q\tq\\scan.exe\"");
  EXPECT_TRUE(prompts.questions.empty());
}

// --- The report question --------------------------------------------------

TEST_F(ScanCommandTest, AsksBeforeOverwritingAnExistingReport) {
  TempDir dir;
  const std::string report = dir.Join("scan.txt");
  WriteTextFile(report, "old");
  ScanSettings settings;
  settings.reportToFile = true;
  settings.reportPath = report;

  prompts.answers = {true};
  EXPECT_EQ(Build(settings), kScanner + " /report " + report);
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0],
            FakeUserPrompts::Question(OverwriteQuestion(report), "覆盖报告文件?"));

  // No ends the request without a word.
  prompts.questions.clear();
  EXPECT_EQ(Build(settings), std::nullopt);
  EXPECT_EQ(prompts.questions.size(), 1u);
  EXPECT_TRUE(answers.Opened(ModalKind::ErrorBox).empty());

  // A wildcard pattern is asked about when a file matches it, with the
  // pattern in the question.
  const std::string pattern = dir.Join("sc?n.*");
  settings.reportPath = pattern;
  prompts.questions.clear();
  prompts.answers = {true};
  EXPECT_EQ(Build(settings), kScanner + " /report " + pattern);
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0].first, OverwriteQuestion(pattern));
}

TEST_F(ScanCommandTest, DoesNotAskAboutTheReportWhenNothingIsOverwritten) {
  TempDir dir;
  WriteTextFile(dir.Join("scan.txt"), "old");
  std::filesystem::create_directory(FsPath(dir.Join("folder.txt")));

  ScanSettings settings;
  settings.reportToFile = true;

  // Appending keeps the old report: " /append" stands before " /report ".
  settings.reportPath = dir.Join("scan.txt");
  settings.SetSwitch(ScanSwitch::kAppend, true);
  EXPECT_EQ(Build(settings), kScanner + " /append /report " + settings.reportPath);
  settings.SetSwitch(ScanSwitch::kAppend, false);

  // Directories are no reports, whether named or matched by a pattern.
  settings.reportPath = dir.Join("folder.txt");
  EXPECT_EQ(Build(settings), kScanner + " /report " + settings.reportPath);
  settings.reportPath = dir.Join("fold*");
  EXPECT_EQ(Build(settings), kScanner + " /report " + settings.reportPath);

  // An absent report, and an empty path, which leaves the line ending in a blank.
  settings.reportPath = dir.Join("new.txt");
  EXPECT_EQ(Build(settings), kScanner + " /report " + settings.reportPath);
  settings.reportPath.clear();
  EXPECT_EQ(Build(settings), kScanner + " /report ");
  settings.extraArgs = "/x";
  EXPECT_EQ(Build(settings), kScanner + " /report  /x");

  EXPECT_TRUE(prompts.questions.empty());
}

// --- The quarantine directory ---------------------------------------------

TEST_F(ScanCommandTest, UsesAnExistingQuarantineDirectoryAsItIs) {
  TempDir dir;
  ScanSettings settings;
  settings.moveInfected = true;
  settings.moveDirectory = dir.path();
  EXPECT_EQ(Build(settings), kScanner + " /move " + dir.path());
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
}

TEST_F(ScanCommandTest, CreatesAMissingQuarantineDirectoryOnYes) {
  TempDir dir;
  const std::string nested = dir.Join("q") + kSep + "a" + kSep + "b";
  ScanSettings settings;
  settings.moveInfected = true;
  settings.moveDirectory = nested;

  // No: nothing is created, nothing shown.
  EXPECT_EQ(Build(settings), std::nullopt);
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0], FakeUserPrompts::Question(CreateQuestion(nested), "创建目录吗?"));
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
  EXPECT_TRUE(answers.Opened(ModalKind::ErrorBox).empty());

  // Yes: the whole tree is made.
  prompts.answers = {true};
  EXPECT_EQ(Build(settings), kScanner + " /move " + nested);
  EXPECT_TRUE(DirectoryExists(nested));
  EXPECT_EQ(prompts.questions.size(), 2u);
  EXPECT_TRUE(answers.Opened(ModalKind::ErrorBox).empty());
}

TEST_F(ScanCommandTest, AsksAboutADirectoryWithATrailingSeparator) {
  TempDir dir;
  const std::string typed = dir.path() + kSep;
  ScanSettings settings;
  settings.moveInfected = true;
  settings.moveDirectory = typed;
  prompts.answers = {true};

  // The test does not see it, but creating it is a success that makes nothing.
  EXPECT_EQ(Build(settings), kScanner + " /move " + QuoteIfBlank(typed));
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0].first, CreateQuestion(typed));
  EXPECT_EQ(EntriesIn(dir.path()), 0u);
  EXPECT_TRUE(answers.Opened(ModalKind::ErrorBox).empty());
}

TEST_F(ScanCommandTest, ReportsAFailedCreationAndStops) {
  ScanSettings settings;
  settings.moveInfected = true;

  // An empty directory: asked about with nothing between the quotes, and
  // cannot be made.
  prompts.answers = {true};
  EXPECT_EQ(Build(settings), std::nullopt);
  ASSERT_EQ(prompts.questions.size(), 1u);
  EXPECT_EQ(prompts.questions[0],
            FakeUserPrompts::Question("Directory \"\"\r\n不存在,是否创建?", "创建目录吗?"));
  ExpectCreateDirectoryErrorBox();

  // A component that is a file.
  TempDir dir;
  WriteTextFile(dir.Join("file"), "x");
  settings.moveDirectory = dir.Join("file") + kSep + "sub";
  prompts.answers = {true};
  answers.ForgetOpened();
  EXPECT_EQ(Build(settings), std::nullopt);
  ExpectCreateDirectoryErrorBox();
  EXPECT_FALSE(DirectoryExists(settings.moveDirectory));
}

TEST_F(ScanCommandTest, AsksAboutTheReportBeforeTheDirectory) {
  TempDir dir;
  const std::string report = dir.Join("scan.txt");
  const std::string quarantine = dir.Join("quarantine");
  WriteTextFile(report, "old");
  ScanSettings settings;
  settings.reportToFile = true;
  settings.reportPath = report;
  settings.moveInfected = true;
  settings.moveDirectory = quarantine;

  // No to the report: the directory is neither asked about nor made.
  EXPECT_EQ(Build(settings), std::nullopt);
  EXPECT_EQ(prompts.questions.size(), 1u);
  EXPECT_FALSE(DirectoryExists(quarantine));

  // Yes to the report, No to the directory.
  prompts.questions.clear();
  prompts.answers = {true, false};
  EXPECT_EQ(Build(settings), std::nullopt);
  ASSERT_EQ(prompts.questions.size(), 2u);
  EXPECT_EQ(prompts.questions[0].second, "覆盖报告文件?");
  EXPECT_EQ(prompts.questions[1].second, "创建目录吗?");
  EXPECT_FALSE(DirectoryExists(quarantine));

  prompts.answers = {true, true};
  EXPECT_EQ(Build(settings), kScanner + " /report " + report + " /move " + quarantine);
  EXPECT_TRUE(DirectoryExists(quarantine));
  EXPECT_TRUE(answers.Opened(ModalKind::ErrorBox).empty());
}

// --- The home folder -------------------------------------------------------

// On Linux "~" at the start of a path is the home folder, as in a shell: the
// questions, the folder made and the line all have the full path.
TEST_F(ScanCommandTest, ExpandsALeadingTildeToTheHomeFolder) {
  if (kPathSeparator != '/') GTEST_SKIP() << "\"~\" names no folder on Windows";
  TempDir home;
  const char* savedHome = std::getenv("HOME");
  const std::string saved = savedHome ? savedHome : "";
  testing_support::SetEnv("HOME", home.path() + "/");
  const std::vector<std::pair<std::string, std::string>> targets = {
      {"~", home.path()},
      {"~/下载", home.Join("下载")},
      {"~/", home.path() + "/"},
      // Another user's home, a "~" further on, a name starting with "~".
      {"~root/x", "~root/x"},
      {"/srv/~/x", "/srv/~/x"},
      {"~x", "~x"},
  };
  for (const auto& [typed, full] : targets) {
    ScanSettings settings;
    settings.target = typed;
    EXPECT_EQ(Build(settings), kScanner + " " + QuoteArgument(full)) << typed;
  }

  WriteTextFile(home.Join("scan.txt"), "old");
  ScanSettings settings;
  settings.reportToFile = true;
  settings.reportPath = "~/scan.txt";
  settings.moveInfected = true;
  settings.moveDirectory = "~/隔离";
  prompts.answers = {true, true};
  const std::optional<std::string> line = Build(settings);
  testing_support::SetEnv("HOME", saved);
  EXPECT_EQ(line, kScanner + " /report " + QuotePathIfNeeded(home.Join("scan.txt")) + " /move " +
                      QuotePathIfNeeded(home.Join("隔离")));
  const std::vector<FakeUserPrompts::Question> questions = {
      {OverwriteQuestion(home.Join("scan.txt")), "覆盖报告文件?"},
      {CreateQuestion(home.Join("隔离")), "创建目录吗?"}};
  EXPECT_EQ(prompts.questions, questions);
  EXPECT_TRUE(DirectoryExists(home.Join("隔离")));
}

// --- Round trip ------------------------------------------------------------

// The line must reach the scanner as the intended arguments: parsed back by
// the program's own splitter and, on Windows, by the system itself.
TEST_F(ScanCommandTest, LineParsesBackIntoTheIntendedArguments) {
  TempDir dir;
  const std::string quarantine = dir.Join("隔离 区");
  std::filesystem::create_directory(FsPath(quarantine));
  const std::string report = R"(C:\Users\Ann Lee\AppData\Local\Temp\扫描 报告.txt)";

  struct Case {
    std::string scanner;
    std::string target;
    std::string moveDirectory;
  };
  const std::vector<Case> cases = {
      {kScanner, R"(C:\)", quarantine},
      {kScanner, R"(D:\dir\)", quarantine},
      {kScanner, R"(E:\two\\)", quarantine},
      {kScanner, R"(D:\my data)", quarantine},
      {kScanner, R"(D:\病毒 样本\新建 文件夹\)", quarantine},
      {kScanner, R"(\\server\share name\)", quarantine + kSep},
      {R"(C:\Program Files\Quorvel\scan.exe)", "D:\\tab\there", quarantine},
      {R"(C:\程序 文件\scan.exe)", "   ", quarantine},
  };
  const std::vector<ArgvParser> parsers = ArgvParsers();
  for (const Case& c : cases) {
    ScanSettings settings;
    settings.target = c.target;
    settings.SetSwitch(ScanSwitch::kSubdirs, true);
    settings.SetSwitch(ScanSwitch::kReportErrors, true);
    settings.reportToFile = true;
    settings.reportPath = report;
    settings.moveInfected = true;
    settings.moveDirectory = c.moveDirectory;
    settings.extraArgs = "/nomem /x";
    prompts.answers = {true};  // for the trailing separator

    const std::optional<std::string> line = Build(settings, c.scanner);
    ASSERT_TRUE(line.has_value()) << c.target;
    const std::vector<std::string> expected = {c.scanner, c.target, "/sub",  "/rpterr",
                                               "/report", report,   "/move", c.moveDirectory,
                                               "/nomem",  "/x"};
    for (const ArgvParser& parser : parsers)
      EXPECT_EQ(parser.parse(*line), expected) << parser.name << ": " << *line;
  }
  EXPECT_TRUE(answers.Opened(ModalKind::ErrorBox).empty());
}

}  // namespace
