// The Qt pickers as the main window's buttons open them: the dialog is found
// from inside its own modal loop and answered like a user would, so what is
// checked is what the user sees and what comes back.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <functional>
#include <string>
#include <utility>

#include "app/desktop_services.h"
#include "res/texts.h"
#include "support/path_chooser.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::TempDir;

// Acts on the first file dialog that opens, from inside its modal loop. A
// modal window still open two seconds after that (the dialog refused to
// close, or asked a question) is closed and noted, so that a failing test
// cannot hang.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(QFileDialog&)> action) : action_(std::move(action)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start(10);
  }

  bool acted() const { return acted_; }
  // Class names of the modal windows that had to be closed by force.
  const QStringList& strays() const { return strays_; }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!acted_) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog != nullptr && dialog->isVisible()) {
        acted_ = true;
        sinceAction_.start();
        // Queued, not run here: Qt does not fire this timer again while its
        // handler runs, and the action may open a nested modal loop (a
        // question) that the timer has to close.
        QMetaObject::invokeMethod(
            dialog, [this, dialog] { action_(*dialog); }, Qt::QueuedConnection);
      }
      return;
    }
    if (modal != nullptr && sinceAction_.elapsed() > 2000) {
      strays_ << QString::fromLatin1(modal->metaObject()->className());
      if (auto* box = qobject_cast<QDialog*>(modal)) {
        box->reject();
      } else {
        modal->close();
      }
    }
  }

  std::function<void(QFileDialog&)> action_;
  QTimer timer_;
  QElapsedTimer sinceAction_;
  bool acted_ = false;
  QStringList strays_;
};

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

QString AbsolutePath(const std::string& path) { return QFileInfo(Q(path)).absoluteFilePath(); }

// The file-name field and the type list the user sees.
QLineEdit* FileNameField(QFileDialog& dialog) {
  return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QStringList ShownTypes(QFileDialog& dialog) {
  QStringList shown;
  if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
    for (int i = 0; i < types->count(); ++i) shown << types->itemText(i);
  }
  return shown;
}

// Presses Save (Choose): QFileDialog's own accept, which checks the name.
void Accept(QFileDialog& dialog) { static_cast<QDialog&>(dialog).accept(); }

// Types name into the file-name field and presses Save.
void TypeAndAccept(QFileDialog& dialog, const QString& name) {
  QLineEdit* field = FileNameField(dialog);
  ASSERT_NE(field, nullptr);
  field->setText(name);
  Accept(dialog);
}

struct SeenFileDialog {
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  bool hasParent = true;
  bool asksBeforeOverwriting = true;
  QString directory;
  QString fileName;
  QString defaultSuffix;
  QStringList types;
  QString selectedType;
};

SeenFileDialog Look(QFileDialog& dialog) {
  SeenFileDialog seen;
  seen.mode = dialog.acceptMode();
  seen.hasParent = dialog.parentWidget() != nullptr;
  seen.asksBeforeOverwriting = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
  seen.directory = dialog.directory().absolutePath();
  if (QLineEdit* field = FileNameField(dialog)) seen.fileName = field->text();
  seen.defaultSuffix = dialog.defaultSuffix();
  seen.types = ShownTypes(dialog);
  seen.selectedType = dialog.selectedNameFilter();
  return seen;
}

}  // namespace

TEST(ReportPicker, OpensOnTheTypedNameAndAddsTxtToANameWithoutExtension) {
  TempDir dir;
  SeenFileDialog seen;
  DialogDriver driver([&](QFileDialog& dialog) {
    seen = Look(dialog);
    TypeAndAccept(dialog, QStringLiteral("本次 结果"));
  });

  const auto chosen = SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt"));

  ASSERT_TRUE(driver.acted());
  EXPECT_TRUE(driver.strays().isEmpty()) << driver.strays().join(u',').toStdString();
  EXPECT_EQ(seen.mode, QFileDialog::AcceptSave);
  EXPECT_FALSE(seen.hasParent);
  EXPECT_FALSE(seen.asksBeforeOverwriting);
  EXPECT_EQ(seen.directory, AbsolutePath(dir.path()));
  EXPECT_EQ(seen.fileName, QStringLiteral("scan.txt"));
  EXPECT_EQ(seen.defaultSuffix, QStringLiteral("txt"));
  // The same descriptions as the Windows picker, first one selected.
  EXPECT_EQ(seen.types,
            QStringList({QStringLiteral("TXT 文件 (*.txt)"), QStringLiteral("所有文件")}));
  EXPECT_TRUE(seen.selectedType.endsWith(QStringLiteral("(*.txt)")));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir.Join("本次 结果.txt"));
}

