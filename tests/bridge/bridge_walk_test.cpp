// The bridge's walk and its treatment of infected files, on real files:
// depth and length, links, special files, exclusions, unreadable folders,
// and a quarantine in which nothing is ever replaced.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bridge/scan_request.h"
#include "bridge/texts.h"
#include "bridge/treatment.h"
#include "bridge/walk.h"
#include "bridge/walk_pattern.h"
#include "bridge/walk_system.h"
#include "tests/support/test_support.h"

#ifdef _WIN32
#include <windows.h>

#include "base/long_path_win.h"
#include "base/utf_win.h"
#else
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <regex.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
namespace ws = bridge::walk_system;
using bridge::FileToScan;
using bridge::SkipReason;
using bridge::Treatment;
using testing_support::FsPath;
using testing_support::ReadTextFile;
using testing_support::TempDir;
using testing_support::WriteTextFile;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// What a walk handed to its sink.
struct Seen {
  std::vector<FileToScan> files;
  Pairs skipped;  // path, "link" or "special"
  Pairs errors;   // path, reason
  Pairs leftOut;  // path, why
};

Seen WalkAll(const bridge::WalkPlan& plan, size_t stopAfter = SIZE_MAX) {
  Seen seen;
  bridge::WalkSink sink;
  sink.file = [&](FileToScan file) {
    seen.files.push_back(std::move(file));
    return seen.files.size() < stopAfter;
  };
  sink.skipped = [&](const std::string& path, SkipReason why) {
    seen.skipped.emplace_back(path, why == SkipReason::kLink ? "link" : "special");
  };
  sink.error = [&](const std::string& path, const std::string& reason) {
    seen.errors.emplace_back(path, reason);
  };
  sink.leftOut = [&](const std::string& path, const char* why) {
    seen.leftOut.emplace_back(path, why);
  };
  bridge::Walk(plan, sink);
  return seen;
}

std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', ws::kSeparator);
  return path;
}

void MakeFile(const std::string& path, const std::string& content = "x") {
  fs::create_directories(FsPath(path).parent_path());
  WriteTextFile(path, content);
}

bool MakeSymlink(const std::string& target, const std::string& link) {
  std::error_code error;
  fs::create_symlink(FsPath(target), FsPath(link), error);
  return !error;
}

// Which file the path names right now, a last link not followed.
bridge::FileIdentity IdentityOf(const std::string& path) {
#ifdef _WIN32
  const HANDLE handle = CreateFileW(
      ExtendedLengthPath(Widen(path)).c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE) return {};
  const bool ok = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  if (!ok) return {};
  return {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
          true};
#else
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return {};
  return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino), true};
#endif
}

// The file the walk gives for a target.
FileToScan Walked(const std::string& target) {
  bridge::WalkPlan plan;
  plan.targets = {target};
  const Seen seen = WalkAll(plan);
  EXPECT_EQ(seen.files.size(), 1u) << target;
  return seen.files.empty() ? FileToScan{} : seen.files[0];
}

