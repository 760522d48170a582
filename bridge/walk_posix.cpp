// The walk on Linux: each folder opened relative to the one above it, never
// following a link, so neither a path's length nor a tree's depth matters.
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "bridge/error_reason.h"
#include "bridge/texts.h"
#include "bridge/walk.h"
#include "bridge/walk_system.h"

namespace bridge::walk_system {

namespace {

// Folders at most this deep keep their descriptor while a folder below them
// is walked; deeper ones close it and come back through "..".
constexpr int kOpenDepth = 64;

FileIdentity IdentityOf(const struct stat& status) {
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), true};
}

Look LookOf(const struct stat& status, std::string systemPath) {
  Look look;
  look.kind = S_ISREG(status.st_mode)   ? Kind::kFile
              : S_ISDIR(status.st_mode) ? Kind::kFolder
              : S_ISLNK(status.st_mode) ? Kind::kLink
                                        : Kind::kSpecial;
  look.systemPath = std::move(systemPath);
  look.identity = IdentityOf(status);
  look.size = S_ISREG(status.st_mode) ? static_cast<uint64_t>(status.st_size) : 0;
  return look;
}

Look Failed(int error) {
  Look look;
  look.kind = error == ENOENT ? Kind::kMissing : Kind::kError;
  look.error = ErrnoReason(error);
  return look;
}

// The path's own status, not following a last link, at any length.
int LookWithoutFollowing(const std::string& path, struct stat* status) {
  if (path.size() < PATH_MAX) return lstat(path.c_str(), status);
  std::string name;
  const int parent = OpenParent(path, &name);
  if (parent < 0) return -1;
  const int result = fstatat(parent, name.c_str(), status, AT_SYMLINK_NOFOLLOW);
  const int saved = errno;
  close(parent);
  errno = saved;
  return result;
}

// Every name of the folder but "." and "..".
bool ReadNames(int fd, std::vector<std::string>* names, int* error) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  DIR* dir = copy < 0 ? nullptr : fdopendir(copy);
  if (!dir) {
    *error = errno;
    if (copy >= 0) close(copy);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (!entry) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  *error = errno;
  closedir(dir);
  return *error == 0;
}

class PosixFolder : public Folder {
 public:
  PosixFolder(int fd, const struct stat& status, std::string systemPath, PosixFolder* above,
              int depth)
      : fd_(fd),
        identity_(IdentityOf(status)),
        systemPath_(std::move(systemPath)),
        above_(above),
        depth_(depth) {}

