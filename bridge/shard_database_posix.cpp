#include "bridge/shard_database_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "base/descriptor_posix.h"
#include "base/text.h"
#include "bridge/error_reason.h"
#include "bridge/walk_system.h"

namespace bridge {

namespace {

std::string_view Extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

bool IsRegularFile(const std::string& path) {
  struct stat info = {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A plain file read in large pieces, not mapped: a file cut short
// meanwhile ends its lines, where a mapping would end the process.
class PlainFile {
 public:
  explicit PlainFile(const std::string& path) : in_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info = {};
    if (in_.get() < 0 || fstat(in_.get(), &info) != 0)
      error_ = errno;
    else
      size_ = static_cast<uint64_t>(info.st_size);
  }
  int error() const { return error_; }
  uint64_t size() const { return size_; }

  // Where the first line that starts at or after at starts; the file's end
  // when none does.
  uint64_t LineStartFrom(uint64_t at) {
    if (at == 0) return 0;
    for (uint64_t from = at - 1;;) {
      const ssize_t n = Read(from);
      if (n <= 0) return from;
      if (const void* newline = std::memchr(piece_.data(), '\n', static_cast<size_t>(n)))
        return from + static_cast<uint64_t>(static_cast<const char*>(newline) - piece_.data()) + 1;
      from += static_cast<uint64_t>(n);
    }
  }

  // The lines that start in [begin, end) but the comments, which the
  // library skips, counted up to most; nothing, with the system's error,
  // when the file cannot be read. begin: where a line starts.
  std::optional<uint64_t> SignatureLines(uint64_t begin, uint64_t end, uint64_t most = UINT64_MAX) {
    uint64_t lines = 0;
    bool lineStarts = true;  // at the next byte
    for (uint64_t from = begin; from < end && lines < most;) {
      const ssize_t n = Read(from);
      if (n < 0) return std::nullopt;
      if (n == 0) break;
      const size_t size =
          static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(n), end - from));
      for (size_t at = 0; at < size && lines < most;) {
        if (lineStarts && piece_[at] != '#') ++lines;
        const void* newline = std::memchr(piece_.data() + at, '\n', size - at);
        lineStarts = newline != nullptr;
        if (!newline) break;
        at = static_cast<size_t>(static_cast<const char*>(newline) - piece_.data()) + 1;
      }
      from += static_cast<uint64_t>(n);
    }
    return lines;
  }

  // Writes the bytes [begin, end) to out, up to the file's end, with the
  // system copying from file to file; false, with the system's error, when
  // it cannot (the shards are then not made).
  bool CopyTo(int out, uint64_t begin, uint64_t end) {
    for (off_t at = static_cast<off_t>(begin); static_cast<uint64_t>(at) < end;) {
      const size_t want =
          static_cast<size_t>(std::min<uint64_t>(end - static_cast<uint64_t>(at), 1u << 30));
      const ssize_t sent = sendfile(out, in_.get(), &at, want);
      if (sent == 0) break;
      if (sent < 0 && errno != EINTR) return error_ = errno, false;
    }
    return true;
  }

 private:
  // A piece from offset; -1 with the error kept when it cannot be read.
  ssize_t Read(uint64_t offset) {
    for (;;) {
      const ssize_t n = pread(in_.get(), piece_.data(), piece_.size(), static_cast<off_t>(offset));
      if (n >= 0 || errno != EINTR) {
        if (n < 0) error_ = errno;
        return n;
      }
    }
  }

  const Descriptor in_;
  std::vector<char> piece_ = std::vector<char>(1 << 20);
  uint64_t size_ = 0;
  int error_ = 0;
};

}  // namespace

std::optional<uint64_t> EstimatePlainSignatures(const std::string& path) {
  if (!StandsAlone(walk_system::LastName(path)) || !IsRegularFile(path)) return std::nullopt;
  PlainFile file(path);
  if (file.error()) return std::nullopt;
  // The lines that start in the file's first megabyte, and where they end.
  constexpr uint64_t kSample = 1 << 20;
  const uint64_t through = file.LineStartFrom(kSample);
  const std::optional<uint64_t> lines = file.SignatureLines(0, kSample);
  if (!lines) return std::nullopt;
  if (through >= file.size()) return lines;
  return static_cast<uint64_t>(static_cast<double>(*lines) * static_cast<double>(file.size()) /
                                   static_cast<double>(through) +
                               0.5);
}

bool StandsAlone(std::string_view type) {
  static constexpr std::string_view kAlone[] = {"hdb", "hsb", "hdu", "hsu", "mdb", "msb", "mdu",
                                                "msu", "imp", "ndb", "ndu", "db",  "ldb", "ldu"};
  // The library takes a file's kind from the end of its name, in any case.
  const std::string kind = Lower(Extension(type));
  return std::find(std::begin(kAlone), std::end(kAlone), kind) != std::end(kAlone);
}

