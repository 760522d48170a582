// The fault matrix: the main window (on the in-memory host, and on the real
// host where the UI thread itself is under test) facing a faulty scanner or a
// hostile file system. Each case checks what the user sees, and that nothing
// crashes, hangs, loses or corrupts a file, or reports a failure as success.
//
// The test program lies in a folder of its own (tests/fault_matrix/), so that
// each case decides what "scan.exe" beside it is: the fake scanner copied
// there, nothing at all, or (Linux) a file that cannot be executed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/main_dialog_fixture.h"

class FaultMatrixTest : public MainDialogTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "scan.exe" beside this program: the fake scanner, or nothing.
  static std::string ScannerPath();
  static void InstallScanner();
  static void RemoveScanner();

  // Runs one scan from the Scan button to the runner idle again.
  bool ScanAndWait();
  std::vector<std::string> StatusTexts() const { return host->TextHistory(IDC_STATUS); }
  // The arguments the fake scanner received in the last scan.
  std::vector<std::string> ScannerArguments() const;
  // The error boxes' texts so far.
  std::vector<std::string> ErrorTexts() const;

  std::string record;
};