TEST(ReportPicker, TheAllFilesEntryShowsEveryFile) {
  // "*.*" of the Windows list becomes "*": a file without a dot is shown too.
  TempDir dir;
  testing_support::WriteTextFile(dir.Join("README"), "x");
  testing_support::WriteTextFile(dir.Join("notes.log"), "x");
  QString acceptedByAll;
  DialogDriver driver([&](QFileDialog& dialog) {
    const QStringList filters = dialog.nameFilters();
    if (filters.size() == 2) {
      const QString all = filters.at(1);
      dialog.selectNameFilter(all);
      const QString patterns = all.mid(all.lastIndexOf(u'(') + 1).chopped(1);
      acceptedByAll =
          QDir(Q(dir.path())).entryList(patterns.split(u' '), QDir::Files, QDir::Name).join(u',');
    }
    dialog.reject();
  });
  EXPECT_FALSE(SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt")).has_value());
  ASSERT_TRUE(driver.acted());
  EXPECT_EQ(acceptedByAll.toStdString(), "README,notes.log");
}

TEST(ReportPicker, AnExistingFileIsTakenWithoutAQuestion) {
  // Whether to overwrite the report is asked when the scan starts; asking
  // here too would ask twice.
  TempDir dir;
  testing_support::WriteTextFile(dir.Join("old.txt"), "earlier report");
  DialogDriver driver(
      [&](QFileDialog& dialog) { TypeAndAccept(dialog, QStringLiteral("old.txt")); });

  const auto chosen = SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt"));

  ASSERT_TRUE(driver.acted());
  EXPECT_TRUE(driver.strays().isEmpty()) << driver.strays().join(u',').toStdString();
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir.Join("old.txt"));
  EXPECT_EQ(testing_support::ReadTextFile(dir.Join("old.txt")), "earlier report");
}

TEST(ReportPicker, CancelGivesNothing) {
  TempDir dir;
  DialogDriver driver([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_FALSE(SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt")).has_value());
  EXPECT_TRUE(driver.acted());
}

TEST(ReportPicker, ALongInitialNameIsTakenWhole) {
  // No fixed record here: a name past the Windows limit is neither cut nor
  // dropped, and comes back unchanged when the user just presses Save.
  TempDir dir;
  const std::string folder = dir.Join(std::string(60, 'd'));
  ASSERT_TRUE(QDir().mkpath(Q(folder)));
  const std::string fileName = std::string(240, 'a') + "文.txt";
  const std::string initial = folder + "/" + fileName;
  ASSERT_GE(initial.size(), 300u);
  QString shownName;
  DialogDriver driver([&](QFileDialog& dialog) {
    if (QLineEdit* field = FileNameField(dialog)) shownName = field->text();
    Accept(dialog);
  });

  const auto chosen = SystemDesktopServices().ChooseReportFile(initial);

  ASSERT_TRUE(driver.acted());
  EXPECT_EQ(shownName, Q(fileName));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, initial);
}

TEST(FolderBrowser, OpensOnTheTypedFolderAndReturnsTheChoice) {
  TempDir dir;
  const std::string typed = dir.Join("扫描 目录");
  ASSERT_TRUE(QDir().mkpath(Q(typed) + QStringLiteral("/内层")));
  QString title, directory;
  bool hasParent = true, foldersOnly = false;
  DialogDriver driver([&](QFileDialog& dialog) {
    title = dialog.windowTitle();
    directory = dialog.directory().absolutePath();
    hasParent = dialog.parentWidget() != nullptr;
    foldersOnly =
        dialog.fileMode() == QFileDialog::Directory && dialog.testOption(QFileDialog::ShowDirsOnly);
    // The user goes one folder further down and presses Choose.
    TypeAndAccept(dialog, QStringLiteral("内层"));
  });

  const auto chosen = SystemDesktopServices().BrowseForFolder(texts::kBrowseTargetTitle, typed);

  ASSERT_TRUE(driver.acted());
  EXPECT_EQ(title, QStringLiteral("选择扫描目录"));
  EXPECT_EQ(directory, AbsolutePath(typed));
  EXPECT_FALSE(hasParent);
  EXPECT_TRUE(foldersOnly);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, typed + "/内层");
}

TEST(FolderBrowser, AnEmptyOrMissingFolderOpensAtTheDefaultPlaceAndCancelGivesNothing) {
  TempDir dir;
  const std::string missing = dir.Join("missing");
  for (const std::string& initial : {std::string(), missing}) {
    SCOPED_TRACE(initial);
    QString directory, title;
    DialogDriver driver([&](QFileDialog& dialog) {
      directory = dialog.directory().absolutePath();
      title = dialog.windowTitle();
      dialog.reject();
    });
    EXPECT_FALSE(
        SystemDesktopServices().BrowseForFolder(texts::kBrowseDirectoryTitle, initial).has_value());
    ASSERT_TRUE(driver.acted());
    EXPECT_TRUE(QFileInfo(directory).isDir()) << directory.toStdString();
    EXPECT_EQ(title, QStringLiteral("选择目录"));
  }
}
