#include "ui/application.h"

namespace ui {

namespace {
Application* g_application = nullptr;
}  // namespace

Application::Application() { g_application = this; }

Application::~Application() {
  if (g_application == this) g_application = nullptr;
}

Application* Application::Instance() { return g_application; }

}  // namespace ui
