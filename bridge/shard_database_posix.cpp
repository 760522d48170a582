#include "bridge/shard_database_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

struct CloseFile {
  void operator()(FILE* file) const { std::fclose(file); }
};

// Calls each with every line of the plain file at path but its comments,
// which the library skips (the line with its end, and whether it had one),
// until each says no; false, with the system's error, when the file cannot
// be read or each said no. Read in large pieces, not mapped: a file cut
// short meanwhile ends the lines, where a mapping would end the process.
template <typename Each>
bool EachSignatureLine(const std::string& path, Each each, int* error) {
  const Descriptor in(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    *error = errno;
    return false;
  }
  std::vector<char> piece(1 << 20);
  std::string started;  // a line begun in the piece before
  const auto line = [&](std::string_view text, bool ended) {
    return text[0] == '#' || each(text, ended);
  };
  for (;;) {
    const ssize_t n = read(in.get(), piece.data(), piece.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno;
      return false;
    }
    if (n == 0) return started.empty() || line(started, false);
    const char* at = piece.data();
    const char* const end = at + n;
    while (at < end) {
      const char* newline = static_cast<const char*>(std::memchr(at, '\n', end - at));
      if (!newline) {
        started.append(at, end);
        break;
      }
      const char* next = newline + 1;
      bool going;
      if (started.empty()) {
        going = line(std::string_view(at, next - at), true);
      } else {
        started.append(at, next);
        going = line(started, true);
        started.clear();
      }
      if (!going) return false;
      at = next;
    }
  }
}

}  // namespace

std::optional<uint64_t> CountPlainSignatures(const std::string& path) {
  if (!StandsAlone(walk_system::LastName(path)) || !IsRegularFile(path)) return std::nullopt;
  uint64_t lines = 0;
  int error = 0;
  if (!EachSignatureLine(
          path,
          [&lines](std::string_view, bool) {
            ++lines;
            return true;
          },
          &error))
    return std::nullopt;
  return lines;
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
  std::unique_ptr<FILE, CloseFile> out;
  uint64_t seen = 0;
  int readError = 0, writeError = 0;
  const bool read = EachSignatureLine(
      source,
      [&](std::string_view line, bool ended) {
        if (seen++ % shards_ != shard_) return true;
        if (!out) out.reset(std::fopen(target.c_str(), "we"));
        if (out && std::fwrite(line.data(), 1, line.size(), out.get()) == line.size() &&
            (ended || std::fputc('\n', out.get()) != EOF))
          return true;
        writeError = errno ? errno : EIO;
        return false;
      },
      &readError);
  if (!writeError && out && std::fclose(out.release()) != 0) writeError = errno ? errno : EIO;
  if (writeError) {
    Fail(target, writeError);
    unlink(target.c_str());
    return Share::kFailed;
  }
  if (!read) {
    Fail(source, readError);
    return Share::kFailed;
  }
  if (seen == 0) return Share::kNoSignatures;
  return seen > shard_ ? Share::kWritten : Share::kEmpty;
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
