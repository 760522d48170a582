// Modal windows on Qt: DoModal through the Qt runner, a dialog opened over
// another one, and the Yes/No box. The modal loops are driven from inside by
// events queued before they start, never by timing.
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>

#include "support/error_box.h"
#include "support/path_chooser.h"
#include "tests/qt/qt_test_dialog.h"

namespace {

using ui::Event;

class QtModal : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = ui::SetModalRunner(&runner_); }
  void TearDown() override { ui::SetModalRunner(previous_); }

  // Runs action once the next modal loop is running.
  static void WhenModal(std::function<void()> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
      QWidget* window = QApplication::activeModalWidget();
      if (!window || !QTest::qWaitForWindowActive(window)) {
        ADD_FAILURE() << "no active modal window";
        if (window) window->hide();  // ends its loop
        return;
      }
      action();
    });
  }

 private:
  ui::QtModalRunner runner_;
  ui::ModalRunner* previous_ = nullptr;
};

TEST_F(QtModal, DoModalReturnsTheResultTheDialogEndedWith) {
  RecordingDialog dialog;
  WhenModal([] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.events, (std::vector<RecordedEvent>{{Event::Clicked, IDCANCEL, ""}}));
  EXPECT_EQ(dialog.Host(), nullptr) << "the host is detached once the window is gone";
  EXPECT_EQ(ui::QtDialogWindow::Active(), nullptr);

  // A result of the dialog's own choosing.
  RecordingDialog chooser;
  chooser.onEvent = [&](const RecordedEvent& e) {
    if (e.id == IDC_SCAN) chooser.EndDialog(77);
    return true;
  };
  WhenModal([] {
    QWidget* scan = ui::QtDialogWindow::Active()->Control(IDC_SCAN);
    QTest::mouseClick(scan, Qt::LeftButton);
  });
  EXPECT_EQ(chooser.DoModal(), 77);
}

TEST_F(QtModal, ADialogEndedWhileItStartsNeverShows) {
  RecordingDialog dialog;
  dialog.onInit = [&] {
    dialog.EndDialog(IDOK);
    return true;
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST_F(QtModal, TheInitialFocusIsTheFirstTabStopUnlessTheDialogChoseOne) {
  RecordingDialog framework;
  int focused = 0;
  WhenModal([&] {
    focused = QApplication::focusWidget()->property(ui::kControlIdProperty).toInt();
    QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
  });
  framework.DoModal();
  EXPECT_EQ(focused, IDC_TARGET);

  RecordingDialog own(IDD_ABOUT);
  own.onInit = [&] {
    own.Host()->SetFocusItem(IDC_README);
    return false;
  };
  WhenModal([&] {
    focused = QApplication::focusWidget()->property(ui::kControlIdProperty).toInt();
    QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
  });
  own.DoModal();
  EXPECT_EQ(focused, IDC_README);
}

TEST_F(QtModal, ADialogOpenedFromAnotherIsOwnedByItAndCentredOverIt) {
  RecordingDialog outer;
  RecordingDialog about(IDD_ABOUT);
  QRect outerGeometry, aboutGeometry;
  QWidget* aboutParent = nullptr;
  QWidget* outerWindow = nullptr;
  int aboutResult = 0;
  outer.onEvent = [&](const RecordedEvent& e) {
    if (e.id != IDC_ABOUT) return e.id != IDCANCEL;
    outerWindow = ui::QtDialogWindow::Active()->Window();
    outerGeometry = outerWindow->frameGeometry();
    WhenModal([&] {
      QWidget* box = QApplication::activeModalWidget();
      aboutParent = box->parentWidget();
      aboutGeometry = box->frameGeometry();
      QTest::keyClick(box, Qt::Key_Return);  // IDOK, the default button
    });
    aboutResult = about.DoModal();
    // Back in the main window, which is still running.
    QTest::keyClick(outerWindow, Qt::Key_Escape);
    return true;
  };
  WhenModal(
      [] { QTest::mouseClick(ui::QtDialogWindow::Active()->Control(IDC_ABOUT), Qt::LeftButton); });
  EXPECT_EQ(outer.DoModal(), IDCANCEL);
  EXPECT_EQ(aboutResult, IDOK);
  EXPECT_EQ(aboutParent, outerWindow);
  const QPoint offset = aboutGeometry.center() - outerGeometry.center();
  EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
}

class QtYesNo : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(shown.Open()); }

  // Asks, answering with answer(box) once the box is up; keeps what it saw.
  bool Ask(std::function<void(QMessageBox*)> answer) {
    QTimer::singleShot(0, [this, answer = std::move(answer)] {
      QMessageBox* box = OpenMessageBox();
      if (!box || !QTest::qWaitForWindowActive(box)) {
        ADD_FAILURE() << "no active message box";
        if (box) box->hide();
        return;
      }
      seenIcon = box->icon();
      seenText = box->text();
      seenTitle = box->windowTitle();
      seenParent = box->parentWidget();
      seenFormat = box->textFormat();
      seenDefault = box->defaultButton() ? box->standardButton(box->defaultButton()) : 0;
      seenButtons = box->standardButtons();
      answer(box);
    });
    return shown.window->Host().AskYesNo("File \"/tmp/<b>scan.txt</b>\"\r\n已经存在,覆盖吗?",
                                         "覆盖报告文件?");
  }

  ShownDialog shown;
  QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
  QString seenText, seenTitle;
  QWidget* seenParent = nullptr;
  Qt::TextFormat seenFormat = Qt::AutoText;
  int seenDefault = 0;
  QMessageBox::StandardButtons seenButtons;
};

