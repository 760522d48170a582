#include <sys/stat.h>

#include <QDesktopServices>
#include <QGuiApplication>
#include <QString>
#include <QUrl>

#include <cerrno>

#include "shell_open.h"

bool OpenWithShell(const std::string& path, void*, SystemErrorCode* error) {
  SystemErrorCode code = 0;
  // The desktop's viewer reports nothing back about a missing file: check
  // first so that the error box can say why.
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    code = static_cast<SystemErrorCode>(errno);
  } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr &&
             QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)))) {
    if (error != nullptr) *error = 0;
    return true;
  }
  if (error != nullptr) *error = code;
  return false;
}
