// The bridge run against a fake clamscan that records its arguments: what
// clamscan receives for the window's switches, the exit codes, the report
// file, refused arguments, nothing to scan, clamscan's output, a missing
// clamscan and /virlist.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bridge.h"
#include "bridge_test_support.h"
#include "bridge_texts.h"
#include "clamd_config.h"
#include "fs_helpers.h"
#include "scanner_process.h"
#include "test_support.h"

namespace {

using namespace testing_support;
using bridge_testing::FakeClamscanPath;
using bridge_testing::ReadClamscanRuns;
using Strings = std::vector<std::string>;

constexpr const char* kFakeVariables[] = {
    "QUORVEL_FAKE_CLAMSCAN_RECORD", "QUORVEL_FAKE_CLAMSCAN_EXIT",  "QUORVEL_FAKE_CLAMSCAN_SLEEP_MS",
    "QUORVEL_FAKE_CLAMSCAN_OUTPUT", "QUORVEL_FAKE_CLAMSCAN_LINES", bridge::kClamscanOverride,
    bridge::kClamdConfigOverride};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class BridgeRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearVariables();
    record_ = dir_.Join("record.txt");
    SetEnv("QUORVEL_FAKE_CLAMSCAN_RECORD", record_);
    SetEnv(bridge::kClamscanOverride, FakeClamscanPath());
    // Never a daemon of this machine.
    SetEnv(bridge::kClamdConfigOverride, dir_.Join("no clamd.conf"));
    // A target with a blank and Chinese characters, written as the folder
    // browser gives it for a folder: with a trailing separator on Windows.
    target_ = dir_.Join("病毒 目标");
    std::filesystem::create_directories(FsPath(target_));
    if (kPathSeparator == '\\') target_ += '\\';
    report_ = dir_.Join("scan report.txt");
    quarantine_ = dir_.Join("quarantine dir");
    database_ = dir_.Join("db");
  }
  void TearDown() override { ClearVariables(); }

  static void ClearVariables() {
    for (const char* name : kFakeVariables) SetEnv(name, "");
  }

  int Run(const Strings& args) {
    output_.clear();
    errors_.clear();
    return bridge::RunBridge(args, [&](const std::string& line, bool error) {
      (error ? errors_ : output_).push_back(line);
    });
  }

  std::vector<Strings> Runs() const { return ReadClamscanRuns(record_); }

  std::string AllErrors() const {
    std::string all;
    for (const std::string& line : errors_) all += line + "\n";
    return all;
  }

  TempDir dir_;
  std::string record_, target_, report_, quarantine_, database_;
  Strings output_, errors_;
};

TEST_F(BridgeRunTest, EverySwitchOfTheWindowReachesClamscanAsMapped) {
  EXPECT_EQ(Run({target_,   "/clean", "/boot",   "/del",      "/append", "/mime",    "/sub",
                 "/unzip",  "/all",   "/rptall", "/rptcor",   "/rpterr", "/streams", "/nodoc",
                 "/report", report_,  "/move",   quarantine_, "-d",      database_}),
            0);
  const std::vector<Strings> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0],
            (Strings{"--recursive", "--scan-archive=yes", "--scan-mail=yes", "--scan-ole2=no",
                     "--remove=yes", "--move=" + quarantine_, "-d", database_, target_}));
  // One line each for what ClamAV cannot do; the scan went on.
  ASSERT_GE(output_.size(), 3u);
  EXPECT_EQ(
      Strings(output_.begin(), output_.begin() + 3),
      (Strings{bridge::texts::kNoteClean, bridge::texts::kNoteBoot, bridge::texts::kNoteStreams}));
  EXPECT_TRUE(errors_.empty()) << AllErrors();
}

TEST_F(BridgeRunTest, TheWindowsDefaultsScanTheLocalDrivesWithAllBelowThem) {
  EXPECT_EQ(Run({"/adl", "/rptcor", "/rpterr", "/report", report_}), 0);
  const std::vector<Strings> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  const Strings& args = runs[0];
  ASSERT_GE(args.size(), 4u);
  EXPECT_EQ(Strings(args.begin(), args.begin() + 3),
            (Strings{"--recursive", "--scan-archive=no", "--scan-mail=no"}));
  if (bridge::NativePathStyle() == bridge::PathStyle::kPosix) {
    // The root, without the kernel's file systems.
    EXPECT_EQ(args.back(), "/");
    EXPECT_NE(std::find(args.begin(), args.end(), "--exclude-dir=^/proc(/|$)"), args.end());
    EXPECT_NE(std::find(args.begin(), args.end(), "--exclude-dir=^/sys(/|$)"), args.end());
  } else {
    // Drive roots such as "C:\", at least the system's own.
    size_t roots = 0;
    for (size_t i = 3; i < args.size(); ++i) {
      EXPECT_EQ(args[i].size(), 3u) << args[i];
      EXPECT_EQ(args[i].substr(1), ":\\") << args[i];
      ++roots;
    }
    EXPECT_GE(roots, 1u);
  }
}

