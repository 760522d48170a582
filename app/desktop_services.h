// The desktop operations the dialogs start: opening a document, deleting a
// file, the temporary directory, and the two pickers. Tests stand in for the
// operations so that no viewer opens, and answer the pickers through
// ModalAnswers.
#pragma once

#include <optional>
#include <string>

#include "base/system_error.h"
#include "support/shell_open.h"

class DesktopServices {
 public:
  virtual ~DesktopServices() = default;

  // Opens path with the program the system associates with it, without
  // waiting for that program. False on failure, with the system's error value
  // (and the opener's words) in *error; an opener that fails only after it
  // started reports through lateFailure, on the UI thread.
  virtual bool OpenDocument(const std::string& path, void* ownerWindow, SystemError* error,
                            const LateOpenFailure& lateFailure) = 0;

  // Deletes one file. False on failure, with the system's error value.
  virtual bool RemoveFile(const std::string& path, SystemErrorCode* error) = 0;

  // The temporary-files directory with a trailing separator, or empty when
  // the system cannot tell.
  virtual std::string TemporaryDirectory() = 0;

  // The two pickers, the system's own unless a test answers them through
  // ModalAnswers. The folder browser (file-system folders only) opens on
  // initialFolder; the report's save-file picker ("txt", the report filter)
  // starts from initialName. Nothing on cancel or failure.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title,
                                                     const std::string& initialFolder);
  virtual std::optional<std::string> ChooseReportFile(const std::string& initialName);
};

// The real operations of this system.
DesktopServices& SystemDesktopServices();