  ~PosixFolder() override {
    // Back to the folder above when it gave its descriptor up.
    if (above_ && above_->fd_ < 0 && above_->lost_.empty()) {
      const int up = fd_ < 0 ? -1 : openat(fd_, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
      struct stat status;
      if (up >= 0 && fstat(up, &status) == 0 && IdentityOf(status) == above_->identity_) {
        above_->fd_ = up;
      } else {
        above_->lost_ = up < 0 && fd_ >= 0 ? ErrnoReason(errno) : texts::kFolderMoved;
        if (up >= 0) close(up);
      }
    }
    if (fd_ >= 0) close(fd_);
  }

  // Opens the folder and reads its names; nullptr with the reason.
  static std::unique_ptr<PosixFolder> Make(int fd, const FileIdentity& expected,
                                           std::string systemPath, PosixFolder* above,
                                           std::string* error) {
    if (fd < 0) {
      *error = ErrnoReason(errno);
      return nullptr;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !(IdentityOf(status) == expected)) {
      close(fd);
      *error = texts::kFolderMoved;
      return nullptr;
    }
    auto folder = std::make_unique<PosixFolder>(fd, status, std::move(systemPath), above,
                                                above ? above->depth_ + 1 : 0);
    int readError = 0;
    if (!ReadNames(fd, &folder->names_, &readError)) {
      *error = ErrnoReason(readError);
      return nullptr;
    }
    return folder;
  }

  bool Next(std::string* name, Look* entry, std::string* error) override {
    error->clear();
    if (!lost_.empty() || fd_ < 0) {
      *error = lost_.empty() ? texts::kFolderMoved : lost_;
      return false;
    }
    if (next_ >= names_.size()) return false;
    *name = names_[next_++];
    struct stat status;
    if (fstatat(fd_, name->c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
      *entry = Failed(errno);
    else
      *entry = LookOf(status, JoinPath(systemPath_, *name));
    return true;
  }

  std::unique_ptr<Folder> Open(const std::string& name, const Look& entry,
                               std::string* error) override {
    const int fd = openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    std::unique_ptr<PosixFolder> below = Make(fd, entry.identity, entry.systemPath, this, error);
    if (below && below->depth_ > kOpenDepth) {
      close(fd_);
      fd_ = -1;
    }
    return below;
  }

 private:
  int fd_;
  FileIdentity identity_;
  std::string systemPath_;
  PosixFolder* above_;
  int depth_;
  std::vector<std::string> names_;
  size_t next_ = 0;
  std::string lost_;  // why the walk could not come back here
};

// The kernel's file systems whose files are made up as they are read, by
// their types as statfs gives them. devtmpfs says it is a tmpfs: the mount
// table tells them apart.
constexpr struct {
  unsigned long type;
  const char* name;
} kKernelFileSystems[] = {
    {0x9fa0, "proc"},           {0x62656572, "sysfs"},
    {0x27e0eb, "cgroup"},       {0x63677270, "cgroup2"},
    {0x64626720, "debugfs"},    {0x74726163, "tracefs"},
    {0x73636673, "securityfs"}, {0x62656570, "configfs"},
    {0x65735543, "fusectl"},    {0xcafe4a11, "bpf"},
    {0x6165676c, "pstore"},     {0xde5e81e4, "efivarfs"},
    {0x1cd1, "devpts"},         {0x19800202, "mqueue"},
    {0x958458f6, "hugetlbfs"},  {0x42494e4d, "binfmt_misc"},
    {0x0187, "autofs"},         {0x67596969, "rpc_pipefs"},
    {0x6e736673, "nsfs"},       {0xf97cff8c, "selinuxfs"},
};

constexpr unsigned long kTmpfs = 0x01021994;

// The type /proc/self/mountinfo gives the mount of the device.
std::string MountType(dev_t device) {
  std::ifstream table("/proc/self/mountinfo");
  const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers, word, type;
    if (!(fields >> id >> parent >> numbers) || numbers != wanted) continue;
    while (fields >> word && word != "-") {
    }
    if (fields >> type) return type;
  }
  return {};
}

}  // namespace

std::string KernelFileSystem(const std::string& systemPath) {
  struct statfs system;
  struct stat status;
  bool known = false;
  if (systemPath.size() < PATH_MAX) {
    known = statfs(systemPath.c_str(), &system) == 0 && stat(systemPath.c_str(), &status) == 0;
  } else {
    std::string name;
    const int parent = OpenParent(systemPath, &name);
    const int fd = parent < 0 ? -1 : openat(parent, name.c_str(), O_PATH | O_CLOEXEC);
    known = fd >= 0 && fstatfs(fd, &system) == 0 && fstat(fd, &status) == 0;
    if (fd >= 0) close(fd);
    if (parent >= 0) close(parent);
  }
  if (!known) return {};
  if (static_cast<unsigned long>(system.f_type) == kTmpfs)
    return MountType(status.st_dev) == "devtmpfs" ? "devtmpfs" : "";
  for (const auto& kernel : kKernelFileSystems)
    if (static_cast<unsigned long>(system.f_type) == kernel.type) return kernel.name;
  return {};
}

std::string FullPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return {};
  std::string full = real;
  free(real);
  return full;
}

