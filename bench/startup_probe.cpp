// Starts the way the Linux program starts (the same application object, the
// Qt back-end, the main window shown modally) and reports on its standard
// output, as "painted_ms=<ms>", once the window has been shown and painted,
// counted from just before the QApplication is made. It then idles a moment
// and closes the window. With "bare <width> <height>" it shows an empty
// QDialog of that size instead, for comparison, and with "bare <width>
// <height> text" the same dialog with one line of Chinese text (so that it
// pays for the font set-up that any window with text pays).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QTranslator>

#include "app/qt_application.h"
#include "app/scan_app.h"
#include "ui/application.h"
#include "ui/dialog.h"
#include "ui/qt/qt_host.h"

ScanApp theApp;

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the first paint of a window and reports the time after it.
class PaintWatcher : public QObject {
 public:
  PaintWatcher(Clock::time_point start, std::function<void()> close)
      : start_(start), close_(std::move(close)) {}

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (!reported_ && event->type() == QEvent::Paint && object->isWidgetType() &&
        static_cast<QWidget*>(object)->window()->inherits("QDialog")) {
      reported_ = true;
      // Queued behind the paint: runs once that paint (and what came with
      // it) has been handled.
      QTimer::singleShot(0, this, [this] {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
        std::printf("painted_ms=%.3f\n", ms);
        std::fflush(stdout);
        // Idle a moment (the memory figure is the idle program's), then close.
        QTimer::singleShot(200, this, [this] { close_(); });
      });
    }
    return false;
  }

 private:
  Clock::time_point start_;
  std::function<void()> close_;
  bool reported_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const Clock::time_point start = Clock::now();
  const bool bare = argc >= 4 && std::strcmp(argv[1], "bare") == 0;
  QApplication application(argc, argv);

  if (bare) {
    QDialog dialog;
    dialog.resize(std::stoi(argv[2]), std::stoi(argv[3]));
    if (argc >= 5 && std::strcmp(argv[4], "text") == 0)
      new QLabel(QString::fromUtf8("扫描所有本地驱动器(非可移动)"), &dialog);
    PaintWatcher watcher(start, [&] { dialog.reject(); });
    application.installEventFilter(&watcher);
    dialog.exec();
    return 0;
  }

  // As app/main_qt.cpp does it.
  QTranslator qtTexts;
  ConfigureApplication(qtTexts);

  PaintWatcher watcher(start, [] {
    if (ui::QtDialogWindow* window = ui::QtDialogWindow::Active()) {
      const QSize size = window->Window()->size();
      std::printf("size=%d %d\n", size.width(), size.height());
      std::fflush(stdout);
      window->Host().End(2);
    }
  });
  application.installEventFilter(&watcher);
  ui::QtModalRunner runner;
  ui::SetModalRunner(&runner);
  if (ui::Application* app = ui::Application::Instance()) app->InitInstance();
  ui::SetModalRunner(nullptr);
  return 0;
}
