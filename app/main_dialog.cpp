#include "app/main_dialog.h"

#include "app/about_dialog.h"
#include "app/switch_boxes.h"
#include "base/exit_codes.h"
#include "base/text_format.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "scan/scan_command.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"

using ui::Event;

namespace {

constexpr ui::CommandEntry<MainDialog> kCommands[] = {
    ui::OnCommand(Event::Clicked, IDC_BROWSE_TARGET, &MainDialog::OnBrowseTarget),
    ui::OnCommand(Event::Clicked, IDC_BROWSE_REPORT, &MainDialog::OnBrowseReport),
    ui::OnCommand(Event::Clicked, IDC_REPORT, &MainDialog::OnReportToggled),
    ui::OnCommand(Event::Clicked, IDC_SCAN, &MainDialog::OnScan),
    ui::OnCommand(Event::Clicked, IDC_BROWSE_MOVE_DIR, &MainDialog::OnBrowseMoveDir),
    ui::OnCommand(Event::Clicked, IDC_MOVE, &MainDialog::OnMoveToggled),
    ui::OnCommand(Event::Clicked, IDC_ABOUT, &MainDialog::OnAbout),
    ui::OnCommand(Event::TextChanged, IDC_REPORT_FILE, &MainDialog::UpdateReportButtons),
    ui::OnCommand(Event::Clicked, IDC_VIEW_REPORT, &MainDialog::OpenReport),
    ui::OnCommand(Event::Clicked, IDC_DELETE_REPORT, &MainDialog::OnDeleteReport),
    ui::OnMessage(WM_SCAN_STATUS, &MainDialog::OnScanStatus),
    ui::OnCommand(Event::Clicked, IDOK, &MainDialog::OnScan),
    ui::OnCommand(Event::TextChanged, IDC_TARGET, &MainDialog::OnTargetChanged),
    // IDCANCEL (exit button, Esc, close box): the framework ends the dialog.
};

// The report group's controls that follow the "write a report" check box.
constexpr int kReportOptionControls[] = {
    IDC_REPORT_FILE, IDC_BROWSE_REPORT, IDC_APPEND,          IDC_RPT_ALL,
    IDC_RPT_CORRUPT, IDC_RPT_ERRORS,    IDC_VIEW_AFTER_SCAN,
};

}  // namespace

MainDialog::MainDialog(DesktopServices& desktop)
    : ui::Dialog(IDD_MAIN), desktop_(desktop), runner_(*this) {}

MainDialog::~MainDialog() = default;

bool MainDialog::DispatchCommand(Event event, int id, const std::string& text) {
  return DispatchTable<MainDialog>(kCommands, event, id, text);
}

bool MainDialog::AskYesNo(const std::string& text, const std::string& caption) {
  return ui::Dialog::AskYesNo(text, caption);
}

void MainDialog::ShowError(const std::string& text, SystemErrorCode code) {
  ShowErrorBox(text, code);
}

bool MainDialog::OnInitDialog() {
  SetIcon(IDI_APP);
  SetTitle(std::string(texts::kTitle) + " " + texts::kVersion);
  SetCheck(IDC_ALL_LOCAL_DRIVES, 1);
  if (!desktop_.TemporaryDirectory().empty()) {
    for (int id : {IDC_REPORT, IDC_VIEW_AFTER_SCAN, IDC_RPT_ERRORS, IDC_RPT_CORRUPT})
      SetCheck(id, 1);
  }
  OnReportToggled();
  OnMoveToggled();
  // The three "..." buttons say what they choose.
  SetAccessibleName(IDC_BROWSE_TARGET, texts::kBrowseTargetTitle);
  SetAccessibleName(IDC_BROWSE_MOVE_DIR, texts::kBrowseDirectoryTitle);
  SetAccessibleName(IDC_BROWSE_REPORT, texts::kBrowseReportName);
  SetFocusItem(IDC_TARGET);
  return false;
}

// Every change of the target resets the drive choice: a typed target means
// "this folder with its subfolders", an empty one "the local drives".
void MainDialog::OnTargetChanged() {
  const bool hasTarget = !GetItemText(IDC_TARGET).empty();
  SetCheck(IDC_SUBDIRS, hasTarget ? 1 : 0);
  SetCheck(IDC_ALL_LOCAL_DRIVES, hasTarget ? 0 : 1);
  SetCheck(IDC_ALL_DRIVES, 0);
  SetCheck(IDC_ALL_NET_DRIVES, 0);
}

void MainDialog::OnMoveToggled() {
  const bool on = IsChecked(IDC_MOVE);
  EnableItem(IDC_MOVE_DIR, on);
  EnableItem(IDC_BROWSE_MOVE_DIR, on);
  if (on && GetItemText(IDC_MOVE_DIR).empty())
    SetItemText(IDC_MOVE_DIR, DefaultQuarantineDirectory());
}

