// Stand-ins for the desktop and the error box, so that the dialogs' tests
// open no viewer, picker or modal box.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "desktop_services.h"
#include "error_box.h"

class FakeDesktop : public DesktopServices {
 public:
  bool OpenDocument(const std::string& path, void* ownerWindow, SystemError* error) override;
  bool RemoveFile(const std::string& path, SystemErrorCode* error) override;
  std::optional<std::string> BrowseForFolder(const std::string& title,
                                             const std::string& initialFolder) override;
  std::optional<std::string> ChooseReportFile(const std::string& initialName) override;
  std::string TemporaryDirectory() override { return temporaryDirectory; }

  // Opening succeeds for an existing file; otherwise fails with the error
  // value openError.
  std::vector<std::string> opened;
  SystemErrorCode openError = 2;

  // Deleting really deletes.
  std::vector<std::string> removed;

  struct Browse {
    std::string title;
    std::string initial;
  };
  std::vector<Browse> folderRequests;
  std::vector<std::string> fileRequests;
  std::optional<std::string> folderChoice;
  std::optional<std::string> fileChoice;

  std::string temporaryDirectory;
};

// Captures error boxes for the lifetime of the object.
class ErrorBoxRecorder {
 public:
  struct Box {
    std::string text;
    std::string caption;
  };
  ErrorBoxRecorder();
  ~ErrorBoxRecorder();
  std::vector<Box> boxes;
  // Runs while a box is "open".
  std::function<void(const Box&)> whileOpen;
};
