// The walk on Windows: every path in its long form ("\\?\"), so that
// neither its length nor the tree's depth loses a file; links and
// junctions inside the tree are not followed.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/long_path_win.h"
#include "base/utf_win.h"
#include "bridge/error_reason.h"
#include "bridge/texts.h"
#include "bridge/walk.h"
#include "bridge/walk_system.h"

namespace bridge::walk_system {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

Look Failed(DWORD error) {
  Look look;
  look.kind = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::kMissing
                                                                             : Kind::kError;
  look.error = WindowsErrorReason(error);
  return look;
}

// A link or a junction: a reparse point that names another place. Others
// (a file kept in the cloud, a deduplicated file) are the files they are.
bool NamesAnotherPlace(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag);
}

// What the path names, following a last link or not.
Look LookAt(const std::wstring& path, bool follow) {
  const HANDLE handle = CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Failed(GetLastError());
  Look look;
  BY_HANDLE_FILE_INFORMATION info;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandle(handle, &info)) {
    look = Failed(GetLastError());
  } else {
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
      GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag);
    look.kind = NamesAnotherPlace(info.dwFileAttributes, tag.ReparseTag) ? Kind::kLink
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)     ? Kind::kFolder
                : GetFileType(handle) == FILE_TYPE_DISK                  ? Kind::kFile
                                                                         : Kind::kSpecial;
    look.systemPath = Narrow(path);
    look.identity = {info.dwVolumeSerialNumber,
                     (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow, true};
    if (look.kind == Kind::kFile)
      look.size = (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  }
  CloseHandle(handle);
  return look;
}

// The real path of what a link names.
std::wstring FinalPath(const std::wstring& path, DWORD* error) {
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return {};
  }
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) *error = GetLastError();
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    final.resize(length + 1);
  }
  CloseHandle(handle);
  return final;
}

class WinFolder : public Folder {
 public:
  // Reads the folder's entries; nullptr with the reason.
  static std::unique_ptr<WinFolder> Make(const std::string& systemPath, std::string* error) {
    auto folder = std::make_unique<WinFolder>();
    folder->systemPath_ = systemPath;
    WIN32_FIND_DATAW data;
    const HANDLE find =
        FindFirstFileExW(Widen(JoinPath(systemPath, "*")).c_str(), FindExInfoBasic, &data,
                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND) return folder;  // nothing in it at all
      *error = WindowsErrorReason(code);
      return nullptr;
    }
    DWORD code = ERROR_NO_MORE_FILES;
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..")
        folder->entries_.push_back({Narrow(name), data.dwFileAttributes, data.dwReserved0});
    } while (FindNextFileW(find, &data) || (code = GetLastError()) != ERROR_NO_MORE_FILES);
    FindClose(find);
    if (code != ERROR_NO_MORE_FILES) {
      *error = WindowsErrorReason(code);
      return nullptr;
    }
    return folder;
  }

  bool Next(std::string* name, Look* entry, std::string* error) override {
    error->clear();
    if (next_ >= entries_.size()) return false;
    const Entry& found = entries_[next_++];
    *name = found.name;
    const std::string systemPath = JoinPath(systemPath_, found.name);
    // Folders are looked at too: their identity tells the bridge's own
    // folders wherever they are met.
    if (NamesAnotherPlace(found.attributes, found.tag))
      *entry = Look{Kind::kLink, systemPath, {}, 0, {}};
    else
      *entry = LookAt(Widen(systemPath), false);
    return true;
  }

  std::unique_ptr<Folder> Open(const std::string&, const Look& entry, std::string* error) override {
    return Make(entry.systemPath, error);
  }

 private:
  struct Entry {
    std::string name;
    DWORD attributes;
    DWORD tag;
  };
  std::string systemPath_;
  std::vector<Entry> entries_;
  size_t next_ = 0;
};

}  // namespace

Look LookAtTarget(const std::string& path) {
  const std::wstring longPath = ExtendedLengthPath(Widen(path));
  if (StartsWith(longPath, L"\\\\.\\")) return Look{Kind::kSpecial, Narrow(longPath), {}, 0, {}};
  Look look = LookAt(longPath, false);
  if (look.kind != Kind::kLink) return look;
  // A link given as the target stands for the real file or folder it names.
  DWORD error = 0;
  const std::wstring real = FinalPath(longPath, &error);
  return real.empty() ? Failed(error) : LookAt(real, false);
}