int OpenFolderPath(const std::string& path, int flags) {
  if (path.size() < PATH_MAX) return open(path.c_str(), flags);
  // Pieces cut at separators, each resolved from the folder before it as
  // the whole path would be.
  int fd = AT_FDCWD;
  size_t start = 0;
  for (;;) {
    const bool last = path.size() - start < PATH_MAX;
    size_t end = last ? path.size() : path.rfind('/', start + PATH_MAX - 1);
    if (!last && (end == std::string::npos || end <= start)) {
      if (fd >= 0) close(fd);
      errno = ENAMETOOLONG;
      return -1;
    }
    std::string piece = path.substr(start, end - start);
    if (piece.empty()) piece = start == 0 ? "/" : ".";
    const int next = openat(fd, piece.c_str(), last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int saved = errno;
    if (fd >= 0) close(fd);
    errno = saved;
    if (next < 0 || last) return next;
    fd = next;
    start = path.find_first_not_of('/', end);
    if (start == std::string::npos) start = path.size();
  }
}

int OpenParent(const std::string& path, std::string* name) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  const std::string parent = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : trimmed.substr(0, slash);
  *name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  if (name->empty()) *name = ".";
  return OpenFolderPath(parent, O_PATH | O_DIRECTORY | O_CLOEXEC);
}

int OpenFileToScan(const std::string& systemPath) {
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  if (systemPath.size() < PATH_MAX) return open(systemPath.c_str(), kFlags);
  std::string name;
  const int parent = OpenParent(systemPath, &name);
  if (parent < 0) return -1;
  const int fd = openat(parent, name.c_str(), kFlags);
  const int saved = errno;
  close(parent);
  errno = saved;
  return fd;
}

namespace {

class PosixOpenedFile final : public OpenedFile {
 public:
  explicit PosixOpenedFile(int fd) : fd_(fd) {}
  ~PosixOpenedFile() override { close(fd_); }
  PosixOpenedFile(const PosixOpenedFile&) = delete;
  PosixOpenedFile& operator=(const PosixOpenedFile&) = delete;

  // What the file was when opened; false with errno.
  bool ReadStatus() {
    if (fstat(fd_, &status_) != 0) return false;
    identity = {static_cast<uint64_t>(status_.st_dev), static_cast<uint64_t>(status_.st_ino), true};
    size = static_cast<uint64_t>(status_.st_size);
    left_ = size;
    return true;
  }
  bool Regular() const { return S_ISREG(status_.st_mode); }

  long Read(char* buffer, size_t bytes) override {
    bytes = static_cast<size_t>(std::min<uint64_t>(bytes, left_));
    if (bytes == 0) return 0;
    ssize_t n;
    do n = read(fd_, buffer, bytes);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
      readError = ErrnoReason(errno);
      return -1;
    }
    left_ -= static_cast<uint64_t>(n);
    return static_cast<long>(n);
  }

  std::string FirstBytes(size_t bytes) override {
    std::string start(bytes, '\0');
    ssize_t n;
    do n = pread(fd_, start.data(), bytes, 0);
    while (n < 0 && errno == EINTR);
    if (n < 0) n = 0;
    start.resize(static_cast<size_t>(n));
    return start;
  }

  bool Unchanged() const override {
    struct stat now = {};
    return fstat(fd_, &now) == 0 && now.st_size == status_.st_size &&
           now.st_mtim.tv_sec == status_.st_mtim.tv_sec &&
           now.st_mtim.tv_nsec == status_.st_mtim.tv_nsec;
  }

  int Descriptor() const override { return fd_; }

 private:
  const int fd_;
  struct stat status_ = {};
  uint64_t left_ = 0;
};

}  // namespace

std::unique_ptr<OpenedFile> OpenForScan(const FileToScan& file, Verdict* refused) {
  // A link found at the path now was put in the file's place since the walk
  // (which resolved a link given as the target); O_NONBLOCK keeps a named
  // pipe put there from holding the open.
  const int fd = OpenFileToScan(file.systemPath);
  if (fd < 0) {
    const int error = errno;
    *refused = error == ENOENT  ? Verdict::Incomplete(Shortfall::kGone)
               : error == ELOOP ? Verdict::Incomplete(Shortfall::kChanged)
                                : Verdict::Incomplete(Shortfall::kUnreadable, ErrnoReason(error));
    return nullptr;
  }
  auto opened = std::make_unique<PosixOpenedFile>(fd);
  if (!opened->ReadStatus()) {
    *refused = Verdict::Incomplete(Shortfall::kUnreadable, ErrnoReason(errno));
  } else if (opened->Regular() && (!file.identity.known || opened->identity == file.identity)) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return opened;
  } else {
    *refused = Verdict::Incomplete(Shortfall::kChanged);
  }
  return nullptr;
}

