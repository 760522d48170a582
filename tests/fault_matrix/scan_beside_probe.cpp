// Runs one scan from the main window and says whether it reached the scanner
// beside this program. The fault matrix copies the probe and the fake scanner
// into a folder with an unusual name and starts the copy there: the window's
// own code then finds and starts the scanner exactly as the program does.
#include <cstdio>
#include <string>

#include "app/main_dialog.h"
#include "res/resource_ids.h"
#include "tests/app/fake_desktop.h"
#include "tests/support/fake_program_env.h"
#include "tests/support/test_support.h"
#include "ui/memory/memory_host.h"

int main() {
  const std::string record = fake_program::Environment("QUORVEL_FAKE_SCAN_RECORD");
  if (record.empty()) {
    std::fprintf(stderr, "QUORVEL_FAKE_SCAN_RECORD is not set\n");
    return 2;
  }
  FakeDesktop desktop;  // no temporary folder: no report, no question
  ModalAnswers answers;
  MainDialog dialog(desktop);
  ui::MemoryHost host(dialog);
  host.Open();
  host.Click(IDC_SCAN);
  if (!host.RunUntil([&] { return dialog.Runner().IsIdle(); })) {
    std::fprintf(stderr, "the scan did not end\n");
    return 1;
  }

  const std::string status = host.GetItemText(IDC_STATUS);
  const std::string started = testing_support::ReadFakeScannerRecord(record).program;
  const std::string expected = testing_support::FakeScannerPath();
  if (status != "完成. 退出代码=0. 没有发现" || started != expected ||
      !answers.Opened(ModalKind::ErrorBox).empty()) {
    std::fprintf(stderr, "status \"%s\", started \"%s\" instead of \"%s\", %zu error boxes\n",
                 status.c_str(), started.c_str(), expected.c_str(),
                 answers.Opened(ModalKind::ErrorBox).size());
    return 1;
  }
  return 0;
}
