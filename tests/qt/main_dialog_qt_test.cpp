// The program's own main window and about box on the Qt host, shown through
// the Qt modal runner and driven as a user drives them: typed text, mouse
// clicks, Enter and Esc, the real Yes/No box. The fake scanner beside the test
// program stands in for the scanner; the desktop and the error box are the
// tests' stand-ins.
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/main_dialog.h"
#include "base/status_receiver.h"
#include "support/fs_helpers.h"
#include "tests/app/fake_desktop.h"
#include "tests/qt/qt_test_dialog.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testing_support::FileExists;
using testing_support::SetEnv;
using testing_support::WriteTextFile;
using Texts = std::vector<std::string>;

const std::string kDone = "完成. 退出代码=0. 没有发现";
constexpr char kWaitFile[] = "QUORVEL_FAKE_SCAN_WAIT_FILE";

// A control of window (not of a box opened over it) by its id.
QWidget* FindControl(QWidget* window, int id) {
  for (QWidget* widget : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (widget->property(ui::kControlIdProperty).toInt() == id) return widget;
  return nullptr;
}

std::string LabelText(QWidget* window, int id) {
  return qobject_cast<QLabel*>(FindControl(window, id))->text().toStdString();
}

// What the tests see of the main window from outside.
struct Observations {
  QWidget* window = nullptr;  // the main window while it is open
  Texts status;               // each new text of the status line, as its label shows it
  int reports = 0;            // scan reports that reached the dialog
};

// The real MainDialog; it only notes each scan report and the status line
// the label shows once the report is handled.
class ObservedMainDialog : public MainDialog {
 public:
  ObservedMainDialog(DesktopServices& desktop, Observations& seen)
      : MainDialog(desktop), seen_(seen) {}

  std::weak_ptr<StatusReceiver> Channel() { return StatusChannel(); }

 protected:
  bool DispatchCommand(ui::Event event, int id, const std::string& text) override {
    const bool handled = MainDialog::DispatchCommand(event, id, text);
    if (event == ui::Event::Message) {
      ++seen_.reports;
      if (seen_.window) {
        const std::string shown = LabelText(seen_.window, IDC_STATUS);
        if (seen_.status.empty() || seen_.status.back() != shown) seen_.status.push_back(shown);
      }
    }
    return handled;
  }

 private:
  Observations& seen_;
};

class QtMainDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::ResetFakeScannerEnvironment();
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", record);
    desktop.temporaryDirectory = temp.path() + kPathSeparator;
    previous_ = ui::SetModalRunner(&runner_);
  }
  void TearDown() override {
    ui::SetModalRunner(previous_);
    testing_support::ResetFakeScannerEnvironment();
  }

  // Shows the main window modally and runs script in it once it is up; Esc
  // closes it afterwards unless the script ended it.
  int RunMain(const std::function<void()>& script) {
    QObject context;
    QTimer::singleShot(0, &context, [&] {
      ui::QtDialogWindow* window = ui::QtDialogWindow::Active();
      if (!window || !QTest::qWaitForWindowActive(window->Window())) {
        ADD_FAILURE() << "the main window is not up";
        if (window) window->Window()->hide();  // ends its loop
        return;
      }
      seen.window = window->Window();
      script();
      if (!window->IsEnded()) QTest::keyClick(window->Window(), Qt::Key_Escape);
    });
    const int result = dialog->DoModal();
    seen.window = nullptr;
    return result;
  }

  // Answers the next message box once it is up, keeping its text and caption.
  void WhenMessageBox(std::function<void(QMessageBox*)> answer) {
    QTimer::singleShot(0, &timers_, [this, answer = std::move(answer)] {
      QMessageBox* box = OpenMessageBox();
      if (!box || !QTest::qWaitForWindowActive(box)) {
        ADD_FAILURE() << "no message box";
        if (box) box->hide();
        return;
      }
      boxText = box->text().toStdString();
      boxCaption = box->windowTitle().toStdString();
      answer(box);
    });
  }
  static void ClickYes(QMessageBox* box) {
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  }

  QWidget* Control(int id) const { return FindControl(seen.window, id); }
  std::string Status() const { return LabelText(seen.window, IDC_STATUS); }
  std::string Text(int id) const {
    return qobject_cast<QLineEdit*>(Control(id))->text().toStdString();
  }
  bool Checked(int id) const { return qobject_cast<QAbstractButton*>(Control(id))->isChecked(); }
  bool Enabled(int id) const { return Control(id)->isEnabled(); }
  void Click(int id) const { QTest::mouseClick(Control(id), Qt::LeftButton); }
  // Replaces an edit's text as a user does: select all, type.
  void Type(int id, const std::string& text) const {
    QWidget* edit = Control(id);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QString::fromStdString(text));
  }
  // A key pressed as the user presses it: it goes to whatever has the focus.
  void PressKey(Qt::Key key) const { QTest::keyClick(seen.window->windowHandle(), key); }
  bool WaitForStatus(const std::string& text) const {
    return RunEventsUntil([&] { return Status() == text; });
  }
  bool WaitForScanEnd() const {
    return RunEventsUntil([&] { return dialog->Runner().IsIdle(); });
  }

  testing_support::TempDir temp;
  const std::string record = temp.Join("record.txt");
  FakeDesktop desktop;
  // The Yes/No box shows for real; the error box and the pickers are answered here.
  ModalAnswers answers{ModalKind::ErrorBox, ModalKind::FolderPicker, ModalKind::FilePicker};
  std::vector<ModalBox> ErrorBoxes() const { return answers.Opened(ModalKind::ErrorBox); }
  Observations seen;
  std::unique_ptr<ObservedMainDialog> dialog = std::make_unique<ObservedMainDialog>(desktop, seen);
  std::string boxText, boxCaption;
  QObject timers_;  // the context of the test's timers: none outlives the test

 private:
  ui::QtModalRunner runner_;
  ui::ModalRunner* previous_ = nullptr;
};

