// The application object: shows the main window modally and ends with it.
#pragma once

#include "ui/application.h"

class ScanApp : public ui::Application {
 public:
  bool InitInstance() override;
};
