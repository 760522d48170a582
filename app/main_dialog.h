// The main window: every setting of a scan lives in its controls; its
// handlers build the scanner's command line, run the scan and show its
// progress, and handle the report file.
#pragma once

#include <string>

#include "app/desktop_services.h"
#include "scan/scan_runner.h"
#include "scan/scan_settings.h"
#include "scan/user_prompts.h"
#include "ui/dialog.h"

class MainDialog : public ui::Dialog, private UserPrompts {
 public:
  explicit MainDialog(DesktopServices& desktop = SystemDesktopServices());
  ~MainDialog() override;

  bool OnInitDialog() override;

  // Command handlers.
  void OnTargetChanged();
  void OnMoveToggled();
  void OnScan();
  void OnScanStatus(const std::string& text);
  void OnReportToggled();
  void UpdateReportButtons();
  void OpenReport();
  void OnDeleteReport();
  void OnBrowseTarget();
  void OnBrowseMoveDir();
  void OnBrowseReport();
  void OnAbout();

  // The settings of a scan as the controls hold them now.
  ScanSettings GatherSettings() const;

  const ScanRunner& Runner() const { return runner_; }
  ScanRunner& Runner() { return runner_; }

 protected:
  bool DispatchCommand(ui::Event event, int id, const std::string& text) override;

 private:
  // The scan layer's questions and error boxes.
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowError(const std::string& text, SystemErrorCode code) override;
  // The report file the field names, as the scan writes it ("~" expanded).
  std::string ReportPath() const;

  DesktopServices& desktop_;
  ScanRunner runner_;
};
