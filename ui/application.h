// The application object: one global instance, built during static
// initialisation; the platform's entry point runs its InitInstance.
#pragma once

namespace ui {

class Application {
 public:
  Application();
  virtual ~Application();
  // Runs the program; returns false so that it ends afterwards.
  virtual bool InitInstance() = 0;

  static Application* Instance();
};

}  // namespace ui
