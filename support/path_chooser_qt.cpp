#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include "support/path_chooser.h"

namespace {

// The Windows picker options that have a counterpart here.
constexpr uint32_t kOverwritePrompt = 0x2;   // OFN_OVERWRITEPROMPT
constexpr uint32_t kFileMustExist = 0x1000;  // OFN_FILEMUSTEXIST

// A QFileDialog needs a QApplication; without one the picker cannot start.
bool CanShowDialogs() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// One entry of the type list in Qt's "description (patterns)" form. Qt shows
// only the description (HideNameFilterDetails), so the user reads the same
// text as on Windows. "*.*" means every file there; here that is "*", since
// a name need not have a dot.
QString NameFilter(const FileTypeFilter& entry) {
  QStringList patterns = QString::fromStdString(entry.pattern).split(u';', Qt::SkipEmptyParts);
  for (QString& pattern : patterns) {
    pattern = pattern.trimmed();
    if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
  }
  QString description = QString::fromStdString(entry.description);
  if (description.isEmpty()) description = patterns.join(u' ') + u' ';
  return description + u'(' + patterns.join(u' ') + u')';
}

// A picker without an owner blocks no other window: exec() would make it
// application-modal, modal to the one window hierarchy (its own) it is not.
// exec() still returns only when the picker is closed.
void StayNonBlocking(QFileDialog& dialog) { dialog.setWindowModality(Qt::WindowModal); }

}  // namespace

struct PathChooser::State {
  bool open = true;
  uint32_t flags = 0;
  QString defaultSuffix;
  QStringList nameFilters;
  std::string path;
  std::string folder;
};

PathChooser::PathChooser() : state_(std::make_unique<State>()) {}

PathChooser::PathChooser(bool open, const std::string& defaultExtension,
                         const std::string& initialFileName, uint32_t extraFlags,
                         const std::vector<FileTypeFilter>& filters, void*)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.open = open;
  s.flags = extraFlags;
  s.defaultSuffix = QString::fromStdString(defaultExtension);
  for (const FileTypeFilter& entry : filters) s.nameFilters.append(NameFilter(entry));
  // No record with a fixed buffer here: the name is taken whole.
  s.path = initialFileName;
}

PathChooser::~PathChooser() = default;

int PathChooser::DoModal() {
  if (!CanShowDialogs()) return kCancelled;
  State& s = *state_;
  // No parent: the main window stays usable while the picker is open.
  QFileDialog dialog(nullptr);
  StayNonBlocking(dialog);
  dialog.setAcceptMode(s.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode((s.flags & kFileMustExist) != 0 ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  // Overwriting is asked about elsewhere (before a scan), not here.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, (s.flags & kOverwritePrompt) == 0);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (!s.nameFilters.isEmpty()) dialog.setNameFilters(s.nameFilters);
  dialog.setDefaultSuffix(s.defaultSuffix);
  if (!s.path.empty()) {
    // Start in the initial name's folder when it exists, with the name filled in.
    const QFileInfo initial(QString::fromStdString(s.path));
    if (initial.absoluteDir().exists()) dialog.setDirectory(initial.absolutePath());
    dialog.selectFile(initial.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return kCancelled;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return kCancelled;
  s.path = chosen.first().toStdString();
  return kChosen;
}

std::string PathChooser::GetPathName() const { return state_->path; }

int PathChooser::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                 uint32_t) {
  if (!CanShowDialogs()) return kCancelled;
  // Every folder here is a file-system folder: the flags have nothing to add.
  QFileDialog dialog(nullptr, QString::fromStdString(title));
  StayNonBlocking(dialog);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  const QFileInfo initial(QString::fromStdString(initialFolder));
  if (!initialFolder.empty() && initial.isDir()) dialog.setDirectory(initial.absoluteFilePath());
  if (dialog.exec() != QDialog::Accepted) return kCancelled;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return kCancelled;
  state_->folder = QDir::toNativeSeparators(chosen.first()).toStdString();
  return kChosen;
}

std::string PathChooser::GetFolderPath() const { return state_->folder; }
