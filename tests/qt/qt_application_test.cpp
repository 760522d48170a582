// The program's own settings of its Qt application.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include "app/main_dialog.h"
#include "app/qt_application.h"
#include "res/resource_ids.h"
#include "ui/qt/qt_host.h"

TEST(QtApplication, QtsOwnButtonsReadInChineseAndWindowsTakeTheProgramsIcon) {
  QTranslator qtTexts;
  ConfigureApplication(qtTexts);
  QMessageBox box(QMessageBox::Warning, "", "", QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("是(&Y)"));
  EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("否(&N)"));
  QApplication::removeTranslator(&qtTexts);

  // A window asks for the icon by its id (the application's own default is
  // set aside, so that only the id can give it one).
  QApplication::setWindowIcon(QIcon());
  MainDialog dialog;
  ui::QtDialogWindow window(dialog);
  window.Host().SetIcon(IDI_APP);
  EXPECT_FALSE(window.Window()->windowIcon().pixmap(32, 32).isNull());
}
