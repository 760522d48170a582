// A stand-in for the desktop, so that the dialogs' tests open no viewer and
// delete only what they mean to. (Their boxes and pickers are answered through
// ModalAnswers.)
#pragma once

#include <string>
#include <vector>

#include "app/desktop_services.h"
#include "support/modal_answers.h"

// The texts of boxes (for a picker: where it started).
inline std::vector<std::string> TextsOf(const std::vector<ModalBox>& boxes) {
  std::vector<std::string> texts;
  for (const ModalBox& box : boxes) texts.push_back(box.text);
  return texts;
}

class FakeDesktop : public DesktopServices {
 public:
  bool OpenDocument(const std::string& path, void* ownerWindow, SystemError* error,
                    const LateOpenFailure& lateFailure) override;
  bool RemoveFile(const std::string& path, SystemErrorCode* error) override;
  std::string TemporaryDirectory() override { return temporaryDirectory; }

  // Opening succeeds for an existing file; otherwise fails with the error
  // value openError.
  std::vector<std::string> opened;
  SystemErrorCode openError = 2;

  // Deleting really deletes.
  std::vector<std::string> removed;

  std::string temporaryDirectory;
};
