// Draws the program's windows offscreen, exactly as the Qt build builds them,
// and writes them as PNG files:
//   quorvel_screenshot [--about] [--out <folder>]
// writes main-qt.png (and with --about also about-qt.png) into <folder>,
// docs/screenshots/ of the source tree unless given.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>

#include "app/about_dialog.h"
#include "app/main_dialog.h"
#include "ui/qt/qt_host.h"

namespace {

void Usage() { std::fputs("usage: quorvel_screenshot [--about] [--out <folder>]\n", stderr); }

// Shows the window, lets it paint, and saves what it shows.
bool Capture(ui::QtDialogWindow& window, const QString& path) {
  window.Place();
  window.Window()->show();
  QApplication::processEvents();
  const QPixmap image = window.Window()->grab();
  if (image.isNull() || !image.save(path, "PNG")) {
    std::fprintf(stderr, "quorvel_screenshot: cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("wrote %s (%dx%d)\n", qPrintable(path), image.width(), image.height());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool withAbout = false;
  std::string folder = QUORVEL_SCREENSHOT_DIR;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--about") == 0) {
      withAbout = true;
    } else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else {
      Usage();
      return 2;
    }
  }
  // No display needed: the windows are drawn offscreen unless told otherwise.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);

  const QString outDir = QString::fromStdString(folder);
  if (!QDir().mkpath(outDir)) {
    std::fprintf(stderr, "quorvel_screenshot: cannot create %s\n", folder.c_str());
    return 1;
  }

  MainDialog mainDialog;
  ui::QtDialogWindow mainWindow(mainDialog);
  mainWindow.Initialize();
  if (!Capture(mainWindow, QDir(outDir).filePath(QStringLiteral("main-qt.png")))) return 1;

  if (withAbout) {
    AboutDialog aboutDialog;
    ui::QtDialogWindow aboutWindow(aboutDialog, mainWindow.Window());
    aboutWindow.Initialize();
    if (!Capture(aboutWindow, QDir(outDir).filePath(QStringLiteral("about-qt.png")))) return 1;
  }
  return 0;
}
