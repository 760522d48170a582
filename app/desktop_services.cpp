#include "app/desktop_services.h"

#include <vector>

#include "res/texts.h"
#include "support/fs_helpers.h"
#include "support/modal_answers.h"
#include "support/path_chooser.h"
#include "support/shell_open.h"

namespace {

// Both folder pickers offer file-system folders only.
constexpr uint32_t kFolderBrowseFlags =
    PathChooser::kBrowseFileSystemFolders | PathChooser::kBrowseFileSystemAncestors;

class SystemDesktop : public DesktopServices {
 public:
  bool OpenDocument(const std::string& path, void* ownerWindow, SystemError* error,
                    const LateOpenFailure& lateFailure) override {
    return OpenWithShell(path, ownerWindow, error, lateFailure);
  }

  bool RemoveFile(const std::string& path, SystemErrorCode* error) override {
    return DeleteFileAt(path, error);
  }

  std::string TemporaryDirectory() override { return GetTempDirectory(); }
};

}  // namespace

DesktopServices& SystemDesktopServices() {
  static SystemDesktop desktop;
  return desktop;
}

std::optional<std::string> DesktopServices::BrowseForFolder(const std::string& title,
                                                            const std::string& initialFolder) {
  ModalAnswer answer;
  if (AnswerFromTest({ModalKind::FolderPicker, initialFolder, title}, &answer)) return answer.path;
  PathChooser chooser;
  if (chooser.BrowseForFolder(title, initialFolder, kFolderBrowseFlags) != PathChooser::kChosen)
    return std::nullopt;
  return chooser.GetFolderPath();
}

std::optional<std::string> DesktopServices::ChooseReportFile(const std::string& initialName) {
  ModalAnswer answer;
  if (AnswerFromTest({ModalKind::FilePicker, initialName, {}}, &answer)) return answer.path;
  const std::vector<FileTypeFilter> filters = {
      {texts::kReportFilterText, texts::kReportFilterTextPattern},
      {texts::kReportFilterAll, texts::kReportFilterAllPattern},
  };
  // The save form with no options of its own: whether to overwrite an
  // existing report is asked when the scan starts.
  PathChooser chooser(false, texts::kReportDefaultExtension, initialName, 0, filters, nullptr);
  if (chooser.DoModal() != PathChooser::kChosen) return std::nullopt;
  return chooser.GetPathName();
}
