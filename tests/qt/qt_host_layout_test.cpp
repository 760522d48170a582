// The windows the Qt host builds from the templates: every control with its
// id, kind, caption and place, the Tab order and what a screen reader hears.
#include <QAccessible>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRawFont>

#include "res/dialog_templates.h"
#include "tests/qt/qt_test_dialog.h"

namespace {

QString Caption(const ControlTemplate& control) { return QString::fromUtf8(control.caption); }

QString WithoutAmpersands(QString text) { return text.remove(u'&'); }

bool TakesFocus(ControlKind kind) {
  return kind == ControlKind::Edit || kind == ControlKind::PushButton ||
         kind == ControlKind::DefPushButton || kind == ControlKind::CheckBox;
}

// Windows' MulDiv for the small positive values of a template.
int MulDiv(int value, int numerator, int denominator) {
  return (2 * value * numerator + denominator) / (2 * denominator);
}

// Dialog units to pixels the way Windows does it, from the font the window
// really uses: average width of the 52 letters and the font's height.
QRect ExpectedRect(const QFont& font, int x, int y, int w, int h) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int baseX = (letters / 26 + 1) / 2;
  const int baseY = metrics.height();
  return QRect(MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(w, baseX, 4), MulDiv(h, baseY, 8));
}

class TemplateLayout : public ::testing::TestWithParam<int> {};

TEST_P(TemplateLayout, EveryControlHasItsIdKindCaptionAndPlace) {
  const DialogTemplate* dialogTemplate = FindDialogTemplate(GetParam());
  ASSERT_NE(dialogTemplate, nullptr);
  RecordingDialog dialog(GetParam());
  ui::QtDialogWindow window(dialog);
  QDialog* widget = window.Window();
  const QFont font = widget->font();

  EXPECT_EQ(widget->windowTitle(), QString::fromUtf8(dialogTemplate->caption));
  const QRect frame = ExpectedRect(font, 0, 0, dialogTemplate->width, dialogTemplate->height);
  EXPECT_EQ(widget->size(), frame.size());
  EXPECT_EQ(widget->minimumSize(), widget->maximumSize()) << "the window has a fixed size";

  ASSERT_EQ(window.Controls().size(), dialogTemplate->controls.size());
  for (size_t i = 0; i < dialogTemplate->controls.size(); ++i) {
    const ControlTemplate& control = dialogTemplate->controls[i];
    QWidget* actual = window.Controls()[i];
    SCOPED_TRACE(testing::Message() << "control " << i << " id " << control.id << " ("
                                    << ControlKindName(control.kind) << ")");
    EXPECT_EQ(actual->property(ui::kControlIdProperty).toInt(), control.id);
    EXPECT_EQ(actual->geometry(),
              ExpectedRect(font, control.x, control.y, control.width, control.height));
    switch (control.kind) {
      case ControlKind::Edit:
        ASSERT_TRUE(qobject_cast<QLineEdit*>(actual));
        EXPECT_EQ(qobject_cast<QLineEdit*>(actual)->text(), Caption(control));
        break;
      case ControlKind::PushButton:
      case ControlKind::DefPushButton: {
        auto* button = qobject_cast<QPushButton*>(actual);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), Caption(control));
        EXPECT_EQ(button->isDefault(), control.kind == ControlKind::DefPushButton);
        break;
      }
      case ControlKind::CheckBox:
        ASSERT_TRUE(qobject_cast<QCheckBox*>(actual));
        EXPECT_EQ(qobject_cast<QCheckBox*>(actual)->text(), Caption(control));
        EXPECT_FALSE(qobject_cast<QCheckBox*>(actual)->isChecked());
        break;
      case ControlKind::Label:
        ASSERT_TRUE(qobject_cast<QLabel*>(actual));
        EXPECT_EQ(qobject_cast<QLabel*>(actual)->text(), Caption(control));
        if (control.id != IDC_STATIC) {
          EXPECT_EQ(window.Host().GetItemText(control.id), control.caption);
        }
        break;
      case ControlKind::GroupBox:
        ASSERT_TRUE(qobject_cast<QGroupBox*>(actual));
        EXPECT_EQ(qobject_cast<QGroupBox*>(actual)->title(), Caption(control));
        EXPECT_TRUE(actual->testAttribute(Qt::WA_TransparentForMouseEvents));
        break;
    }
  }
}

// The captions are drawn with a font that has their glyphs (no boxes) and fit
// their controls (nothing cut off).
TEST_P(TemplateLayout, CaptionsHaveGlyphsAndFit) {
  const DialogTemplate* dialogTemplate = FindDialogTemplate(GetParam());
  RecordingDialog dialog(GetParam());
  ui::QtDialogWindow window(dialog);
  const QRawFont raw = QRawFont::fromFont(window.Window()->font());
  const QFontMetrics metrics(window.Window()->font());
  for (size_t i = 0; i < dialogTemplate->controls.size(); ++i) {
    const ControlTemplate& control = dialogTemplate->controls[i];
    QWidget* actual = window.Controls()[i];
    const QString shown = WithoutAmpersands(Caption(control));
    SCOPED_TRACE(control.caption);
    for (QChar c : shown)
      EXPECT_TRUE(raw.supportsCharacter(c))
          << "no glyph for U+" << std::hex << static_cast<int>(c.unicode());
    switch (control.kind) {
      case ControlKind::CheckBox:
        EXPECT_LE(actual->sizeHint().width(), actual->width());
        break;
      case ControlKind::PushButton:
      case ControlKind::DefPushButton:
      case ControlKind::GroupBox:
        EXPECT_LT(metrics.horizontalAdvance(shown), actual->width());
        break;
      case ControlKind::Label:
        // The about text is set at run time and wraps; the others are one line.
        if (shown != QStringLiteral("...")) {
          EXPECT_LE(metrics.horizontalAdvance(shown), actual->width());
          EXPECT_LE(metrics.height(), actual->height());
        }
        break;
      case ControlKind::Edit:
        EXPECT_LE(metrics.height(), actual->height());
        break;
    }
  }
}

