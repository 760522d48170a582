// The system's two path pickers: the file picker (save or open form) and the
// folder browser. Both open without an owner window, so the main window stays
// usable while one is open; the file picker centres itself on the desktop.
// Paths are UTF-8.
//
// Windows: GetSaveFileNameW / GetOpenFileNameW with a hook, and
// SHBrowseForFolderW. Elsewhere: Qt's QFileDialog with the same titles,
// starting folder, default suffix and filters (needs a QApplication; without
// one a picker cannot start and counts as cancelled).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One entry of the file picker's type list: the text shown and the pattern
// it stands for ("*.txt"; "*.*" means every file).
struct FileTypeFilter {
  std::string description;
  std::string pattern;
};

class PathChooser {
 public:
  // Results of DoModal and BrowseForFolder.
  static constexpr int kChosen = 1;
  static constexpr int kCancelled = 2;

  // Folder-browser flags: file-system folders only, and only the file-system
  // ancestors of those.
  static constexpr uint32_t kBrowseFileSystemFolders = 0x1;
  static constexpr uint32_t kBrowseFileSystemAncestors = 0x8;

  // The longest initial file name handed to the Windows file picker, in
  // bytes, counting the terminating zero.
  static constexpr size_t kInitialNameLimit = 260;

  // For folder browsing (and an open-file picker with nothing preset).
  PathChooser();
  // The file picker. open: open form, else save form. defaultExtension is
  // appended to a name typed without one ("txt", no dot). extraFlags: further
  // OFN_* options of the Windows picker (elsewhere only the overwrite prompt
  // and file-must-exist have a counterpart). parentWindow is kept in the
  // Windows record, but DoModal always opens without an owner.
  PathChooser(bool open, const std::string& defaultExtension, const std::string& initialFileName,
              uint32_t extraFlags, const std::vector<FileTypeFilter>& filters, void* parentWindow);
  virtual ~PathChooser();

  PathChooser(const PathChooser&) = delete;
  PathChooser& operator=(const PathChooser&) = delete;

  // Runs the file picker: kChosen when the user chose a file, kCancelled on
  // cancel or when the picker could not start.
  virtual int DoModal();
  // The chosen file's full path (the initial name before DoModal).
  std::string GetPathName() const;

  // Runs the folder browser with title as the line above the folder tree,
  // opening on initialFolder when that is a folder (else at the system's
  // default place). kChosen when a file-system folder was chosen, otherwise
  // kCancelled.
  int BrowseForFolder(const std::string& title, const std::string& initialFolder, uint32_t flags);
  // The folder BrowseForFolder chose.
  std::string GetFolderPath() const;

  // The initial file name as the Windows picker receives it: unchanged when
  // it is shorter than kInitialNameLimit bytes, else empty. A long name is
  // never cut short: a shortened path names some other file or folder, which
  // a quick "Save" would then pick without the user noticing. (Qt's picker
  // has no such limit and takes the name whole.)
  static std::string PrepareInitialFileName(const std::string& name);

 private:
  // The platform's picker record and buffers.
  struct State;
  std::unique_ptr<State> state_;
};
