// The about box: title, version and a fixed text, and a button that opens
// the readme and licence document beside the executable.
#pragma once

#include <string>

#include "app/desktop_services.h"
#include "ui/dialog.h"

// "Quorvel v<version>" followed by the fixed block: ten lines, CR LF breaks,
// no break at the end.
std::string AboutText();

class AboutDialog : public ui::Dialog {
 public:
  explicit AboutDialog(DesktopServices& desktop = SystemDesktopServices());

  bool OnInitDialog() override;
  void OnReadme();

 protected:
  bool DispatchCommand(ui::Event event, int id, const std::string& text) override;

 private:
  DesktopServices& desktop_;
};
