#include "tests/fault_matrix/fault_matrix_fixture.h"

#include <filesystem>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testing_support::FsPath;

void FaultMatrixTest::SetUp() {
  MainDialogTest::SetUp();
  InstallScanner();
  record = temp.Join("record.txt");
  testing_support::SetEnv("QUORVEL_FAKE_SCAN_RECORD", record);
}

void FaultMatrixTest::TearDown() {
  MainDialogTest::TearDown();
  InstallScanner();
}

std::string FaultMatrixTest::ScannerPath() { return testing_support::FakeScannerPath(); }

void FaultMatrixTest::InstallScanner() {
  // The fake scanner is built beside the other test programs, one folder up.
  const fs::path own = FsPath(ScannerPath());
  const fs::path built = own.parent_path().parent_path() / "scan.exe";
  std::error_code error;
  if (!fs::exists(own, error)) fs::copy_file(built, own, error);
  ASSERT_FALSE(error) << error.message();
  fs::permissions(own,
                  fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec,
                  error);
}

void FaultMatrixTest::RemoveScanner() {
  std::error_code error;
  fs::remove(FsPath(ScannerPath()), error);
  ASSERT_FALSE(testing_support::FileExists(ScannerPath()));
}

bool FaultMatrixTest::ScanAndWait() {
  host->Click(IDC_SCAN);
  return WaitForScanEnd();
}

std::vector<std::string> FaultMatrixTest::ScannerArguments() const {
  return testing_support::ReadFakeScannerRecord(record).arguments;
}

std::vector<std::string> FaultMatrixTest::ErrorTexts() const { return TextsOf(ErrorBoxes()); }
