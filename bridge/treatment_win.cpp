// /move and /del on Windows: long-form paths, the file opened without
// following a link to compare it with the one scanned.
#include <windows.h>

#include "base/long_path_win.h"
#include "base/utf_win.h"
#include "bridge/error_reason.h"
#include "bridge/texts.h"
#include "bridge/treatment_system.h"
#include "bridge/walk_system.h"

namespace bridge::treatment_system {

namespace {

Outcome Fail(DWORD code, std::string* error, const char* prefix = "") {
  *error = prefix + WindowsErrorReason(code);
  return Outcome::kFailed;
}

bool IsGone(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

// Opens the path itself, not a file it may link to, and tells whether it is
// the expected file; *handle stays open then.
Outcome OpenSame(const std::wstring& path, DWORD access, const FileIdentity& expected,
                 HANDLE* handle, std::string* error) {
  *handle = CreateFileW(
      path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (*handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    return IsGone(code) ? Outcome::kNotSame : Fail(code, error);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(*handle, &info)) {
    const DWORD code = GetLastError();
    CloseHandle(*handle);
    return Fail(code, error);
  }
  const FileIdentity current{info.dwVolumeSerialNumber,
                             (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, true};
  if (current == expected &&
      !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
    return Outcome::kDone;
  CloseHandle(*handle);
  return Outcome::kNotSame;
}

// Whether the path still names the expected file after it should be gone.
bool StillThere(const std::wstring& path, const FileIdentity& expected) {
  HANDLE handle;
  std::string ignored;
  if (OpenSame(path, FILE_READ_ATTRIBUTES, expected, &handle, &ignored) != Outcome::kDone)
    return false;
  CloseHandle(handle);
  return true;
}

}  // namespace

using walk_system::JoinPath;

Outcome MoveNoReplace(const std::string& systemPath, const FileIdentity& expected,
                      const std::string& folder, const std::string& name, std::string* error) {
  const std::wstring from = ExtendedLengthPath(Widen(systemPath));
  HANDLE handle;
  const Outcome same = OpenSame(from, FILE_READ_ATTRIBUTES, expected, &handle, error);
  if (same != Outcome::kDone) return same;
  CloseHandle(handle);
  const std::wstring quarantine = ExtendedLengthPath(Widen(folder));
  const DWORD attributes = GetFileAttributesW(quarantine.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return Fail(GetLastError(), error, texts::kTreatNoQuarantine);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Fail(ERROR_DIRECTORY, error, texts::kTreatNoQuarantine);

  // Without MOVEFILE_REPLACE_EXISTING a name in use is never replaced.
  const std::wstring to = ExtendedLengthPath(Widen(JoinPath(folder, name)));
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return Outcome::kNameTaken;
    return Fail(code, error);
  }
  // Onto another drive the move is a copy, and the original may have stayed.
  if (StillThere(from, expected)) {
    DeleteFileW(to.c_str());
    *error = texts::kTreatStillThere;
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

Outcome Remove(const std::string& systemPath, const FileIdentity& expected, std::string* error) {
  const std::wstring path = ExtendedLengthPath(Widen(systemPath));
  HANDLE handle;
  const Outcome same = OpenSame(path, DELETE | FILE_READ_ATTRIBUTES, expected, &handle, error);
  if (same != Outcome::kDone) return same;
  // Removes the very file just compared, whatever has its name meanwhile.
  FILE_DISPOSITION_INFO disposition = {TRUE};
  const bool marked =
      SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
  const DWORD code = GetLastError();
  CloseHandle(handle);
  if (!marked) return Fail(code, error);
  if (StillThere(path, expected)) {
    *error = texts::kTreatStillThere;
    return Outcome::kFailed;
  }
  return Outcome::kDone;
}

}  // namespace bridge::treatment_system
