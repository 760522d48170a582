// A desktop for programs that run the real dialogs without a person: it opens
// nothing, picks nothing, removes nothing and never shows a box; it keeps
// what the window asked to open. Unlike tests/app's FakeDesktop it has no
// failures to play: the bridge's end-to-end test and the install probe must
// see only what the dialogs themselves do.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/desktop_services.h"

class QuietDesktop : public DesktopServices {
 public:
  bool OpenDocument(const std::string& path, void*, SystemError*, const LateOpenFailure&) override {
    opened.push_back(path);
    return true;
  }
  bool RemoveFile(const std::string&, SystemErrorCode*) override { return false; }
  std::optional<std::string> BrowseForFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::string TemporaryDirectory() override { return temporaryDirectory; }
  std::optional<std::string> ChooseReportFile(const std::string&) override { return std::nullopt; }

  std::vector<std::string> opened;
  std::string temporaryDirectory;  // empty: the report starts off
};