TEST_P(TemplateLayout, TabFollowsTemplateOrderThroughFocusableControls) {
  const DialogTemplate* dialogTemplate = FindDialogTemplate(GetParam());
  std::vector<int> expected;
  for (const ControlTemplate& control : dialogTemplate->controls)
    if (TakesFocus(control.kind)) expected.push_back(control.id);
  ASSERT_FALSE(expected.empty());

  ShownDialog shown(GetParam());
  shown.Open();
  // The framework puts the focus on the first control that takes it.
  ASSERT_TRUE(QApplication::focusWidget());
  std::vector<int> visited;
  for (size_t i = 0; i <= expected.size(); ++i) {
    visited.push_back(QApplication::focusWidget()->property(ui::kControlIdProperty).toInt());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  expected.push_back(expected.front());  // and round again
  EXPECT_EQ(visited, expected);
}

INSTANTIATE_TEST_SUITE_P(Templates, TemplateLayout, ::testing::Values(IDD_MAIN, IDD_ABOUT),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param == IDD_MAIN ? std::string("Main")
                                                         : std::string("About");
                         });

TEST(QtDialogLayout, GroupBoxesLieBeneathTheControlsTheyFrame) {
  ShownDialog shown;
  shown.Open();
  // A click inside a group box reaches the check box there.
  QWidget* check = shown.Control(IDC_SUBDIRS);
  const QPoint centre = check->geometry().center();
  EXPECT_EQ(shown.window->Window()->childAt(centre), check);
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_EQ(shown.dialog.GetCheck(IDC_SUBDIRS), 1);
}

TEST(QtDialogLayout, ScreenReadersHearCaptionsWithoutAccessKeys) {
  RecordingDialog dialog;
  ui::QtDialogWindow window(dialog);
  EXPECT_EQ(window.Control(IDC_SCAN)->accessibleName(), QStringLiteral("扫描(S)"));
  EXPECT_EQ(window.Control(IDCANCEL)->accessibleName(), QStringLiteral("退出(E)"));
  EXPECT_EQ(window.Control(IDC_SUBDIRS)->accessibleName(), QStringLiteral("扫描子目录"));
  EXPECT_EQ(window.Control(IDC_STATUS)->accessibleName(), QStringLiteral("空闲"));
  // Edits are named by the caption beside or above them, else their group.
  EXPECT_EQ(window.Control(IDC_MOVE_DIR)->accessibleName(), QStringLiteral("移动到:"));
  EXPECT_EQ(window.Control(IDC_REPORT_FILE)->accessibleName(), QStringLiteral("报告:"));
  EXPECT_EQ(window.Control(IDC_EXTRA_ARGS)->accessibleName(), QStringLiteral("扩展命令行参数:"));
  EXPECT_EQ(window.Control(IDC_TARGET)->accessibleName(), QStringLiteral("扫描参数"));
  for (QWidget* control : window.Controls()) {
    auto* group = qobject_cast<QGroupBox*>(control);
    if (group && group->title().isEmpty()) continue;  // the about box's bare frame
    EXPECT_FALSE(control->accessibleName().isEmpty())
        << "id " << control->property(ui::kControlIdProperty).toInt();
  }

  // A text set later is what is heard.
  window.Host().SetItemText(IDC_STATUS, "运行中");
  EXPECT_EQ(window.Control(IDC_STATUS)->accessibleName(), QStringLiteral("运行中"));
  // The status line is labelled by the caption before it.
  QAccessibleInterface* status = QAccessible::queryAccessibleInterface(window.Control(IDC_STATUS));
  ASSERT_NE(status, nullptr);
  const auto labels = status->relations(QAccessible::Label);
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0].first->text(QAccessible::Name), QStringLiteral("操作:"));
  // A dialog's own name for a control is what is heard.
  window.Host().SetAccessibleName(IDC_BROWSE_REPORT, "选择报告文件");
  EXPECT_EQ(window.Control(IDC_BROWSE_REPORT)->accessibleName(), QStringLiteral("选择报告文件"));
}

TEST(QtDialogLayout, WindowsAreCentredOnTheScreen) {
  ShownDialog shown;
  shown.Open();
  const QRect screen = shown.window->Window()->screen()->availableGeometry();
  const QPoint offset = shown.window->Window()->frameGeometry().center() - screen.center();
  EXPECT_LE(offset.manhattanLength(), 2) << "offset " << offset.x() << "," << offset.y();
}

TEST(QtDialogLayout, MissingTemplateGivesNoWindow) {
  RecordingDialog dialog(4242);
  ui::QtModalRunner runner;
  EXPECT_EQ(runner.RunModal(dialog), -1);
  EXPECT_EQ(dialog.Host(), nullptr);
}

}  // namespace