// A chain of folders, each name `width` characters long, with a file at the
// bottom; made one step at a time, as no path to the bottom could be used at
// once. Returns the file's path; removes the chain when it goes away.
class DeepChain {
 public:
  DeepChain(const std::string& top, int depth, int width) : top_(top) {
    path_ = top;
    for (int level = 0; level < depth; ++level) {
      names_.push_back(std::string(static_cast<size_t>(width - 3), 'd') +
                       std::to_string(100 + level));
      path_ = ws::JoinPath(path_, names_.back());
    }
#ifdef _WIN32
    std::string folder = top;
    for (const std::string& name : names_) {
      folder = ws::JoinPath(folder, name);
      CreateDirectoryW(ExtendedLengthPath(Widen(folder)).c_str(), nullptr);
    }
    const HANDLE file = CreateFileW(ExtendedLengthPath(Widen(File())).c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, 0, nullptr);
    CloseHandle(file);
#else
    int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (const std::string& name : names_) {
      mkdirat(fd, name.c_str(), 0755);
      const int below = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = below;
    }
    close(openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0644));
    close(fd);
#endif
  }
  ~DeepChain() {
#ifdef _WIN32
    DeleteFileW(ExtendedLengthPath(Widen(File())).c_str());
    std::string folder = path_;
    for (size_t level = names_.size(); level > 0; --level) {
      RemoveDirectoryW(ExtendedLengthPath(Widen(folder)).c_str());
      folder = folder.substr(0, folder.size() - names_[level - 1].size() - 1);
    }
#else
    // Down, then up through "..": never more than two descriptors open.
    int fd = open(top_.c_str(), O_RDONLY | O_DIRECTORY);
    for (const std::string& name : names_) {
      const int below = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      close(fd);
      fd = below;
    }
    unlinkat(fd, "bottom.txt", 0);
    for (size_t level = names_.size(); level > 0; --level) {
      const int up = openat(fd, "..", O_RDONLY | O_DIRECTORY);
      close(fd);
      unlinkat(up, names_[level - 1].c_str(), AT_REMOVEDIR);
      fd = up;
    }
    close(fd);
#endif
  }
  std::string File() const { return ws::JoinPath(path_, "bottom.txt"); }

 private:
  std::string top_, path_;
  std::vector<std::string> names_;
};

class BridgeWalk : public testing::Test {
 protected:
  std::string At(const std::string& relative) const { return dir_.Join(Native(relative)); }
  TempDir dir_;
};