std::unique_ptr<Folder> OpenTarget(const Look& target, std::string* error) {
  return WinFolder::Make(target.systemPath, error);
}

std::string KernelFileSystem(const std::string&) { return {}; }

std::string FullPath(const std::string& path) { return Narrow(ExtendedLengthPath(Widen(path))); }

namespace {

class WinOpenedFile final : public OpenedFile {
 public:
  explicit WinOpenedFile(HANDLE handle) : handle_(handle) {}
  ~WinOpenedFile() override { CloseHandle(handle_); }
  WinOpenedFile(const WinOpenedFile&) = delete;
  WinOpenedFile& operator=(const WinOpenedFile&) = delete;

  // What the file was when opened; false with GetLastError.
  bool ReadInformation() {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return false;
    identity = {info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow, true};
    size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    written_ = info.ftLastWriteTime;
    regular_ = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    left_ = size;
    return true;
  }
  bool Regular() const { return regular_; }

  long Read(char* buffer, size_t bytes) override {
    bytes = static_cast<size_t>(std::min<uint64_t>(bytes, left_));
    if (bytes == 0) return 0;
    DWORD n = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(bytes), &n, nullptr)) {
      readError = WindowsErrorReason(GetLastError());
      return -1;
    }
    left_ -= static_cast<uint64_t>(n);
    return static_cast<long>(n);
  }

  std::string FirstBytes(size_t bytes) override {
    std::string start(bytes, '\0');
    OVERLAPPED at = {};
    DWORD n = 0;
    LARGE_INTEGER position = {}, zero = {};
    if (!SetFilePointerEx(handle_, zero, &position, FILE_CURRENT) ||
        !ReadFile(handle_, start.data(), static_cast<DWORD>(bytes), &n, &at))
      n = 0;
    SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN);
    start.resize(static_cast<size_t>(n));
    return start;
  }

  bool Unchanged() const override {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileInformationByHandle(handle_, &info) &&
           ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) == size &&
           CompareFileTime(&info.ftLastWriteTime, &written_) == 0;
  }

  int Descriptor() const override { return -1; }

 private:
  const HANDLE handle_;
  FILETIME written_ = {};
  bool regular_ = false;
  uint64_t left_ = 0;
};

}  // namespace

std::unique_ptr<OpenedFile> OpenForScan(const FileToScan& file, Verdict* refused) {
  const HANDLE handle = CreateFileW(Widen(file.systemPath).c_str(), GENERIC_READ, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    *refused = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? Verdict::Incomplete(Shortfall::kGone)
                   : Verdict::Incomplete(Shortfall::kUnreadable, WindowsErrorReason(error));
    return nullptr;
  }
  auto opened = std::make_unique<WinOpenedFile>(handle);
  if (!opened->ReadInformation()) {
    *refused = Verdict::Incomplete(Shortfall::kUnreadable, WindowsErrorReason(GetLastError()));
    return nullptr;
  }
  if (!opened->Regular() || (file.identity.known && !(opened->identity == file.identity))) {
    *refused = Verdict::Incomplete(Shortfall::kChanged);
    return nullptr;
  }
  return opened;
}

}  // namespace bridge::walk_system

namespace bridge {

namespace {

std::optional<std::string> Variable(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return Narrow(value);
}

}  // namespace

ScanTempFolder::ScanTempFolder() {
  std::wstring system(MAX_PATH + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(system.size()), system.data());
  if (length == 0 || length >= system.size()) return;
  system.resize(length);
  for (unsigned attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::wstring folder = system + L"quorvel-scan." + std::to_wstring(GetCurrentProcessId()) +
                                L"." + std::to_wstring(GetTickCount() + attempt);
    if (CreateDirectoryW(folder.c_str(), nullptr))
      path_ = Narrow(folder);
    else if (GetLastError() != ERROR_ALREADY_EXISTS)
      return;
  }
  if (path_.empty()) return;
  // clamscan.exe's library reads TEMP before TMP; the system's own calls TMP.
  for (const wchar_t* name : {L"TEMP", L"TMP"}) {
    saved_.emplace_back(Narrow(name), Variable(name));
    SetEnvironmentVariableW(name, Widen(path_).c_str());
  }
}

ScanTempFolder::~ScanTempFolder() {
  for (const auto& [name, value] : saved_)
    SetEnvironmentVariableW(Widen(name).c_str(), value ? Widen(*value).c_str() : nullptr);
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(std::filesystem::path(Widen(path_)), ignored);
}

}  // namespace bridge
