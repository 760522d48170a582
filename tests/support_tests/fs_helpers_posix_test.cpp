// Linux counterparts of the Windows path rules.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/fs_helpers.h"
#include "support/fs_helpers_internal.h"
#include "tests/support/test_support.h"

using namespace testing_support;

TEST(PathPatternExistsPosix, TakesBracketsAndBackslashesLiterally) {
  TempDir temp;
  WriteTextFile(temp.Join("a1.txt"), "x");
  // A glob would read "[1]" as a set and find a1.txt.
  EXPECT_FALSE(PathPatternExists(temp.Join("a[1]*"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("a[1].txt"), kAnyNonDirectory));

  WriteTextFile(temp.Join("a[1].txt"), "x");
  WriteTextFile(temp.Join("back\\slash"), "x");
  EXPECT_TRUE(PathPatternExists(temp.Join("a[1].txt"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("a[1]*"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("a[?].txt"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("back\\*"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("back\\s"), kAnyNonDirectory));
}

TEST(PathPatternExistsPosix, FollowsLinksAndSeesHiddenNames) {
  TempDir temp;
  ASSERT_TRUE(CreateDirectoryTree(temp.Join("target"), nullptr));
  std::filesystem::create_directory_symlink(FsPath(temp.Join("target")), FsPath(temp.Join("link")));
  EXPECT_TRUE(PathPatternExists(temp.Join("link"), kDirectoryAttribute));
  EXPECT_FALSE(PathPatternExists(temp.Join("link"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("lin?"), kAnyNonDirectory));

  // A dangling link leads nowhere.
  std::filesystem::create_symlink(FsPath(temp.Join("gone")), FsPath(temp.Join("dangling")));
  EXPECT_FALSE(PathPatternExists(temp.Join("dangling"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("dang*"), kAnyNonDirectory));

  // Names starting with a dot are entries like any other.
  WriteTextFile(temp.Join("target/.hidden"), "x");
  EXPECT_TRUE(PathPatternExists(temp.Join("target/*"), kAnyNonDirectory));
}

TEST(PathPatternExistsPosix, MatchesInTheWorkingDirectoryWithoutASlash) {
  TempDir temp;
  WriteTextFile(temp.Join("scan.txt"), "x");
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(FsPath(temp.path()));
  EXPECT_TRUE(PathPatternExists("scan.*", kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists("scan.txt", kAnyNonDirectory));
  std::filesystem::current_path(old);
}

TEST(CreateDirectoryTreePosix, TakesTheRootAsExisting) {
  SystemErrorCode error = 99;
  EXPECT_TRUE(CreateDirectoryTree("/", &error));
  EXPECT_EQ(error, 0u);
}

TEST(CreateDirectoryTreePosix, ReportsTheErrnoOfTheFailedComponent) {
  TempDir temp;
  WriteTextFile(temp.Join("blocker"), "x");
  SystemErrorCode error = 0;
  EXPECT_FALSE(CreateDirectoryTree(temp.Join("blocker/sub"), &error));
  EXPECT_TRUE(error == ENOTDIR || error == EEXIST) << error;
  EXPECT_EQ(static_cast<SystemErrorCode>(errno), error);
}

TEST(CreateDirectoryTreePosix, CreatesPathsLongerThanWindowsAllows) {
  TempDir temp;
  std::string path = temp.path();
  for (int i = 0; i < 6; ++i) path += "/" + std::string(50, static_cast<char>('a' + i));
  ASSERT_GT(path.size(), 300u);
  ASSERT_TRUE(CreateDirectoryTree(path, nullptr));
  EXPECT_TRUE(PathPatternExists(path, kDirectoryAttribute));
  WriteTextFile(path + "/scan.txt", "x");
  EXPECT_TRUE(PathPatternExists(path + "/*.txt", kAnyNonDirectory));
  EXPECT_TRUE(DeleteFileAt(path + "/scan.txt", nullptr));
}

TEST(PosixDirectories, TheDefaultReportDirectoryIsThisUsersAlone) {
  TempDir shared;  // stands in for /tmp
  const std::string runtime = shared.Join("runtime");
  const std::string own = shared.Join("quorvel-" + std::to_string(geteuid()));
  ASSERT_EQ(mkdir(runtime.c_str(), 0755), 0);
  // A runtime directory that others may enter is passed over for one of our
  // own, made private.
  EXPECT_EQ(TemporaryDirectoryFrom(nullptr, runtime.c_str(), shared.path()), own + "/");
  struct stat info;
  ASSERT_EQ(lstat(own.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_uid, geteuid());
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(chmod(runtime.c_str(), 0700), 0);
  EXPECT_EQ(TemporaryDirectoryFrom("", (runtime + "/").c_str(), shared.path()), runtime + "/");
  // A name someone else made first (here a link to elsewhere) is refused.
  ASSERT_EQ(rmdir(own.c_str()), 0);
  ASSERT_EQ(symlink(runtime.c_str(), own.c_str()), 0);
  EXPECT_EQ(TemporaryDirectoryFrom(nullptr, nullptr, shared.path()), "");
  EXPECT_EQ(TemporaryDirectoryFrom("/var/tmp", runtime.c_str(), shared.path()), "/var/tmp/");
}

TEST(PosixDirectories, FollowTheEnvironment) {
  {
    ScopedEnv tmp("TMPDIR", "/var/tmp//");
    EXPECT_EQ(GetTempDirectory(), "/var/tmp/");
  }
  {
    ScopedEnv tmp("TMPDIR", "");
    EXPECT_NE(GetTempDirectory(), "/tmp/") << "a directory that every user shares";
  }
  {
    ScopedEnv tmp("TMPDIR", "/");
    EXPECT_EQ(GetTempDirectory(), "/");
  }
  {
    ScopedEnv home("HOME", "/home/ann/");
    EXPECT_EQ(DefaultQuarantineDirectory(), "/home/ann/quarantine");
  }
  {
    ScopedEnv home("HOME", "/home/李 明");
    EXPECT_EQ(DefaultQuarantineDirectory(), "/home/李 明/quarantine");
  }
}