TEST_F(BridgeWalk, TargetsFoldersLinksAndExclusions) {
  for (const char* file : {"top.txt", "skip.log", "sub/mid.txt", "sub/cache/hidden.txt",
                           "sub/kernel/k.txt", "sub/deeper/low.txt"})
    MakeFile(At(file));
  // Links and special files: Linux always, Windows where links can be made.
  Pairs specials;
  if (MakeSymlink(At("sub"), At("inner-link")) && MakeSymlink(At("top.txt"), At("file-link")))
    specials = {{"file-link", "link"}, {"inner-link", "link"}};
#ifndef _WIN32
  ASSERT_EQ(mkfifo(At("pipe").c_str(), 0644), 0);
  specials.emplace_back("pipe", "special");  // a walk that opened it would hang here
#endif
  const bool links = !specials.empty() && specials[0].second == "link";
  using Names = std::vector<std::string>;
  const Names every = {"top.txt",          "skip.log",
                       "sub/mid.txt",      "sub/cache/hidden.txt",
                       "sub/kernel/k.txt", "sub/deeper/low.txt"};
  struct Case {
    const char* name;
    Names targets, driveRoots;
    bool recursive, excluding;
    size_t stopAfter;
    Names files;
    Pairs skipped, errors;
  };
  const Case cases[] = {
      {"a folder: its own files only",
       {""},
       {},
       false,
       false,
       SIZE_MAX,
       {"top.txt", "skip.log"},
       specials,
       {}},
      {"/sub, the exclusions",
       {""},
       {},
       true,
       true,
       SIZE_MAX,
       {"top.txt", "sub/mid.txt", "sub/deeper/low.txt"},
       specials,
       {}},
      {"a drive: always everything below", {}, {""}, false, false, SIZE_MAX, every, specials, {}},
      {"a missing target, then a file",
       {"none", "top.txt"},
       {},
       false,
       false,
       SIZE_MAX,
       {"top.txt"},
       {},
       {{"none", bridge::texts::kTargetMissing}}},
      {"a stop ends the walk at once", {"top.txt", ""}, {""}, true, false, 1, {"top.txt"}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bridge::WalkPlan plan;
    const auto path = [&](const std::string& relative) {
      return relative.empty() ? dir_.path() : At(relative);
    };
    for (const std::string& target : c.targets) plan.targets.push_back(path(target));
    for (const std::string& root : c.driveRoots) plan.driveRoots.push_back(path(root));
    plan.recursive = c.recursive;
    if (c.excluding) {
      plan.excludeFilePatterns = {"\\.log$"};
      plan.excludeFolderPatterns = {"cache$"};
      plan.excludeFolderPaths = {At("sub/kernel")};
    }
    const Seen seen = WalkAll(plan, c.stopAfter);
    Names files, expected;
    for (const FileToScan& file : seen.files) {
      files.push_back(file.path);
      // systemPath is the file itself, the one the user's path names.
      EXPECT_EQ(IdentityOf(file.systemPath), file.identity) << file.path;
      EXPECT_EQ(file.size, 1u) << file.path;
    }
    for (const std::string& file : c.files) expected.push_back(path(file));
    std::sort(files.begin(), files.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    Pairs skipped = seen.skipped, expectedSkips = c.skipped, expectedErrors = c.errors;
    for (auto& [name, why] : expectedSkips) name = path(name);
    for (auto& [name, why] : expectedErrors) name = path(name);
    std::sort(skipped.begin(), skipped.end());
    std::sort(expectedSkips.begin(), expectedSkips.end());
    EXPECT_EQ(skipped, expectedSkips);
    EXPECT_EQ(seen.errors, expectedErrors);
  }

  if (!links) GTEST_SKIP() << "the table ran; no links on this system";
  // A link given as the target stands for what it names; the path stays.
  bridge::WalkPlan plan;
  plan.targets = {At("file-link"), At("inner-link")};
  const Seen seen = WalkAll(plan);
  ASSERT_EQ(seen.files.size(), 2u);
  EXPECT_EQ(seen.files[0].path, At("file-link"));
  EXPECT_EQ(seen.files[0].identity, IdentityOf(At("top.txt")));
  EXPECT_EQ(seen.files[1].path, At("inner-link/mid.txt"));
  EXPECT_EQ(seen.files[1].identity, IdentityOf(At("sub/mid.txt")));
}

TEST_F(BridgeWalk, TheBridgesOwnPathsAndKernelFileSystemsAreLeftOutAndNamedOnce) {
  for (const char* file : {"keep.txt", "report.txt", "quarantine/v.exe", "temp/clamav.tmp"})
    MakeFile(At(file));
  const bool links = MakeSymlink(At("quarantine"), At("q-link"));
  using Names = std::vector<std::string>;
  const std::string own = bridge::texts::kLeftOutOwn;
  struct Case {
    const char* name;
    Names targets, own;
    Names files;
    Pairs leftOut, errors;
  };
  std::vector<Case> cases = {
      {"met in the tree, each named once",
       {"", "report.txt"},
       {"report.txt", "quarantine", "temp"},
       {"keep.txt"},
       {{"quarantine", own}, {"report.txt", own}, {"temp", own}},
       {}},
      {"targets in the quarantine",
       {"quarantine/v.exe", "quarantine"},
       {"quarantine"},
       {},
       {{"quarantine/v.exe", own}},
       {}},
#ifndef _WIN32
      {"a target on the kernel's file system",
       {"/proc/self/environ"},
       {},
       {},
       {},
       {{"/proc/self/environ", bridge::texts::kTargetOnPseudo + std::string("proc")}}},
#endif
  };
  if (links)  // the quarantine named by a link
    cases.push_back({"by another name", {"quarantine"}, {"q-link"}, {}, {{"quarantine", own}}, {}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = [&](const std::string& relative) {
      return relative.empty() ? dir_.path() : relative[0] == '/' ? relative : At(relative);
    };
    bridge::WalkPlan plan;
    plan.recursive = true;
    for (const std::string& target : c.targets) plan.targets.push_back(path(target));
    for (const std::string& mine : c.own) plan.ownPaths.push_back(path(mine));
    const Seen seen = WalkAll(plan);
    Names files, expected;
    for (const FileToScan& file : seen.files) files.push_back(file.path);
    for (const std::string& file : c.files) expected.push_back(path(file));
    EXPECT_EQ(files, expected);
    Pairs leftOut = seen.leftOut, expectedLeftOut = c.leftOut, expectedErrors = c.errors;
    for (auto& [name, why] : expectedLeftOut) name = path(name);
    for (auto& [name, why] : expectedErrors) name = path(name);
    std::sort(leftOut.begin(), leftOut.end());
    EXPECT_EQ(leftOut, expectedLeftOut);
    EXPECT_EQ(seen.errors, expectedErrors);
  }
  // The scan's temporary folder: the engine's while it lasts, then gone.
  const fs::path before = fs::temp_directory_path();
  std::string made;
  {
    const bridge::ScanTempFolder temp;
    made = temp.path();
    ASSERT_FALSE(made.empty());
    // Without a last separator (Windows gives one).
    EXPECT_EQ((fs::temp_directory_path() / "").parent_path(), FsPath(made));
  }
  EXPECT_FALSE(testing_support::DirectoryExists(made));
  EXPECT_EQ(fs::temp_directory_path(), before);
#ifndef _WIN32
  // The kernel's file systems met inside a tree (here "/", not below).
  bridge::WalkPlan root;
  root.targets = {"/"};
  const Pairs leftOut = WalkAll(root).leftOut;
  EXPECT_NE(std::find(leftOut.begin(), leftOut.end(),
                      std::pair<std::string, std::string>("/proc", bridge::texts::kLeftOutPseudo)),
            leftOut.end());
#endif
}

// Past the system's limit for one path (Linux: 4096 bytes, deeper than the
// folders the walk keeps open; Windows: 260 characters).
TEST_F(BridgeWalk, DeepAndLongPathsAreReachedAndTreated) {
  const struct {
    int depth, width;
    std::vector<std::string> patterns;  // of files and of folders
  } chains[] = {
#ifdef _WIN32
      {30, 20, {"\\.log$", "cache$"}},
#else
      {100, 60, {"\\.log$", "cache$"}},
      // A path of 30 KB: patterns that overflowed the stack or ran for minutes.
      {3000, 9, {".*cache.*", ".*(d1|e2).*z"}},
#endif
  };
  for (const auto& c : chains) {
    SCOPED_TRACE(c.depth);
    const DeepChain chain(dir_.path(), c.depth, c.width);
    ASSERT_GT(chain.File().size(), static_cast<size_t>(c.depth * c.width));
    bridge::WalkPlan plan;
    plan.targets = {dir_.path()};
    plan.recursive = true;
    plan.excludeFilePatterns = plan.excludeFolderPatterns = c.patterns;
    const auto start = std::chrono::steady_clock::now();
    Seen seen = WalkAll(plan);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(seen.errors, Pairs());
    ASSERT_EQ(seen.files.size(), 1u);
    EXPECT_EQ(seen.files[0].path, chain.File());
    EXPECT_EQ(Walked(chain.File()).identity, seen.files[0].identity);
#ifndef _WIN32
    const int fd = ws::OpenFileToScan(seen.files[0].systemPath);
    EXPECT_GE(fd, 0) << strerror(errno);
    close(fd);
#endif
    EXPECT_EQ(bridge::RemoveInfected(seen.files[0], {}).kind, Treatment::Kind::kRemoved);
    EXPECT_TRUE(WalkAll(plan).files.empty());
  }
}

// The file an engine reads is the one the walk saw, no more of it than it
// had when opened, and a change since is seen; a file replaced or gone is
// refused with the reason.
TEST_F(BridgeWalk, TheFileOpenedForItsScanIsTheOneTheWalkSaw) {
  using bridge::Shortfall;
  MakeFile(At("file.txt"), "0123456789");
  const FileToScan walked = Walked(At("file.txt"));
  bridge::Verdict refused;
  {
    const std::unique_ptr<ws::OpenedFile> opened = ws::OpenForScan(walked, &refused);
    ASSERT_TRUE(opened) << refused.detail;
    EXPECT_EQ(opened->identity, walked.identity);
    EXPECT_EQ(opened->size, 10u);
    EXPECT_TRUE(opened->Unchanged());
    char buffer[32] = {};
    EXPECT_EQ(opened->Read(buffer, 4), 4);
    EXPECT_EQ(opened->FirstBytes(3), "012");
    WriteTextFile(At("file.txt"), "abcdefghijklmnopqrst");
    EXPECT_FALSE(opened->Unchanged());
    // The next Read goes on where the last one ended, up to the size seen.
    EXPECT_EQ(opened->Read(buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer, 6), "efghij");
    EXPECT_EQ(opened->Read(buffer, sizeof buffer), 0);
    EXPECT_TRUE(opened->readError.empty());
  }
  MakeFile(At("other.txt"), "another file");
  fs::rename(FsPath(At("other.txt")), FsPath(At("file.txt")));
  EXPECT_FALSE(ws::OpenForScan(walked, &refused));
  EXPECT_EQ(refused.shortfall, Shortfall::kChanged);
  fs::remove(FsPath(At("file.txt")));
  EXPECT_FALSE(ws::OpenForScan(walked, &refused));
  EXPECT_EQ(refused.shortfall, Shortfall::kGone);
}

TEST(BridgeWalkPattern, MatchesAsPosixExtendedExpressionsAndRefusesTheRest) {
  const std::string deep = [] {
    std::string path;
    for (int level = 0; level < 3000; ++level) path += "/folder" + std::to_string(level);
    return path;
  }();
  const struct {
    const char* pattern;
    std::string text;
    bool match;
  } cases[] = {
      {"\\.log$", "/a/b.log", true},
      {"\\.log$", "/a/b.log.txt", false},
      {"cache", "/x/Cache", false},
      {"^/tmp/", "/var/tmp/x", false},
      {"a|b", "xbx", true},
      {"(ab)+c", "xababc", true},
      {"(ab)+c", "ac", false},
      {"^x{2,3}y", "xxxy", true},
      {"^x{2,3}y", "xxxxy", false},
      {"x{2,}$", "axx", true},
      {"[a-c]z", "bz", true},
      {"[^a-c]z", "bz", false},
      {"[]x]", "]", true},
      {"[a-]$", "-", true},
      {"[[:digit:]]+\\.tmp", "a12.tmp", true},
      {"\\w+\\s", "ab c", true},
      {"^\\S", " a", false},
      {"a.c", "a\nc", true},
      {"colou?r$", "color", true},
      {"()a", "a", true},
      {"x(a|)y", "xy", true},
      {"\\(", "f(1)", true},
      {".*(d1|e2).*z", deep, false},
      {"(/folder[0-9]+)+9$", deep, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::string error;
    const std::optional<bridge::PathPattern> pattern =
        bridge::PathPattern::Compile(c.pattern, &error);
    ASSERT_TRUE(pattern) << error;
    EXPECT_EQ(pattern->Search(c.text), c.match);
    // The same search resumed, as the walk does below a folder.
    const std::string_view text = c.text;
    bridge::PathPattern::Progress halves = pattern->Start();
    pattern->Feed(&halves, text.substr(0, text.size() / 2));
    pattern->Feed(&halves, text.substr(text.size() / 2));
    EXPECT_EQ(pattern->Ends(halves), c.match);
#ifndef _WIN32
    regex_t posix;  // the system's own reading of the same pattern
    ASSERT_EQ(regcomp(&posix, c.pattern, REG_EXTENDED | REG_NOSUB), 0);
    if (c.text.size() < 1000) {  // the system's takes minutes on the deep path
      EXPECT_EQ(regexec(&posix, c.text.c_str(), 0, nullptr, 0) == 0, c.match);
    }
    regfree(&posix);
#endif
  }
  using namespace bridge::texts;
  const std::pair<const char*, const char*> refused[] = {
      {"(a", kPatternUnmatchedOpen},      {"a)", kPatternUnmatchedClose},
      {"[a", kPatternUnmatchedBracket},   {"*a", kPatternNothingToRepeat},
      {"^*", kPatternNothingToRepeat},    {"a{3,2}", kPatternBadRepeat},
      {"a{256}", kPatternBadRepeat},      {"a{1", kPatternBadRepeat},
      {"(a)\\1", kPatternBackReference},  {"\\bword", kPatternWordBoundary},
      {"[[.a.]]", kPatternCollating},     {"[[:nope:]]", kPatternUnknownClass},
      {"[中]", kPatternBracketNotAscii},  {"[z-a]", kPatternBadRange},
      {"a\\", kPatternTrailingBackslash}, {"((a{200}){200}){200}", kPatternTooLarge},
  };
  for (const auto& [pattern, why] : refused) {
    std::string error;
    EXPECT_FALSE(bridge::PathPattern::Compile(pattern, &error)) << pattern;
    EXPECT_EQ(error, why) << pattern;
  }
  EXPECT_EQ(bridge::ReadRequest({"x", "--exclude=(a"}, bridge::PathStyle::kPosix).error,
            std::string(kErrorBadPattern) + "(a (" + kPatternUnmatchedOpen + ")");
}

#ifdef _WIN32
// The user's form stays in path; the system is given the long form.
TEST_F(BridgeWalk, RelativeTargetsAndDriveRootsInTheirLongForm) {
  MakeFile(At("top.txt"));
  const fs::path before = fs::current_path();
  fs::current_path(FsPath(dir_.path()));
  const FileToScan relative = Walked("top.txt");
  fs::current_path(before);
  EXPECT_EQ(relative.path, "top.txt");
  EXPECT_EQ(relative.systemPath, "\\\\?\\" + dir_.path() + "\\top.txt");
  bridge::WalkPlan plan;
  plan.driveRoots = {"C:\\"};
  const Seen seen = WalkAll(plan, 1);
  ASSERT_EQ(seen.files.size(), 1u);
  EXPECT_EQ(seen.files[0].path.rfind("C:\\", 0), 0u);
  EXPECT_EQ(seen.files[0].path.find("\\\\"), std::string::npos) << seen.files[0].path;
  EXPECT_EQ(seen.files[0].systemPath, "\\\\?\\" + seen.files[0].path);
}
#else
// The errors of a walk by a user other than root: as root, from a child
// that becomes "nobody". Nothing when that cannot be.
std::optional<Pairs> ErrorsOfAnUnprivilegedWalk(const bridge::WalkPlan& plan) {
  if (geteuid() != 0) return WalkAll(plan).errors;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return std::nullopt;
  const pid_t child = fork();
  if (child == 0) {
    close(pipeEnds[0]);
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || setgroups(0, nullptr) != 0 || setgid(nobody->pw_gid) != 0 ||
        setuid(nobody->pw_uid) != 0)
      _exit(3);
    std::string out;
    for (const auto& [path, reason] : WalkAll(plan).errors) out += path + '\0' + reason + '\0';
    const bool written = write(pipeEnds[1], out.data(), out.size()) == ssize_t(out.size());
    _exit(written ? 0 : 4);
  }
  close(pipeEnds[1]);
  std::string in;
  char buffer[4096];
  for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) in.append(buffer, got);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  Pairs errors;
  for (size_t at = 0; at < in.size();) {
    const size_t middle = in.find('\0', at), end = in.find('\0', middle + 1);
    errors.emplace_back(in.substr(at, middle - at), in.substr(middle + 1, end - middle - 1));
    at = end + 1;
  }
  return errors;
}

TEST_F(BridgeWalk, UnreadableFoldersAndFilesAreNamedWithTheReason) {
  MakeFile(At("locked/inside.txt"));
  MakeFile(At("listed-only/unseen.txt"));
  chmod(dir_.path().c_str(), 0755);
  chmod(At("locked").c_str(), 0);
  chmod(At("listed-only").c_str(), 0444);  // names can be read, nothing about them
  bridge::WalkPlan plan;
  plan.targets = {dir_.path()};
  plan.recursive = true;
  const std::optional<Pairs> errors = ErrorsOfAnUnprivilegedWalk(plan);
  if (!errors) GTEST_SKIP() << "cannot walk as an unprivileged user";
  Pairs sorted = *errors;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted,
            (Pairs{{At("listed-only/unseen.txt"), "没有权限"}, {At("locked"), "没有权限"}}));
}
#endif

class BridgeTreatment : public BridgeWalk {
 protected:
  std::string Quarantine() {
    const std::string folder = At("quarantine");
    fs::create_directories(FsPath(folder));
    return folder;
  }
  size_t Count(const std::string& folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(FsPath(folder)), {}));
  }
};

