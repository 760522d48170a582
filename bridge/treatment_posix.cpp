// /move and /del on Linux: every step relative to the file's own folder,
// the file looked at without following links.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/descriptor_posix.h"
#include "bridge/error_reason.h"
#include "bridge/texts.h"
#include "bridge/treatment_system.h"
#include "bridge/walk_system.h"

namespace bridge::treatment_system {

namespace {

bool Same(const struct stat& status, const FileIdentity& expected) {
  return expected.known && S_ISREG(status.st_mode) &&
         static_cast<uint64_t>(status.st_dev) == expected.device &&
         static_cast<uint64_t>(status.st_ino) == expected.file;
}

Outcome Fail(int error, std::string* text, const char* prefix = "") {
  *text = prefix + ErrnoReason(error);
  return Outcome::kFailed;
}

// Whether name in the folder is still the expected file.
Outcome Check(int folder, const std::string& name, const FileIdentity& expected,
              std::string* error) {
  struct stat status;
  if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? Outcome::kNotSame : Fail(errno, error);
  return Same(status, expected) ? Outcome::kDone : Outcome::kNotSame;
}

int RenameNoReplace(int from, const char* fromName, int to, const char* toName) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 28))
  return renameat2(from, fromName, to, toName, RENAME_NOREPLACE);
#else
  return static_cast<int>(syscall(SYS_renameat2, from, fromName, to, toName, 1u));
#endif
}

// The quarantined file: its owner's to read and write, nobody else's, never
// executable.
void Protect(int folder, const std::string& name) {
  const int fd = openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    fchmod(fd, 0600);
    close(fd);
    return;
  }
  // Not readable by its owner: through a descriptor that only names it.
  const int path = openat(folder, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (path < 0) return;
  const std::string self = "/proc/self/fd/" + std::to_string(path);
  chmod(self.c_str(), 0600);
  close(path);
}

bool CopyAll(int from, int to) {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

// Into another file system: a complete copy under the free name first, then
// the original goes; any failure takes the copy back.
Outcome CopyThenRemove(int from, const std::string& name, const FileIdentity& expected, int to,
                       const std::string& newName, std::string* error) {
  Descriptor source(openat(from, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (source.get() < 0) return errno == ELOOP ? Outcome::kNotSame : Fail(errno, error);
  struct stat before;
  if (fstat(source.get(), &before) != 0) return Fail(errno, error);
  if (!Same(before, expected)) return Outcome::kNotSame;
  Descriptor copy(
      openat(to, newName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (copy.get() < 0) return errno == EEXIST ? Outcome::kNameTaken : Fail(errno, error);

  Outcome outcome = Outcome::kDone;
  struct stat after;
  if (fchmod(copy.get(), 0600) != 0 || !CopyAll(source.get(), copy.get()) ||
      fsync(copy.get()) != 0 || !copy.Close()) {
    outcome = Fail(errno, error);
  } else if (fstat(source.get(), &after) != 0 || after.st_size != before.st_size ||
             after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
             after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
    *error = texts::kTreatChangedWhileCopied;
    outcome = Outcome::kFailed;
  } else if ((outcome = Check(from, name, expected, error)) == Outcome::kDone &&
             unlinkat(from, name.c_str(), 0) != 0) {
    outcome = Fail(errno, error);
  }
  if (outcome != Outcome::kDone) unlinkat(to, newName.c_str(), 0);
  return outcome;
}

}  // namespace

using walk_system::OpenFolderPath;
using walk_system::OpenParent;

Outcome MoveNoReplace(const std::string& systemPath, const FileIdentity& expected,
                      const std::string& folder, const std::string& newName, std::string* error) {
  std::string name;
  Descriptor from(OpenParent(systemPath, &name));
  if (from.get() < 0) return errno == ENOENT ? Outcome::kNotSame : Fail(errno, error);
  const Outcome same = Check(from.get(), name, expected, error);
  if (same != Outcome::kDone) return same;
  Descriptor to(OpenFolderPath(folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (to.get() < 0) return Fail(errno, error, texts::kTreatNoQuarantine);

  if (RenameNoReplace(from.get(), name.c_str(), to.get(), newName.c_str()) != 0) {
    if (errno == EEXIST) return Outcome::kNameTaken;
    if (errno == EXDEV) return CopyThenRemove(from.get(), name, expected, to.get(), newName, error);
    if (errno != EINVAL && errno != ENOSYS) return Fail(errno, error);
    // No such rename here: a second name, which never replaces, then the
    // first one goes.
    if (linkat(from.get(), name.c_str(), to.get(), newName.c_str(), 0) != 0) {
      if (errno == EEXIST) return Outcome::kNameTaken;
      if (errno == EXDEV)
        return CopyThenRemove(from.get(), name, expected, to.get(), newName, error);
      return Fail(errno, error);
    }
    if (unlinkat(from.get(), name.c_str(), 0) != 0) {
      const Outcome failed = Fail(errno, error);
      unlinkat(to.get(), newName.c_str(), 0);
      return failed;
    }
  }
  Protect(to.get(), newName);
  return Outcome::kDone;
}

Outcome Remove(const std::string& systemPath, const FileIdentity& expected, std::string* error) {
  std::string name;
  Descriptor folder(OpenParent(systemPath, &name));
  if (folder.get() < 0) return errno == ENOENT ? Outcome::kNotSame : Fail(errno, error);
  const Outcome same = Check(folder.get(), name, expected, error);
  if (same != Outcome::kDone) return same;
  if (unlinkat(folder.get(), name.c_str(), 0) != 0) return Fail(errno, error);
  return Outcome::kDone;
}

}  // namespace bridge::treatment_system
