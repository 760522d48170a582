// Prints the file that the about box's licence button opens, then the scanner
// that a scan would start. The installation tests copy this program beside an
// installed quorvel (and start it through a link, as /usr/bin/quorvel is one)
// and expect the installed quorvel.txt and scan.exe: the probe runs the about
// box's and the scan's own code, so it finds them exactly as the installed
// program does.
#include <cstdio>
#include <string>

#include "app/about_dialog.h"
#include "app/desktop_services.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "support/fs_helpers.h"
#include "tests/support/quiet_desktop.h"
#include "ui/memory/memory_host.h"

int main() {
  QuietDesktop desktop;
  AboutDialog about(desktop);
  ui::MemoryHost host(about);
  host.Open();
  host.Click(IDC_README);
  if (desktop.opened.size() != 1) {
    std::fprintf(stderr, "the licence button opened %zu documents\n", desktop.opened.size());
    return 1;
  }
  std::printf("%s\n%s\n", desktop.opened.front().c_str(),
              GetModuleRelativePath(texts::kScannerName).c_str());
  return 0;
}
