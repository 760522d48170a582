#include "fake_desktop.h"

#include "fs_helpers.h"
#include "test_support.h"

bool FakeDesktop::OpenDocument(const std::string& path, void*, SystemError* error) {
  opened.push_back(path);
  if (testing_support::FileExists(path)) return true;
  *error = {openError, {}};
  return false;
}

bool FakeDesktop::RemoveFile(const std::string& path, SystemErrorCode* error) {
  removed.push_back(path);
  return DeleteFileAt(path, error);
}

std::optional<std::string> FakeDesktop::BrowseForFolder(const std::string& title,
                                                        const std::string& initialFolder) {
  folderRequests.push_back({title, initialFolder});
  return folderChoice;
}

std::optional<std::string> FakeDesktop::ChooseReportFile(const std::string& initialName) {
  fileRequests.push_back(initialName);
  return fileChoice;
}

ErrorBoxRecorder::ErrorBoxRecorder() {
  SetErrorBoxPresenter([this](const std::string& text, const std::string& caption) {
    boxes.push_back({text, caption});
    if (whileOpen) whileOpen(boxes.back());
  });
}

ErrorBoxRecorder::~ErrorBoxRecorder() { SetErrorBoxPresenter(nullptr); }
