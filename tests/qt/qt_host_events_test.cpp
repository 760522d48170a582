// What the user's clicks and keys, and the dialog's own calls, send to the
// command table on Qt, and what the control access reads back.
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tests/qt/qt_test_dialog.h"

namespace {

using ui::Event;

class QtDialogEvents : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(shown.Open()); }

  RecordingDialog& dialog() { return shown.dialog; }
  ui::DialogHost& host() { return shown.window->Host(); }
  QWidget* control(int id) { return shown.Control(id); }
  bool WindowVisible() { return shown.window->Window()->isVisible(); }

  ShownDialog shown;
};

TEST_F(QtDialogEvents, ClickOnCheckBoxTogglesItAndSendsOneClick) {
  QTest::mouseClick(control(IDC_ARCHIVES), Qt::LeftButton);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_ARCHIVES, ""}}));
  EXPECT_EQ(host().GetCheck(IDC_ARCHIVES), 1);

  // Space on the focused box is a click too.
  control(IDC_ARCHIVES)->setFocus();
  QTest::keyClick(control(IDC_ARCHIVES), Qt::Key_Space);
  EXPECT_EQ(dialog().EventsOf(Event::Clicked).size(), 2u);
  EXPECT_EQ(host().GetCheck(IDC_ARCHIVES), 0);
}

TEST_F(QtDialogEvents, AnAssistiveTechnologysToggleIsAClickToo) {
  // A screen reader's toggle action calls QAbstractButton::toggle().
  QAccessibleInterface* box = QAccessible::queryAccessibleInterface(control(IDC_MOVE));
  ASSERT_TRUE(box && box->actionInterface());
  box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_MOVE, ""}}));
  EXPECT_EQ(host().GetCheck(IDC_MOVE), 1);
}

TEST_F(QtDialogEvents, CheckMarksSetFromCodeSendNothing) {
  dialog().SetCheck(IDC_SUBDIRS, 1);
  EXPECT_EQ(dialog().GetCheck(IDC_SUBDIRS), 1);
  EXPECT_TRUE(qobject_cast<QCheckBox*>(control(IDC_SUBDIRS))->isChecked());
  dialog().SetCheck(IDC_SUBDIRS, 0);
  EXPECT_EQ(dialog().GetCheck(IDC_SUBDIRS), 0);
  EXPECT_TRUE(dialog().events.empty());
  // A control that is no check box reads as unchecked.
  EXPECT_EQ(dialog().GetCheck(IDC_TARGET), 0);
}

TEST_F(QtDialogEvents, EditTextsSetFromCodeOrTypedSendTextChanged) {
  dialog().SetItemText(IDC_TARGET, "/home/用户/文档");
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::TextChanged, IDC_TARGET, ""}}));
  EXPECT_EQ(dialog().GetItemText(IDC_TARGET), "/home/用户/文档");

  // The same text again still reports, as a Windows edit does.
  dialog().SetItemText(IDC_TARGET, "/home/用户/文档");
  EXPECT_EQ(dialog().EventsOf(Event::TextChanged).size(), 2u);

  dialog().events.clear();
  control(IDC_EXTRA_ARGS)->setFocus();
  QTest::keyClicks(control(IDC_EXTRA_ARGS), "/a");
  EXPECT_EQ(dialog().events,
            (std::vector<RecordedEvent>{{Event::TextChanged, IDC_EXTRA_ARGS, ""},
                                        {Event::TextChanged, IDC_EXTRA_ARGS, ""}}));
  EXPECT_EQ(dialog().GetItemText(IDC_EXTRA_ARGS), "/a");
}

TEST_F(QtDialogEvents, LabelsShowTextsAsTheyAre) {
  // "&" is no access key in a status text, CR LF is one line break, and the
  // text reads back exactly as it was set.
  const std::string text = "CreateProcess(\"/tmp/a&b <c>\") 失败.\r\n第二行";
  dialog().SetItemText(IDC_STATUS, text);
  EXPECT_EQ(dialog().GetItemText(IDC_STATUS), text);
  auto* label = qobject_cast<QLabel*>(control(IDC_STATUS));
  EXPECT_EQ(label->text(), QStringLiteral("CreateProcess(\"/tmp/a&b <c>\") 失败.\n第二行"));
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_TRUE(dialog().events.empty());

  dialog().SetItemText(IDC_SCAN, "停止(&S)");
  EXPECT_EQ(dialog().GetItemText(IDC_SCAN), "停止(&S)");
  EXPECT_EQ(control(IDC_SCAN)->accessibleName(), QStringLiteral("停止(S)"));
}