TEST_F(QtMainDialog, AScanRunsFromTheWindowWithItsProgressInTheStatusLine) {
  const std::string release = temp.Join("release");
  SetEnv(kWaitFile, release);
  const std::string target = temp.Join("target dir");
  RunMain([&] {
    Type(IDC_TARGET, target);
    Click(IDC_SCAN);
    ASSERT_TRUE(WaitForStatus("运行中"));
    // Only Scan is greyed while the scanner runs.
    EXPECT_FALSE(Enabled(IDC_SCAN));
    for (int id : {IDC_TARGET, IDC_REPORT, IDC_EXTRA_ARGS, IDCANCEL})
      EXPECT_TRUE(Enabled(id)) << id;
    WriteTextFile(release, "");
    ASSERT_TRUE(WaitForStatus(kDone));
    EXPECT_TRUE(Enabled(IDC_SCAN));
    ASSERT_TRUE(WaitForScanEnd());

    const testing_support::FakeScannerRun run = testing_support::ReadFakeScannerRecord(record);
    EXPECT_EQ(run.program, GetModuleRelativePath("scan.exe"));
    EXPECT_EQ(run.arguments,
              (Texts{target, "/sub", "/rptcor", "/rpterr", "/report", temp.Join("scan.txt")}));
    // The two markers never show.
    EXPECT_EQ(seen.status, (Texts{"执行中", "运行中", kDone}));

    // Enter, wherever the focus went while Scan was greyed, runs Scan again;
    // so does Enter in an edit. Each of these scans first asks whether to
    // overwrite the report of the one before.
    for (int enterAt : {0, IDC_TARGET}) {
      SCOPED_TRACE(enterAt);
      if (enterAt) Click(enterAt);
      boxCaption.clear();
      WhenMessageBox(ClickYes);
      PressKey(Qt::Key_Return);
      ASSERT_FALSE(ui::QtDialogWindow::Active()->IsEnded());
      ASSERT_TRUE(WaitForScanEnd());
      EXPECT_EQ(boxCaption, "覆盖报告文件?");
    }
    EXPECT_EQ(seen.status.size(), 9u);
  });
  EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(QtMainDialog, AfterAScanTheReportIsOpenedAsTheControlsStandThen) {
  const std::string report = temp.Join("scan.txt");
  const std::string missing = temp.Join("no folder") + kPathSeparator + "scan.txt";
  const std::string other = temp.Join("other.txt");
  WriteTextFile(other, "other report");
  std::string statusAtBox;
  bool scanEnabledAtBox = false;
  answers.WhileOpen(ModalKind::ErrorBox, [&] {
    statusAtBox = Status();
    scanEnabledAtBox = Enabled(IDC_SCAN);
  });
  RunMain([&] {
    // The report the scanner wrote is opened once.
    Click(IDC_SCAN);
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(desktop.opened, Texts{report});
    EXPECT_TRUE(ErrorBoxes().empty());
    EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
    EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));

    // A report the scanner could not write: the error box follows the done text.
    Type(IDC_REPORT_FILE, missing);
    Click(IDC_SCAN);
    ASSERT_TRUE(WaitForScanEnd());
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0].text.rfind("ShellExecute 文件=\"" + missing + "\" 失败", 0), 0u);
    EXPECT_EQ(statusAtBox, kDone);
    EXPECT_TRUE(scanEnabledAtBox);
    EXPECT_FALSE(Enabled(IDC_VIEW_REPORT));

    // A path typed while the scanner runs is the one opened at its end.
    const std::string release = temp.Join("release");
    SetEnv(kWaitFile, release);
    Click(IDC_SCAN);
    ASSERT_TRUE(WaitForStatus("运行中"));
    Type(IDC_REPORT_FILE, other);
    WriteTextFile(release, "");
    ASSERT_TRUE(WaitForScanEnd());
    EXPECT_EQ(desktop.opened, (Texts{report, missing, other}));
    EXPECT_EQ(ErrorBoxes().size(), 1u);
  });
}

