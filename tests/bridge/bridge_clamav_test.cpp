// Whole scans with the real ClamAV: the main window (on the in-memory host)
// builds its line with the bridge as the scanner, and ClamAV's library works
// with a signature database made here that knows only the EICAR test file. The test
// file is assembled at run time and never lies in the source tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/desktop_services.h"
#include "app/main_dialog.h"
#include "bridge/clamd_config.h"
#include "bridge/texts.h"
#include "res/resource_ids.h"
#include "scan/scan_command.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"
#include "tests/bridge/bridge_test_support.h"
#include "tests/support/quiet_desktop.h"
#include "tests/support/test_support.h"
#include "ui/memory/memory_host.h"

namespace {

using namespace testing_support;
using bridge_testing::EicarTestFile;
namespace fs = std::filesystem;

class AlwaysYes : public UserPrompts {
 public:
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void ShowError(const std::string& text, SystemErrorCode code) override {
    ShowErrorBox(text, code);
  }
};

class BridgeClamavTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never the machine's own daemon: the library scans.
    SetEnv(bridge::kClamdConfigOverride, dir_.Join("no clamd.conf"));

    database_ = dir_.Join("signatures");
    bridge_testing::WriteEicarDatabase(database_);
    clean_ = dir_.Join("clean folder");
    fs::create_directories(FsPath(clean_ + "/sub"));
    WriteTextFile(clean_ + "/readme.txt", "nothing to see\n");
    WriteTextFile(clean_ + "/sub/notes.txt", "still nothing\n");
    infected_ = dir_.Join("infected folder");
    fs::create_directories(FsPath(infected_ + "/deeper"));
    WriteTextFile(infected_ + "/readme.txt", "nothing to see\n");
    eicar_ = infected_ + "/deeper/eicar.com";
    ASSERT_EQ(EicarTestFile().size(), 68u);
    WriteTextFile(eicar_, EicarTestFile());
    quarantine_ = dir_.Join("quarantine");

    desktop_.temporaryDirectory = dir_.path() + "/";
    host_ = std::make_unique<ui::MemoryHost>(dialog_);
    host_->Open();
  }

  // Sets the window up as a user would and runs the scan with the bridge as
  // the scanner; returns the status line at the end.
  std::string Scan(const std::string& target) {
    host_->Type(IDC_TARGET, target);
    host_->Type(IDC_EXTRA_ARGS, "-d " + QuoteIfBlank(database_));
    AlwaysYes yes;
    const std::optional<std::string> line =
        BuildScanCommandLine(dialog_.GatherSettings(), bridge_testing::BridgePath(), yes);
    if (!line) return "no command line";
    dialog_.Runner().Start(host_->StatusChannel(), *line, WM_SCAN_STATUS);
    if (!host_->RunUntil([&] { return dialog_.Runner().IsIdle(); }, std::chrono::minutes(5)))
      return "scan did not end";
    return host_->GetItemText(IDC_STATUS);
  }

  std::string Report() const { return ReadTextFile(host_->GetItemText(IDC_REPORT_FILE)); }

  // Every file under the test folder that holds the test file's bytes.
  std::vector<fs::path> EicarCopies() const {
    std::vector<fs::path> copies;
    for (const auto& entry : fs::recursive_directory_iterator(FsPath(dir_.path())))
      if (entry.is_regular_file() && ReadTextFile(Utf8(entry.path())) == EicarTestFile())
        copies.push_back(entry.path());
    return copies;
  }

  TempDir dir_;
  std::string database_, clean_, infected_, eicar_, quarantine_;
  QuietDesktop desktop_;
  MainDialog dialog_{desktop_};
  std::unique_ptr<ui::MemoryHost> host_;
};

TEST_F(BridgeClamavTest, CleanFolderEndsWithNothingFound) {
  EXPECT_EQ(Scan(clean_), "完成. 退出代码=0. 没有发现");
  // The report exists and the window opened it after the scan.
  EXPECT_TRUE(FileExists(host_->GetItemText(IDC_REPORT_FILE)));
  EXPECT_EQ(desktop_.opened, std::vector<std::string>{host_->GetItemText(IDC_REPORT_FILE)});
  EXPECT_EQ(Report().find(bridge::texts::kInfectedMark), std::string::npos) << Report();
}

TEST_F(BridgeClamavTest, InfectedFileGives13AndIsNamedInTheReport) {
  EXPECT_EQ(Scan(infected_), "完成. 退出代码=13. ");
  const std::string report = Report();
  EXPECT_NE(report.find(bridge::texts::kInfectedMark + eicar_ + ": Eicar-Test-Signature"),
            std::string::npos)
      << report;
  // Only the infected file is listed, without /rptall.
  EXPECT_EQ(report.find("readme.txt"), std::string::npos) << report;
  EXPECT_TRUE(FileExists(eicar_));
}

TEST_F(BridgeClamavTest, MovedInfectedFileIsOnlyInTheQuarantine) {
  host_->Click(IDC_MOVE);
  host_->Type(IDC_MOVE_DIR, quarantine_);
  EXPECT_EQ(Scan(infected_), "完成. 退出代码=13. ");
  EXPECT_FALSE(FileExists(eicar_));
  const std::vector<fs::path> copies = EicarCopies();
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(Utf8(copies[0].parent_path()), quarantine_);
  EXPECT_TRUE(FileExists(infected_ + "/readme.txt"));
  EXPECT_NE(Report().find(eicar_), std::string::npos) << Report();
}

TEST_F(BridgeClamavTest, WithoutSignaturesTheReportSaysToRunFreshclam) {
  database_ = dir_.Join("no signatures");
  fs::create_directories(FsPath(database_));
  EXPECT_EQ(Scan(clean_), "完成. 退出代码=2. ");
  const std::string report = Report();
  EXPECT_NE(report.find(bridge::texts::kErrorNoDatabase), std::string::npos) << report;
}

TEST_F(BridgeClamavTest, VirusListCountsTheSignaturesOfTheDatabase) {
  host_->Click(IDC_VIRUS_LIST);
  EXPECT_EQ(Scan(infected_), "完成. 退出代码=0. 没有发现");
  EXPECT_NE(Report().find("病毒特征数: 1"), std::string::npos) << Report();
  // A list only: nothing was scanned or moved.
  EXPECT_EQ(EicarCopies().size(), 1u);
}

}  // namespace
