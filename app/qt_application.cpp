#include "app/qt_application.h"

#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

#include "res/resource_ids.h"
#include "res/texts.h"
#include "ui/qt/qt_host.h"

namespace {

// Where the build compiles the application icon in (see res/CMakeLists.txt).
constexpr char kAppIconResource[] = ":/quorvel/app-icon";

}  // namespace

QIcon AppIcon() {
  if (!QFile::exists(QString::fromLatin1(kAppIconResource))) return QIcon();
  return QIcon(QString::fromLatin1(kAppIconResource));
}

void ConfigureApplication(QTranslator& qtTexts) {
  QApplication::setApplicationName(QString::fromUtf8(texts::kTitle));
  const QIcon icon = AppIcon();
  if (!icon.isNull()) QApplication::setWindowIcon(icon);
  ui::RegisterIcon(IDI_APP, icon);
  // Every text of the program is Chinese; Qt's own buttons should read the same.
  if (qtTexts.load(QStringLiteral("qtbase_zh_CN"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);
}