ScanSettings MainDialog::GatherSettings() const {
  ScanSettings settings;
  settings.target = GetItemText(IDC_TARGET);
  for (const SwitchBox& box : kSwitchBoxes) settings.SetSwitch(box.id, IsChecked(box.controlId));
  settings.reportToFile = IsChecked(IDC_REPORT);
  settings.reportPath = GetItemText(IDC_REPORT_FILE);
  settings.moveInfected = IsChecked(IDC_MOVE);
  settings.moveDirectory = GetItemText(IDC_MOVE_DIR);
  settings.extraArgs = GetItemText(IDC_EXTRA_ARGS);
  return settings;
}

void MainDialog::OnScan() {
  const std::optional<std::string> line =
      BuildScanCommandLine(GatherSettings(), GetModuleRelativePath(texts::kScannerName), *this);
  // A busy runner ignores the request; the window does not look.
  if (line) runner_.Start(StatusChannel(), *line, WM_SCAN_STATUS);
}

void MainDialog::OnScanStatus(const std::string& text) {
  if (text == texts::kStatusThreadStart) {
    EnableItem(IDC_SCAN, false);
    return;
  }
  if (text != texts::kStatusThreadDone) {
    SetItemText(IDC_STATUS, text);
    return;
  }
  const uint32_t exitCode = runner_.exitCode();
  std::string status = FormatText(texts::kStatusDone, static_cast<unsigned>(exitCode));
  switch (exitCode) {
    case kExitNothingFound:
      status += texts::kVerdictNothingFound;
      break;
    case kExitStopped:
      status += texts::kVerdictStopped;
      break;
    case kNoExitCode:
      status += texts::kVerdictCrashed;
      break;
    default:
      break;
  }
  SetItemText(IDC_STATUS, status);
  EnableItem(IDC_SCAN, true);
  // The controls as they stand now, not as they were when the scan started.
  if (IsChecked(IDC_VIEW_AFTER_SCAN) && IsChecked(IDC_REPORT)) OpenReport();
  UpdateReportButtons();
}

void MainDialog::OnReportToggled() {
  const bool on = IsChecked(IDC_REPORT);
  for (int id : kReportOptionControls) EnableItem(id, on);
  if (on && GetItemText(IDC_REPORT_FILE).empty()) {
    const std::string tempDirectory = desktop_.TemporaryDirectory();
    if (!tempDirectory.empty())
      SetItemText(IDC_REPORT_FILE, tempDirectory + texts::kDefaultReportName);
  }
  UpdateReportButtons();
}

std::string MainDialog::ReportPath() const {
  return ExpandHomeFolder(GetItemText(IDC_REPORT_FILE));
}

void MainDialog::UpdateReportButtons() {
  const bool enable = IsChecked(IDC_REPORT) && PathPatternExists(ReportPath(), kAnyNonDirectory);
  EnableItem(IDC_VIEW_REPORT, enable);
  EnableItem(IDC_DELETE_REPORT, enable);
}

void MainDialog::OpenReport() {
  const std::string path = ReportPath();
  // The box, whether the failure comes at once or when the opener ends.
  const LateOpenFailure failed = [path](const SystemError& error) {
    ShowErrorBox(FormatText(texts::kErrorShellExecute, path.c_str()), error);
  };
  SystemError error;
  if (!desktop_.OpenDocument(path, NativeHandle(), &error, failed)) failed(error);
}

void MainDialog::OnDeleteReport() {
  const std::string path = ReportPath();
  if (!AskYesNo(FormatText(texts::kDeleteReportText, path.c_str()), texts::kDeleteReportCaption))
    return;
  SystemErrorCode error = 0;
  if (!desktop_.RemoveFile(path, &error)) ShowErrorBox(texts::kErrorDeleteFile, error);
  UpdateReportButtons();
}

void MainDialog::OnBrowseTarget() {
  // Setting the text runs OnTargetChanged through the edit's change notification.
  if (auto folder = desktop_.BrowseForFolder(texts::kBrowseTargetTitle, GetItemText(IDC_TARGET)))
    SetItemText(IDC_TARGET, *folder);
}

void MainDialog::OnBrowseMoveDir() {
  if (auto folder =
          desktop_.BrowseForFolder(texts::kBrowseDirectoryTitle, GetItemText(IDC_MOVE_DIR)))
    SetItemText(IDC_MOVE_DIR, *folder);
}

void MainDialog::OnBrowseReport() {
  // Setting the text runs UpdateReportButtons through the change notification.
  if (auto file = desktop_.ChooseReportFile(GetItemText(IDC_REPORT_FILE)))
    SetItemText(IDC_REPORT_FILE, *file);
}

void MainDialog::OnAbout() {
  AboutDialog about(desktop_);
  about.DoModal();
}