TEST_F(BridgeRunTest, ClamscansExitCodeBecomesOneTheWindowKnows) {
  const struct {
    const char* clamscan;
    int bridge;
  } cases[] = {{"0", 0}, {"1", 13}, {"2", 2}, {"40", 2}};
  for (const auto& c : cases) {
    SetEnv("QUORVEL_FAKE_CLAMSCAN_EXIT", c.clamscan);
    EXPECT_EQ(Run({target_, "/sub"}), c.bridge) << "clamscan ended with " << c.clamscan;
  }
}

TEST_F(BridgeRunTest, ReportStartsEmptyUnlessAppending) {
  const std::string line = kPathSeparator == '\\' ? "\r\n" : "\n";
  const std::string found = "C:\\odd: name.com: Fake.Virus FOUND";
  SetEnv("QUORVEL_FAKE_CLAMSCAN_EXIT", "1");
  SetEnv("QUORVEL_FAKE_CLAMSCAN_OUTPUT", "clean.txt: OK|" + found);
  WriteTextFile(report_, "earlier scan\n");
  EXPECT_EQ(Run({target_, "/report", report_}), 13);
  const std::string summary = std::string(bridge::texts::kSummaryHeading) + line;
  EXPECT_EQ(ReadTextFile(report_).substr(0, found.size() + line.size() + summary.size()),
            found + line + summary);

  WriteTextFile(report_, "earlier scan\n");
  EXPECT_EQ(Run({target_, "/append", "/report", report_}), 13);
  EXPECT_EQ(ReadTextFile(report_).substr(0, 13 + found.size()), "earlier scan\n" + found);

  // The bridge's own notes open the report, before clamscan's lines; every
  // scanned file only with /rptall.
  EXPECT_EQ(Run({target_, "/boot", "/rptall", "/report", report_}), 13);
  const std::string expected = bridge::texts::kNoteBoot + line + "clean.txt: OK" + line + found;
  EXPECT_EQ(ReadTextFile(report_).substr(0, expected.size()), expected);
}

TEST_F(BridgeRunTest, NothingScannedIsAnErrorWithItsReason) {
  // No network drive here: /adn has nothing to scan.
  if (bridge::GatherDrives(false, true).roots.empty()) {
    EXPECT_EQ(Run({"/adn", "/report", report_}), 2);
    EXPECT_TRUE(Has(ReadTextFile(report_), bridge::texts::kNoteNoDrives));
    EXPECT_FALSE(FileExists(record_)) << "clamscan ran";
  }
  const std::string missing = dir_.Join("not there");
  EXPECT_EQ(Run({missing, "/sub", "/report", report_}), 2);
  EXPECT_TRUE(Has(ReadTextFile(report_), bridge::texts::kErrorTargetMissing + missing));
  EXPECT_FALSE(FileExists(record_)) << "clamscan ran";
  // Beside a target that is there: that one is scanned, and the scan still fails.
  EXPECT_EQ(Run({missing, "/sub", target_}), 2);
  ASSERT_EQ(Runs().size(), 1u);
  EXPECT_EQ(Runs()[0].back(), target_);
}

TEST_F(BridgeRunTest, BothOfClamscansStreamsAreReadAsTheyCome) {
  // More than either pipe holds, on both streams at once.
  SetEnv("QUORVEL_FAKE_CLAMSCAN_LINES", "20000");
  EXPECT_EQ(Run({target_, "/report", report_}), 0);
  // The engine first: with no daemon configured, clamscan.
  ASSERT_GE(output_.size(), 2u);
  EXPECT_EQ(output_[0],
            bridge::texts::kEngineClamscan + std::string(bridge::texts::kEngineNoConfig));
  EXPECT_EQ(output_[1], "file 0: OK");
  EXPECT_EQ(errors_.size(), 20000u);
  const std::string report = ReadTextFile(report_);
  EXPECT_TRUE(Has(report, "WARNING: file 19999: Can't access file"));
  EXPECT_FALSE(Has(report, ": OK"));
  EXPECT_TRUE(Has(report, std::string(bridge::texts::kSummaryFiles) + "20000"));
  EXPECT_TRUE(Has(report, std::string(bridge::texts::kSummaryErrors) + "20000"));
}

