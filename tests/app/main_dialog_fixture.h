// A MainDialog on the in-memory host, with a fake desktop and every modal box
// answered by the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog.h"
#include "res/resource_ids.h"
#include "support/fs_helpers.h"
#include "tests/app/fake_desktop.h"
#include "tests/support/test_support.h"
#include "ui/memory/memory_host.h"

class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::ResetFakeScannerEnvironment();
    desktop.temporaryDirectory = temp.path() + kSeparator;
  }
  void TearDown() override {
    host.reset();
    testing_support::ResetFakeScannerEnvironment();
  }

  // Builds and opens the window.
  void Open() {
    host = std::make_unique<ui::MemoryHost>(dialog);
    host->Open();
  }

  // Waits (running the reports on this thread) until the runner is idle.
  bool WaitForScanEnd() {
    return host->RunUntil([&] { return dialog.Runner().IsIdle(); });
  }

  std::string Text(int id) const { return host->GetItemText(id); }
  int Check(int id) const { return host->GetCheck(id); }
  bool Enabled(int id) const { return host->IsItemEnabled(id); }
  std::vector<ModalBox> Questions() const { return answers.Opened(ModalKind::Question); }
  std::vector<ModalBox> ErrorBoxes() const { return answers.Opened(ModalKind::ErrorBox); }

  static constexpr char kSeparator = kPathSeparator;

  testing_support::TempDir temp;
  FakeDesktop desktop;
  ModalAnswers answers;
  MainDialog dialog{desktop};
  std::unique_ptr<ui::MemoryHost> host;
};