TEST_F(QtDialogEvents, EnterInAnEditRunsTheDefaultButtonAndKeepsTheWindow) {
  control(IDC_TARGET)->setFocus();
  QTest::keyClick(control(IDC_TARGET), Qt::Key_Return);
  QTest::keyClick(control(IDC_TARGET), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_SCAN, ""},
                                                         {Event::Clicked, IDC_SCAN, ""}}));
  EXPECT_TRUE(WindowVisible());
  EXPECT_FALSE(shown.window->IsEnded());
}

TEST_F(QtDialogEvents, EnterOnACheckBoxRunsTheDefaultButtonWithoutToggling) {
  control(IDC_APPEND)->setFocus();
  QTest::keyClick(control(IDC_APPEND), Qt::Key_Return);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_SCAN, ""}}));
  EXPECT_EQ(dialog().GetCheck(IDC_APPEND), 0);
}

TEST_F(QtDialogEvents, EnterOnAFocusedButtonClicksThatButton) {
  control(IDC_BROWSE_TARGET)->setFocus();
  QTest::keyClick(control(IDC_BROWSE_TARGET), Qt::Key_Return);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_BROWSE_TARGET, ""}}));

  // Back in an edit, Enter belongs to the default button again.
  dialog().events.clear();
  control(IDC_TARGET)->setFocus();
  QTest::keyClick(control(IDC_TARGET), Qt::Key_Return);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_SCAN, ""}}));
}

TEST_F(QtDialogEvents, EnterDoesNothingWhileTheDefaultButtonIsDisabled) {
  dialog().EnableItem(IDC_SCAN, false);
  control(IDC_TARGET)->setFocus();
  QTest::keyClick(control(IDC_TARGET), Qt::Key_Return);
  EXPECT_TRUE(dialog().events.empty());
  EXPECT_TRUE(WindowVisible());
}

TEST_F(QtDialogEvents, AccessKeysClickButtons) {
  control(IDC_TARGET)->setFocus();
  QTest::keyClick(shown.window->Window(), Qt::Key_A, Qt::AltModifier);
  EXPECT_TRUE(RunEventsUntil([&] { return !dialog().events.empty(); }));
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDC_ABOUT, ""}}));
}

TEST_F(QtDialogEvents, EscapeSendsCancelAndTheDefaultEndsTheDialog) {
  control(IDC_TARGET)->setFocus();
  QTest::keyClick(control(IDC_TARGET), Qt::Key_Escape);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDCANCEL, ""}}));
  EXPECT_TRUE(shown.window->IsEnded());
  EXPECT_EQ(shown.window->Result(), IDCANCEL);
  EXPECT_FALSE(WindowVisible());
}

TEST_F(QtDialogEvents, TheExitButtonSendsCancel) {
  QTest::mouseClick(control(IDCANCEL), Qt::LeftButton);
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDCANCEL, ""}}));
  EXPECT_EQ(shown.window->Result(), IDCANCEL);
}

TEST_F(QtDialogEvents, TheCloseBoxAsksTheCommandTable) {
  // A table that handles IDCANCEL itself keeps the window open.
  dialog().onEvent = [](const RecordedEvent&) { return true; };
  EXPECT_FALSE(shown.window->Window()->close());
  EXPECT_EQ(dialog().events, (std::vector<RecordedEvent>{{Event::Clicked, IDCANCEL, ""}}));
  EXPECT_TRUE(WindowVisible());
  EXPECT_FALSE(shown.window->IsEnded());

  // The framework's default ends it.
  dialog().onEvent = nullptr;
  EXPECT_TRUE(shown.window->Window()->close());
  EXPECT_EQ(shown.window->Result(), IDCANCEL);
}

TEST_F(QtDialogEvents, AWindowTakesTheIconRegisteredUnderAnId) {
  constexpr int kIconId = 7;
  QPixmap red(16, 16);
  red.fill(Qt::red);
  ui::RegisterIcon(kIconId, QIcon(red));
  host().SetIcon(kIconId + 1);  // nothing under it: the icon stays as it is
  EXPECT_TRUE(shown.window->Window()->windowIcon().pixmap(16, 16).toImage() != red.toImage());
  host().SetIcon(kIconId);
  EXPECT_EQ(shown.window->Window()->windowIcon().pixmap(16, 16).toImage().pixel(0, 0),
            red.toImage().pixel(0, 0));
  ui::RegisterIcon(kIconId, QIcon());
}

TEST(QtDialogEventsAbout, EnterOnTheAboutBoxIsOkAndEndsIt) {
  ShownDialog shown(IDD_ABOUT);
  ASSERT_NO_FATAL_FAILURE(shown.Open());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_EQ(shown.dialog.events, (std::vector<RecordedEvent>{{Event::Clicked, IDOK, ""}}));
  EXPECT_EQ(shown.window->Result(), IDOK);
}

}  // namespace