TEST_F(BridgeTreatment, MoveNeverReplacesAName) {
  const struct {
    int taken;  // "v.exe", then "v.exe.001" and on, already in the quarantine
    const char* movedTo;
  } cases[] = {{0, "v.exe"}, {1, "v.exe.001"}, {1000, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.taken);
    const std::string quarantine = Quarantine(), infected = At("v.exe");
    fs::remove_all(FsPath(quarantine));
    fs::create_directories(FsPath(quarantine));
    for (int n = 0; n < c.taken; ++n) {
      char suffix[16];
      snprintf(suffix, sizeof suffix, ".%03d", n);
      WriteTextFile(ws::JoinPath(quarantine, n ? "v.exe" + std::string(suffix) : "v.exe"), "");
    }
    MakeFile(infected, "virus");
#ifndef _WIN32
    chmod(infected.c_str(), 0755);
#endif
    const Treatment done = bridge::MoveIntoQuarantine(Walked(infected), {}, quarantine);
    EXPECT_EQ(Count(quarantine), static_cast<size_t>(c.taken + (c.movedTo ? 1 : 0)));
    if (!c.movedTo) {
      EXPECT_EQ(done.kind, Treatment::Kind::kFailed);
      EXPECT_EQ(done.detail, bridge::texts::kTreatNoFreeName);
      EXPECT_EQ(ReadTextFile(infected), "virus");
      EXPECT_EQ(ReadTextFile(ws::JoinPath(quarantine, "v.exe.999")), "");
      continue;
    }
    const std::string moved = ws::JoinPath(quarantine, c.movedTo);
    EXPECT_EQ(done.kind, Treatment::Kind::kMoved);
    EXPECT_EQ(done.detail, moved);
    EXPECT_EQ(ReadTextFile(moved), "virus");
    EXPECT_FALSE(testing_support::FileExists(infected));
    if (c.taken) {
      EXPECT_EQ(ReadTextFile(ws::JoinPath(quarantine, "v.exe")), "");
    }
#ifndef _WIN32
    struct stat status;
    ASSERT_EQ(stat(moved.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
#endif
  }

  // No quarantine folder: none is made, the file stays.
  const std::string missing = At("no-quarantine");
  const Treatment done = bridge::MoveIntoQuarantine(Walked(At("v.exe")), {}, missing);
  EXPECT_EQ(done.kind, Treatment::Kind::kFailed);
  EXPECT_EQ(
      done.detail.rfind(
          std::string(bridge::texts::kTreatMoveFailed) + bridge::texts::kTreatNoQuarantine, 0),
      0u)
      << done.detail;
  EXPECT_FALSE(testing_support::DirectoryExists(missing));
  EXPECT_TRUE(testing_support::FileExists(At("v.exe")));
}

TEST_F(BridgeTreatment, ActsOnlyOnTheFileScanned) {
  enum Change { kNone, kReplaced, kGone };
  const struct {
    const char* name;
    bool link, move;
    Change change;
    Treatment::Kind result;
  } cases[] = {
      {"removed", false, false, kNone, Treatment::Kind::kRemoved},
      {"a link's file removed", true, false, kNone, Treatment::Kind::kRemoved},
      {"a link's file moved", true, true, kNone, Treatment::Kind::kMoved},
      {"replaced: not removed", false, false, kReplaced, Treatment::Kind::kFailed},
      {"replaced: not moved", false, true, kReplaced, Treatment::Kind::kFailed},
      {"gone: not moved", false, true, kGone, Treatment::Kind::kFailed},
  };
  const std::string real = At("v.exe"), link = At("v-link.exe"), quarantine = Quarantine();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeFile(real, "virus");
    fs::remove(FsPath(link));
    if (c.link && !MakeSymlink(real, link)) continue;  // no links on this system
    const FileToScan file = Walked(c.link ? link : real);
    if (c.change == kReplaced) {  // a new file, then renamed over the old one
      MakeFile(real + ".new", "other");
      fs::rename(FsPath(real + ".new"), FsPath(real));
    } else if (c.change == kGone) {
      fs::remove(FsPath(real));
    }
    bridge::ScanRequest request;
    if (c.move)
      request.moveDirectory = quarantine;
    else
      request.Set(ScanSwitch::kDelete);
    const Treatment done = bridge::Treat(request, file, {});
    EXPECT_EQ(done.kind, c.result) << done.detail;
    if (c.result == Treatment::Kind::kFailed) {
      EXPECT_EQ(done.detail, bridge::texts::kTreatNotSame);
      EXPECT_EQ(testing_support::FileExists(real), c.change == kReplaced);
      if (c.change == kReplaced) {
        EXPECT_EQ(ReadTextFile(real), "other");
      }
    } else {
      EXPECT_FALSE(testing_support::FileExists(real));
    }
    if (c.link) {
      EXPECT_TRUE(fs::is_symlink(FsPath(link)));
    }
    EXPECT_EQ(Count(quarantine), c.result == Treatment::Kind::kMoved ? 1u : 0u);
    fs::remove_all(FsPath(quarantine));
    fs::create_directories(FsPath(quarantine));
  }
}

#ifndef _WIN32
TEST_F(BridgeTreatment, MovesOntoAnotherFileSystemByACompleteCopy) {
  char shm[] = "/dev/shm/quorvel-quarantine-XXXXXX";
  struct stat here, there;
  if (!mkdtemp(shm)) GTEST_SKIP() << "no /dev/shm";
  const std::string quarantine = shm;
  if (stat(dir_.path().c_str(), &here) != 0 || stat(shm, &there) != 0 ||
      here.st_dev == there.st_dev) {
    fs::remove_all(quarantine);
    GTEST_SKIP() << "/dev/shm is on the test folder's file system";
  }
  std::string content(3 << 20, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 % 251);
  const std::string infected = At("v.exe");
  MakeFile(infected, content);
  chmod(infected.c_str(), 0755);
  WriteTextFile(quarantine + "/v.exe", "kept");
  const Treatment done = bridge::MoveIntoQuarantine(Walked(infected), {}, quarantine);
  const std::string moved = quarantine + "/v.exe.001";
  EXPECT_EQ(done.kind, Treatment::Kind::kMoved) << done.detail;
  EXPECT_EQ(done.detail, moved);
  EXPECT_EQ(ReadTextFile(moved) == content, true);
  EXPECT_EQ(ReadTextFile(quarantine + "/v.exe"), "kept");
  EXPECT_FALSE(testing_support::FileExists(infected));
  struct stat status;
  EXPECT_EQ(stat(moved.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  fs::remove_all(quarantine);
}
#endif

}  // namespace
