// The bridge program on Windows, started as the window starts its scanner,
// with a fake clamscan.exe: the wide argv arrives intact, a file whose path
// is longer than 260 characters is scanned and named, the report is UTF-8
// with its byte-order mark once, and the exit code crosses the process edge.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bridge_test_support.h"
#include "clamd_config.h"
#include "scanner_process.h"
#include "system.h"
#include "test_support.h"
#include "texts.h"
#include "windows_command_line.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr char kBom[] = "\xEF\xBB\xBF";

uint32_t RunProgram(const std::vector<std::string>& args) {
  ScannerProcess process;
  if (!process.Start(bridge::WindowsCommandLine(bridge_testing::BridgePath(), args))) return 0;
  uint32_t code = 0;
  return process.WaitForExitCode(&code) ? code : 0;
}

TEST(BridgeProgramTest, ScansLongPathsAndWritesTheReportInUtf8) {
  TempDir dir;
  SetEnv(bridge::kClamscanOverride, bridge_testing::FakeClamscanPath());
  SetEnv(bridge::kClamdConfigOverride, dir.Join("no clamd.conf"));
  // A target with a blank and Chinese characters, as the folder browser
  // gives it: with a trailing separator.
  const std::string target = dir.Join("病毒 目标");
  std::string deep = target;
  while (deep.size() < 300) deep += "\\folder with a long name";
  fs::create_directories(FsPath("\\\\?\\" + deep));
  const std::string near = target + "\\infected.com", far = deep + "\\infected.com";
  WriteTextFile(near, "INFECTED near");
  std::ofstream(FsPath("\\\\?\\" + far)) << "INFECTED far";
  WriteTextFile(target + "\\clean.txt", "nothing");
  const std::string report = dir.Join("scan report.txt");

  EXPECT_EQ(RunProgram({target + "\\", "/sub", "/report", report}), 13u);
  std::string written = ReadTextFile(report);
  EXPECT_EQ(written.rfind(kBom, 0), 0u) << written;
  for (const std::string& path : {near, far})
    EXPECT_NE(written.find(bridge::texts::kInfectedMark + path + ": Fake.Test"), std::string::npos)
        << path << "\n"
        << written;
  EXPECT_NE(written.find(std::string(bridge::texts::kSummaryInfected) + "2\r\n"), std::string::npos)
      << written;

  // Added to, the report keeps its one mark at the start.
  EXPECT_EQ(RunProgram({target + "\\clean.txt", "/append", "/rptall", "/report", report}), 0u);
  written = ReadTextFile(report);
  EXPECT_EQ(written.find(kBom, 1), std::string::npos);
  EXPECT_NE(written.find(target + "\\clean.txt" + bridge::texts::kClean), std::string::npos)
      << written;
  SetEnv(bridge::kClamscanOverride, "");
  SetEnv(bridge::kClamdConfigOverride, "");
}

}  // namespace