TEST_F(BridgeRunTest, RefusedArgumentsScanNothingAndLeaveTheReport) {
  WriteTextFile(report_, "earlier scan\n");
  for (const Strings& args : {Strings{target_, "/sub", "/turbo", "/report", report_},
                              Strings{target_, "/sub", "/report", report_, "/move"}}) {
    EXPECT_EQ(Run(args), 2);
    EXPECT_FALSE(errors_.empty());
    EXPECT_FALSE(FileExists(record_)) << "clamscan ran";
    EXPECT_EQ(ReadTextFile(report_), "earlier scan\n");
  }
  EXPECT_TRUE(Has(AllErrors(), "/move")) << AllErrors();
  EXPECT_EQ(Run({target_, "/sub", "/turbo"}), 2);
  EXPECT_TRUE(Has(errors_.front(), "/turbo")) << AllErrors();
}

TEST_F(BridgeRunTest, MissingClamscanNamesWhatToInstall) {
  SetEnv(bridge::kClamscanOverride, "");
  const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  const std::string emptyFolder = dir_.Join("empty");
  std::filesystem::create_directories(FsPath(emptyFolder));
  SetEnv("PATH", emptyFolder);
  const int code = Run({target_, "/sub", "/report", report_});
  SetEnv("PATH", savedPath);

  EXPECT_EQ(code, 2);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(Has(errors_[0], "ClamAV") && Has(errors_[0], "freshclam")) << errors_[0];
  if (bridge::NativePathStyle() == bridge::PathStyle::kPosix) {
    EXPECT_TRUE(Has(errors_[0], "apt install clamav")) << errors_[0];
  }
  // The console may be gone when the window shows the result: the report says it too.
  EXPECT_TRUE(Has(ReadTextFile(report_), errors_[0]));

  const std::string nowhere = dir_.Join("no-clamscan.exe");
  SetEnv(bridge::kClamscanOverride, nowhere);
  EXPECT_EQ(Run({target_, "/sub"}), 2);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_TRUE(Has(errors_[0], nowhere)) << errors_[0];
  EXPECT_FALSE(FileExists(record_));
}

TEST_F(BridgeRunTest, VirusListShowsVersionAndSignatureCount) {
  EXPECT_EQ(Run({"/sub", "/virlist", "/report", report_, "-d", database_, "--max-filesize=1M"}), 0);
  EXPECT_EQ(Runs(), (std::vector<Strings>{{"--version", "-d", database_}, {"-d", database_, "-"}}));
  ASSERT_EQ(output_.size(), 2u);
  EXPECT_TRUE(Has(output_[0], "ClamAV 9.9.9/27555/Fake")) << output_[0];
  EXPECT_TRUE(Has(output_[1], "8675309")) << output_[1];
  const std::string report = ReadTextFile(report_);
  EXPECT_TRUE(Has(report, output_[0]) && Has(report, output_[1])) << report;

  // No databases: clamscan fails to load them, and the bridge says so.
  SetEnv("QUORVEL_FAKE_CLAMSCAN_EXIT", "2");
  EXPECT_EQ(Run({"/virlist"}), 2);
  EXPECT_TRUE(Has(AllErrors(), "freshclam")) << AllErrors();
}

// The program itself, started as the window starts its scanner: the wide
// argv of Windows arrives intact, and the exit code crosses the process edge.
TEST_F(BridgeRunTest, TheProgramTakesTheWindowsLineAndEndsWithTheMappedCode) {
  SetEnv("QUORVEL_FAKE_CLAMSCAN_EXIT", "1");
  ScannerProcess process;
  ASSERT_TRUE(process.Start(bridge::WindowsCommandLine(
      bridge_testing::BridgePath(), {target_, "/sub", "/report", report_, "-d", database_})));
  uint32_t code = 0;
  ASSERT_TRUE(process.WaitForExitCode(&code));
  EXPECT_EQ(code, 13u);
  const std::vector<Strings> runs = Runs();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0], (Strings{"--recursive", "--scan-archive=no", "--scan-mail=no", "-d", database_,
                              target_}));
}

}  // namespace
