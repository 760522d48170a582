#include "app/about_dialog.h"

#include "base/text_format.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"

namespace {

constexpr ui::CommandEntry<AboutDialog> kCommands[] = {
    ui::OnCommand(ui::Event::Clicked, IDC_README, &AboutDialog::OnReadme),
    // IDOK and IDCANCEL: the framework closes the box.
};

}  // namespace

std::string AboutText() {
  const std::string br = "\r\n";
  return std::string(texts::kTitle) + " " + texts::kVersion + br + br + texts::kAboutPurpose + br +
         br + texts::kAboutRights + br + texts::kAboutLicence + br + br + texts::kAboutContact +
         br + br + texts::kAboutCredit;
}

AboutDialog::AboutDialog(DesktopServices& desktop) : ui::Dialog(IDD_ABOUT), desktop_(desktop) {}

bool AboutDialog::DispatchCommand(ui::Event event, int id, const std::string& text) {
  return DispatchTable<AboutDialog>(kCommands, event, id, text);
}

bool AboutDialog::OnInitDialog() {
  SetItemText(IDC_ABOUT_TEXT, AboutText());
  SetFocusItem(IDOK);
  return false;
}

void AboutDialog::OnReadme() {
  const std::string path = GetModuleRelativePath(texts::kReadmeName);
  const LateOpenFailure failed = [path](const SystemError& error) {
    ShowErrorBox(FormatText(texts::kErrorShellExecute, path.c_str()), error);
  };
  SystemError error;
  if (!desktop_.OpenDocument(path, NativeHandle(), &error, failed)) failed(error);
}