TEST_F(QtMainDialog, ReportGroupFollowsItsCheckBoxAndDeleteAsksFirst) {
  const std::string report = temp.Join("scan.txt");
  WriteTextFile(report, "old report");
  RunMain([&] {
    const int group[] = {IDC_REPORT_FILE,     IDC_BROWSE_REPORT, IDC_APPEND,
                         IDC_RPT_ALL,         IDC_RPT_CORRUPT,   IDC_RPT_ERRORS,
                         IDC_VIEW_AFTER_SCAN, IDC_VIEW_REPORT,   IDC_DELETE_REPORT};
    for (int id : group) ASSERT_TRUE(Enabled(id)) << id;
    Click(IDC_APPEND);
    Click(IDC_REPORT);
    for (int id : group) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Enabled(IDC_REPORT));
    Click(IDC_APPEND);  // greyed: the click does nothing
    for (int id : {IDC_APPEND, IDC_RPT_CORRUPT, IDC_RPT_ERRORS, IDC_VIEW_AFTER_SCAN})
      EXPECT_TRUE(Checked(id)) << id;
    EXPECT_EQ(Text(IDC_REPORT_FILE), report);
    Click(IDC_REPORT);
    for (int id : group) EXPECT_TRUE(Enabled(id)) << id;

    // Enter answers the Yes/No box with its default, No: nothing happens.
    WhenMessageBox([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    Click(IDC_DELETE_REPORT);
    EXPECT_EQ(boxText, "删除报告文件\n\"" + report + "\"?");
    EXPECT_EQ(boxCaption, "删除报告文件?");
    EXPECT_TRUE(FileExists(report));
    EXPECT_TRUE(desktop.removed.empty());
    EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
    EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));

    WhenMessageBox(ClickYes);
    Click(IDC_DELETE_REPORT);
    EXPECT_FALSE(FileExists(report));
    EXPECT_EQ(desktop.removed, Texts{report});
    EXPECT_FALSE(Enabled(IDC_VIEW_REPORT));
    EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
  });
  EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(QtMainDialog, BrowseButtonsFillTheirFieldsFromThePickers) {
  const std::string folder = temp.Join("chosen");
  const std::string file = temp.Join("chosen.txt");
  WriteTextFile(file, "x");
  RunMain([&] {
    answers.ChooseFolder(folder);
    Click(IDC_BROWSE_TARGET);
    ASSERT_EQ(answers.Opened(ModalKind::FolderPicker).size(), 1u);
    EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[0].caption, "选择扫描目录");
    EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[0].text, "");
    EXPECT_EQ(Text(IDC_TARGET), folder);
    EXPECT_TRUE(Checked(IDC_SUBDIRS));
    EXPECT_FALSE(Checked(IDC_ALL_LOCAL_DRIVES));

    // Cancelled: the picker opened on the typed folder, and nothing changes,
    // not even the check mark the user took off since.
    Click(IDC_SUBDIRS);
    answers.ChooseFolder(std::nullopt);
    Click(IDC_BROWSE_TARGET);
    EXPECT_EQ(answers.Opened(ModalKind::FolderPicker).back().text, folder);
    EXPECT_EQ(Text(IDC_TARGET), folder);
    EXPECT_FALSE(Checked(IDC_SUBDIRS));

    const std::string defaultReport = temp.Join("scan.txt");
    EXPECT_FALSE(Enabled(IDC_VIEW_REPORT));
    Click(IDC_BROWSE_REPORT);
    EXPECT_EQ(Text(IDC_REPORT_FILE), defaultReport);
    answers.ChooseFile(file);
    Click(IDC_BROWSE_REPORT);
    EXPECT_EQ(TextsOf(answers.Opened(ModalKind::FilePicker)),
              (Texts{defaultReport, defaultReport}));
    EXPECT_EQ(Text(IDC_REPORT_FILE), file);
    EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
    EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
  });
}

