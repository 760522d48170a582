#include "tests/app/fake_desktop.h"

#include "support/fs_helpers.h"
#include "tests/support/test_support.h"

bool FakeDesktop::OpenDocument(const std::string& path, void*, SystemError* error,
                               const LateOpenFailure&) {
  opened.push_back(path);
  if (testing_support::FileExists(path)) return true;
  *error = {openError, {}};
  return false;
}

bool FakeDesktop::RemoveFile(const std::string& path, SystemErrorCode* error) {
  removed.push_back(path);
  return DeleteFileAt(path, error);
}
