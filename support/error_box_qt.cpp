#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>

#include "support/error_box.h"

void ShowSystemErrorBox(const std::string& text, const std::string& caption) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    // No window system to show a box with: the text goes to the terminal.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return;
  }
  // "\r\n" is one line break, as in the Windows box. Plain text: a file name
  // with "<" in it must not be taken for markup.
  QString body = QString::fromStdString(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption), body, QMessageBox::Ok,
                  nullptr);
  box.setTextFormat(Qt::PlainText);
  // Without an owner and modal to none: exec() would otherwise block every
  // window of the program, and the main window must stay usable meanwhile.
  // exec() still returns only when the box is closed.
  box.setWindowModality(Qt::WindowModal);
  box.exec();
}