TEST_F(QtMainDialog, AboutBoxIsModalOverTheWindowAndOpensTheReadme) {
  const std::string readme = GetModuleRelativePath("quorvel.txt");
  ASSERT_FALSE(FileExists(readme)) << "opening the readme is to fail here";
  bool shown = false, ownedByWindow = false, modal = false, openAfterFailure = false;
  QString title, text;
  int focused = 0;
  RunMain([&] {
    QTimer::singleShot(0, &timers_, [&] {
      QWidget* about = nullptr;
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(widget) && widget != seen.window && widget->isVisible())
          about = widget;
      // The box is active once the main window has handed over the focus.
      if (!about || !RunEventsUntil([&] { return QApplication::activeWindow() == about; })) {
        ADD_FAILURE() << "no active about box";
        if (about) about->hide();
        return;
      }
      shown = true;
      title = about->windowTitle();
      ownedByWindow = about->parentWidget() == seen.window;
      modal = QApplication::activeModalWidget() == about;
      text = qobject_cast<QLabel*>(FindControl(about, IDC_ABOUT_TEXT))->text();
      if (QWidget* focus = QApplication::focusWidget())
        focused = focus->window() == about ? focus->property(ui::kControlIdProperty).toInt() : -1;
      QTest::mouseClick(FindControl(about, IDC_README), Qt::LeftButton);
      openAfterFailure = about->isVisible();
      QTest::mouseClick(FindControl(about, IDOK), Qt::LeftButton);
    });
    Click(IDC_ABOUT);
    // Back in the main window once OK closed the box.
    EXPECT_EQ(QApplication::activeModalWidget(), seen.window);
    EXPECT_FALSE(ui::QtDialogWindow::Active()->IsEnded());
  });
  ASSERT_TRUE(shown);
  EXPECT_EQ(title, QStringLiteral("关于"));
  EXPECT_TRUE(modal);
  EXPECT_TRUE(ownedByWindow);
  EXPECT_EQ(text, QString::fromStdString(AboutText()).replace(QStringLiteral("\r\n"), "\n"));
  EXPECT_EQ(focused, IDOK);
  EXPECT_EQ(desktop.opened, Texts{readme});
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  EXPECT_EQ(ErrorBoxes()[0].text.rfind("ShellExecute 文件=\"" + readme + "\" 失败", 0), 0u);
  EXPECT_TRUE(openAfterFailure);
}

TEST_F(QtMainDialog, ClosingDuringAScanEndsTheWindowAtOnceAndLeavesTheScannerRunning) {
  const std::function<void(QWidget*)> closeWindow[] = {
      [](QWidget* window) { QTest::keyClick(window, Qt::Key_Escape); },
      [](QWidget* window) { window->close(); },  // the close box
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "Esc" : "close box");
    std::filesystem::remove(testing_support::FsPath(temp.Join("scan.txt")));
    const std::string release = temp.Join("release" + std::to_string(round));
    SetEnv(kWaitFile, release);
    std::weak_ptr<StatusReceiver> channel;
    std::chrono::steady_clock::time_point closedAt;
    const int result = RunMain([&] {
      Click(IDC_SCAN);
      ASSERT_TRUE(WaitForStatus("运行中"));
      channel = dialog->Channel();
      closedAt = std::chrono::steady_clock::now();
      closeWindow[round](seen.window);
    });
    EXPECT_LT(std::chrono::steady_clock::now() - closedAt, 2s);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(dialog->Runner().IsIdle()) << "the scanner is still running";

    // The program ends with the window: the dialog and its runner go away
    // while the scanner still runs. Then the scanner ends and the worker
    // lets go of the channel without one more report reaching the dialog.
    const int reportsAtClose = seen.reports;
    dialog.reset();
    WriteTextFile(release, "");
    EXPECT_TRUE(RunEventsUntil([&] { return channel.expired(); }));
    RunEventsUntil([] { return false; }, 200ms);
    EXPECT_EQ(seen.reports, reportsAtClose);
    dialog = std::make_unique<ObservedMainDialog>(desktop, seen);
  }
  EXPECT_TRUE(ErrorBoxes().empty());
}

}  // namespace