Look LookAtTarget(const std::string& path) {
  struct stat status;
  if (LookWithoutFollowing(path, &status) != 0) return Failed(errno);
  if (!S_ISLNK(status.st_mode)) return LookOf(status, path);
  // A link given as the target stands for the real file or folder it names.
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return Failed(errno);
  const std::string systemPath = real;
  free(real);
  if (lstat(systemPath.c_str(), &status) != 0) return Failed(errno);
  return LookOf(status, systemPath);
}

std::unique_ptr<Folder> OpenTarget(const Look& target, std::string* error) {
  const int fd = OpenFolderPath(target.systemPath, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  return PosixFolder::Make(fd, target.identity, target.systemPath, nullptr, error);
}

}  // namespace bridge::walk_system

namespace bridge {

namespace {

// Where the scan's temporary folder goes: the user's own memory file system
// when there is one ($XDG_RUNTIME_DIR, a tmpfs nobody else may enter),
// since the engine makes and removes a folder there for every file it
// unpacks and each removal on a disk may wait on the disk; else $TMPDIR or
// /tmp.
std::string TemporaryBase() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info = {};
  struct statfs system = {};
  if (runtime && *runtime == '/' && stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
      info.st_uid == geteuid() && (info.st_mode & 077) == 0 && access(runtime, W_OK) == 0 &&
      statfs(runtime, &system) == 0 && system.f_type == TMPFS_MAGIC)
    return runtime;
  const char* temporary = std::getenv("TMPDIR");
  return temporary && *temporary ? temporary : "/tmp";
}

// A process of its own that removes the folder once the bridge and every
// process forked from it have ended, however they ended: a stop or a crash
// ends them without their removing what they wrote there, and a shard's
// share of the database may be hundreds of megabytes in the user's memory.
// It waits for the end of a pipe that each of them holds open, ignores the
// signals that stop the bridge, holds none of the bridge's files, and is
// not the bridge's child. Returns the bridge's end of the pipe; -1 when no
// such process could be started.
int StartFolderKeeper(const std::string& folder) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    if (fork() != 0) _exit(0);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    for (const int signal : {SIGINT, SIGHUP, SIGTERM, SIGPIPE}) sigaction(signal, &ignore, nullptr);
    // The pipe's end becomes descriptor 3, the standard three /dev/null,
    // and every other descriptor is closed.
    const int watched = ends[0] < 3 ? fcntl(ends[0], F_DUPFD, 3) : ends[0];
    const int nothing = open("/dev/null", O_RDWR);
    if (watched < 0 || nothing < 0) _exit(0);
    for (int fd = 0; fd < 3; ++fd) dup2(nothing, fd);
    if (watched != 3) dup2(watched, 3);
    close_range(4, ~0u, 0);
    for (char byte;;) {
      const ssize_t n = read(3, &byte, 1);
      if (n == 0) break;
      if (n < 0 && errno != EINTR) _exit(0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    _exit(0);
  }
  close(ends[0]);
  if (child < 0) {
    close(ends[1]);
    return -1;
  }
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return ends[1];
}

}  // namespace

ScanTempFolder::ScanTempFolder() {
  const char* system = std::getenv("TMPDIR");
  std::string folder = TemporaryBase() + "/quorvel-scan.XXXXXX";
  if (!mkdtemp(folder.data())) return;
  path_ = folder;
  keeper_ = StartFolderKeeper(path_);
  saved_.emplace_back("TMPDIR", system ? std::optional<std::string>(system) : std::nullopt);
  setenv("TMPDIR", path_.c_str(), 1);
}

ScanTempFolder::~ScanTempFolder() {
  for (const auto& [name, value] : saved_)
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  if (keeper_ >= 0) close(keeper_);
}

}  // namespace bridge