TEST_F(QtYesNo, EnterAnswersNo) {
  EXPECT_FALSE(Ask([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }));
  EXPECT_EQ(seenIcon, QMessageBox::Warning);
  EXPECT_EQ(seenButtons, QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(seenDefault, QMessageBox::No);
  EXPECT_EQ(seenParent, shown.window->Window());
  EXPECT_EQ(seenTitle, QStringLiteral("覆盖报告文件?"));
  // CR LF is one line break; markup in a path stays text.
  EXPECT_EQ(seenText, QStringLiteral("File \"/tmp/<b>scan.txt</b>\"\n已经存在,覆盖吗?"));
  EXPECT_EQ(seenFormat, Qt::PlainText);
}

TEST_F(QtYesNo, OnlyYesAnswersYes) {
  EXPECT_TRUE(Ask(
      [](QMessageBox* box) { QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton); }));
  EXPECT_FALSE(Ask([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }));
  EXPECT_FALSE(Ask([](QMessageBox* box) { box->close(); }));
  EXPECT_FALSE(Ask(
      [](QMessageBox* box) { QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton); }));
}

// The error box and the pickers have no owner and block no window: the main
// window takes the user's clicks while one is open, and the call returns only
// once it is closed.
TEST(QtOwnerlessBoxes, TheMainWindowTakesInputWhileTheErrorBoxOrAPickerIsOpen) {
  ShownDialog shown;
  ASSERT_NO_FATAL_FAILURE(shown.Open());
  QWidget* window = shown.window->Window();
  QWidget* check = shown.Control(IDC_ARCHIVES);
  const std::vector<std::function<void()>> openers = {
      [] { ShowErrorBox("DeleteFile 失败", 0); },
      [] { PathChooser().BrowseForFolder("选择目录", "", 0); },
      [] {
        PathChooser(false, "txt", "", 0, {{"所有文件 ", "*.*"}}, nullptr).DoModal();
      },
  };
  for (size_t i = 0; i < openers.size(); ++i) {
    bool clickedWhileOpen = false;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (!box || box == window || !QTest::qWaitForWindowExposed(box)) {
        ADD_FAILURE() << "no box open";
        return;
      }
      // A click as the window system delivers it, through the main window.
      QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                        check->mapTo(window, check->rect().center()));
      clickedWhileOpen = box->isVisible();
      if (auto* picker = qobject_cast<QDialog*>(box)) picker->reject();
    });
    openers[i]();
    EXPECT_TRUE(clickedWhileOpen) << i;
    EXPECT_EQ(shown.dialog.GetCheck(IDC_ARCHIVES), i % 2 == 0 ? 1 : 0) << i;
  }
}

}  // namespace
