// The desktop operations the dialogs start: opening a document, deleting a
// file and the two pickers. Tests stand in for them so that no viewer or
// modal picker ever opens.
#pragma once

#include <optional>
#include <string>

#include "system_error.h"

class DesktopServices {
 public:
  virtual ~DesktopServices() = default;

  // Opens path with the program the system associates with it. False on
  // failure, with the system's error value (and the opener's words) in *error.
  virtual bool OpenDocument(const std::string& path, void* ownerWindow, SystemError* error) = 0;

  // Deletes one file. False on failure, with the system's error value.
  virtual bool RemoveFile(const std::string& path, SystemErrorCode* error) = 0;

  // The folder browser, opening on initialFolder; nothing on cancel or failure.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title,
                                                     const std::string& initialFolder) = 0;

  // The temporary-files directory with a trailing separator, or empty when
  // the system cannot tell.
  virtual std::string TemporaryDirectory() = 0;

  // The report's save-file picker ("txt", the report filter), starting from
  // initialName; nothing on cancel or failure.
  virtual std::optional<std::string> ChooseReportFile(const std::string& initialName) = 0;
};

// The real operations of this system.
DesktopServices& SystemDesktopServices();