ShardDatabase::ShardDatabase(const std::vector<std::string>& paths, unsigned shard, unsigned shards)
    : shard_(shard), shards_(shards) {
  for (const std::string& path : paths) {
    AddDatabase(path);
    if (!problem_.empty()) return;
  }
}

ShardDatabase::~ShardDatabase() {
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

void ShardDatabase::AddDatabase(const std::string& path) {
  struct stat info = {};
  // What cannot be looked at, the library reports when it loads it.
  if (shards_ < 2 || stat(path.c_str(), &info) != 0) return paths_.push_back(path);
  if (S_ISDIR(info.st_mode)) return AddFolder(path);
  if (!S_ISREG(info.st_mode) || !StandsAlone(walk_system::LastName(path)) ||
      AddShare(path) == Share::kNoSignatures)
    paths_.push_back(path);
}

void ShardDatabase::AddFolder(const std::string& path) {
  std::vector<std::string> names;
  if (const std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(path.c_str()), closedir); folder) {
    while (const dirent* entry = readdir(folder.get()))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
        names.emplace_back(entry->d_name);
  }
  const auto splits = [&](const std::string& name) {
    return StandsAlone(name) && IsRegularFile(walk_system::JoinPath(path, name));
  };
  // Nothing to split: the folder as it is.
  if (std::none_of(names.begin(), names.end(), splits)) return paths_.push_back(path);

  const std::string view = NewFolder();
  if (view.empty()) return;
  const std::string absolute = Utf8(std::filesystem::absolute(FsPath(path)));
  bool linked = false;
  for (const std::string& name : names) {
    const std::string source = walk_system::JoinPath(absolute, name);
    if (splits(name)) {
      const Share share = AddShare(source);
      if (share == Share::kFailed) return;
      // Without a signature, the library says what it makes of the file.
      if (share != Share::kNoSignatures) continue;
    }
    const std::string link = walk_system::JoinPath(view, name);
    if (symlink(source.c_str(), link.c_str()) != 0) return Fail(link, errno);
    linked = true;
  }
  if (linked) paths_.push_back(view);
}

ShardDatabase::Share ShardDatabase::AddShare(const std::string& source) {
  const std::string folder = NewFolder();
  if (folder.empty()) return Share::kFailed;
  const std::string share = walk_system::JoinPath(folder, walk_system::LastName(source));
  const Share written = WriteShare(source, share);
  if (written == Share::kWritten) shares_.push_back(share);
  return written;
}

ShardDatabase::Share ShardDatabase::WriteShare(const std::string& source,
                                               const std::string& target) {
  PlainFile file(source);
  if (file.error()) {
    Fail(source, file.error());
    return Share::kFailed;
  }
  // The lines that start in the shard's part of the file's bytes: every
  // shard finds the same line starts, so the shares are disjoint and
  // together the whole file, and each reads little more than its share.
  const uint64_t size = file.size();
  const uint64_t begin =
      file.LineStartFrom(size / shards_ * shard_ + size % shards_ * shard_ / shards_);
  const uint64_t end = shard_ + 1 == shards_
                           ? UINT64_MAX
                           : file.LineStartFrom(size / shards_ * (shard_ + 1) +
                                                size % shards_ * (shard_ + 1) / shards_);
  // A part with a signature is copied as it is, comments and all: the
  // library reads its lines as it would read them in the whole file.
  const std::optional<uint64_t> here = file.SignatureLines(begin, end, 1);
  if (here == 1u) {
    Descriptor out(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() >= 0 && file.CopyTo(out.get(), begin, end) && out.Close()) return Share::kWritten;
    Fail(target, file.error() ? file.error() : errno);
    unlink(target.c_str());
    return Share::kFailed;
  }
  // Nothing in this part: the library is handed a file without signatures
  // as it is, by every shard alike.
  const std::optional<uint64_t> any = here ? file.SignatureLines(0, UINT64_MAX, 1) : here;
  if (!any) {
    Fail(source, file.error());
    return Share::kFailed;
  }
  return *any ? Share::kEmpty : Share::kNoSignatures;
}

std::string ShardDatabase::NewFolder() {
  if (folder_.empty()) {
    const char* temporary = std::getenv("TMPDIR");
    std::string folder =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/quorvel-shard.XXXXXX";
    if (!mkdtemp(folder.data())) {
      Fail(folder, errno);
      return std::string();
    }
    folder_ = folder;
  }
  const std::string folder = walk_system::JoinPath(folder_, std::to_string(made_++));
  if (mkdir(folder.c_str(), 0700) != 0) {
    Fail(folder, errno);
    return std::string();
  }
  return folder;
}

void ShardDatabase::Fail(const std::string& what, int error) {
  problem_ = what + ": " + ErrnoReason(error);
}

}  // namespace bridge
