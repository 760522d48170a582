// File-system helpers on the running system; paths are built with its own
// separator so that the same cases hold on Windows and Linux.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/fs_helpers.h"
#include "support/fs_helpers_internal.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

// "a|b|c" with the system's separator in place of each "|".
std::string P(std::string path) {
  std::replace(path.begin(), path.end(), '|', kPathSeparator);
  return path;
}

// Runs a test in another working directory and returns to the old one.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& path) : old_(std::filesystem::current_path()) {
    std::filesystem::current_path(FsPath(path));
  }
  ~WorkingDirectory() { std::filesystem::current_path(old_); }

 private:
  std::filesystem::path old_;
};

}  // namespace

TEST(GetModuleRelativePath, FindsFilesBesideTheRunningProgram) {
  const std::string scanner = GetModuleRelativePath("scan.exe");
  ASSERT_FALSE(scanner.empty());
  EXPECT_TRUE(scanner.ends_with(P("|scan.exe"))) << scanner;
  EXPECT_TRUE(FileExists(scanner)) << scanner;

  // The test program is "support_tests.exe" on Windows, "support_tests" on
  // Linux: the extension is replaced, or added.
  const std::string readme = GetModuleRelativePath(".txt");
  EXPECT_EQ(readme, scanner.substr(0, scanner.size() - 8) + "support_tests.txt");
}

TEST(GetModuleRelativePath, PutsTheNameInPlaceOfTheFileName) {
  EXPECT_EQ(PathBesideExecutable(P("C:|a b|prog.exe"), "scan.exe"), P("C:|a b|scan.exe"));
  EXPECT_EQ(PathBesideExecutable(P("D:|扫描 工具|prog.exe"), "quorvel.txt"),
            P("D:|扫描 工具|quorvel.txt"));
  EXPECT_EQ(PathBesideExecutable(P("x|prog.exe"), ".txt"), P("x|prog.txt"));
  EXPECT_EQ(PathBesideExecutable(P("x|prog"), ".txt"), P("x|prog.txt"));
  // A dot in a directory name is no extension of the program.
  EXPECT_EQ(PathBesideExecutable(P("x.y|prog"), ".txt"), P("x.y|prog.txt"));
  // No file name to replace: the path stays as it is.
  EXPECT_EQ(PathBesideExecutable("prog", "scan.exe"), "prog");
  EXPECT_EQ(PathBesideExecutable(P("dir|"), "scan.exe"), P("dir|"));
  // An empty name leaves the directory with its separator.
  EXPECT_EQ(PathBesideExecutable(P("x|prog.exe"), ""), P("x|"));
}

TEST(PathPatternExists, TellsDirectoriesFromOtherEntries) {
  TempDir temp;
  const std::string file = temp.Join("report.txt");
  WriteTextFile(file, "x");

  EXPECT_FALSE(PathPatternExists(temp.path(), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.path(), kDirectoryAttribute));
  EXPECT_TRUE(PathPatternExists(file, kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(file, kDirectoryAttribute));

  const std::string missing = temp.Join("missing.txt");
  EXPECT_FALSE(PathPatternExists(missing, kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(missing, kDirectoryAttribute));
  EXPECT_FALSE(PathPatternExists(temp.Join(P("missing|report.txt")), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists("", kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists("", kDirectoryAttribute));
}

TEST(PathPatternExists, MatchesWildcardsInTheLastComponent) {
  TempDir temp;
  for (const char* name : {"sub1", "sub2", "subway"})
    ASSERT_TRUE(std::filesystem::create_directory(FsPath(temp.Join(name))));

  // Only directories match: the non-directory test fails, the mask passes.
  for (const char* pattern : {"sub*", "sub?", "*"}) {
    EXPECT_FALSE(PathPatternExists(temp.Join(pattern), kAnyNonDirectory)) << pattern;
    EXPECT_TRUE(PathPatternExists(temp.Join(pattern), kDirectoryAttribute)) << pattern;
  }

  // One file among the directories is found whatever the listing order.
  WriteTextFile(temp.Join("subnote.txt"), "x");
  EXPECT_TRUE(PathPatternExists(temp.Join("sub*"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("*.txt"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("subn?te.txt"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("s*e.t?t"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("*.log"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("x*"), kDirectoryAttribute));
  EXPECT_FALSE(PathPatternExists(temp.Join(P("missing|*")), kDirectoryAttribute));
}

TEST(PathPatternExists, MatchesChineseNamesCharacterByCharacter) {
  TempDir temp;
  WriteTextFile(temp.Join("隔离区.txt"), "x");
  EXPECT_TRUE(PathPatternExists(temp.Join("隔离区.txt"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("隔*"), kAnyNonDirectory));
  // "?" stands for one whole character, not one byte of it.
  EXPECT_TRUE(PathPatternExists(temp.Join("隔?区.txt"), kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(temp.Join("???.txt"), kAnyNonDirectory));
  EXPECT_FALSE(PathPatternExists(temp.Join("隔???区.txt"), kAnyNonDirectory));
}

TEST(StripTrailingBackslash, RemovesOneSeparatorOnly) {
  EXPECT_EQ(StripTrailingBackslash(P("c:|quarantine|")), P("c:|quarantine"));
  EXPECT_EQ(StripTrailingBackslash(P("c:|quarantine||")), P("c:|quarantine|"));
  EXPECT_EQ(StripTrailingBackslash(P("c:|quarantine")), P("c:|quarantine"));
  EXPECT_EQ(StripTrailingBackslash(P("|")), "");
  EXPECT_EQ(StripTrailingBackslash(""), "");
}

TEST(CreateDirectoryTree, CreatesEveryMissingDirectoryAndKeepsExistingOnes) {
  TempDir temp;
  SystemErrorCode error = 99;
  ASSERT_TRUE(CreateDirectoryTree(temp.Join(P("q|a|b")), &error));
  EXPECT_EQ(error, 0u);
  EXPECT_TRUE(DirectoryExists(temp.Join(P("q|a|b"))));

  // Existing directories along the way are passed over with their contents.
  WriteTextFile(temp.Join(P("q|a|keep.txt")), "keep");
  EXPECT_TRUE(CreateDirectoryTree(temp.Join(P("q|a|c")), &error));
  EXPECT_TRUE(DirectoryExists(temp.Join(P("q|a|c"))));
  EXPECT_EQ(ReadTextFile(temp.Join(P("q|a|keep.txt"))), "keep");

  // Nothing to create at all.
  EXPECT_TRUE(CreateDirectoryTree(temp.Join(P("q|a")), &error));
  EXPECT_TRUE(CreateDirectoryTree(temp.path(), nullptr));
}

TEST(CreateDirectoryTree, AcceptsATrailingSeparator) {
  TempDir temp;
  EXPECT_TRUE(CreateDirectoryTree(temp.Join(P("quarantine|")), nullptr));
  EXPECT_TRUE(DirectoryExists(temp.Join("quarantine")));
  std::error_code ignored;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FsPath(temp.path()), ignored),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(CreateDirectoryTree, FailsAtAComponentThatIsAFile) {
  TempDir temp;
  WriteTextFile(temp.Join("blocker"), "x");
  SystemErrorCode error = 0;
  EXPECT_FALSE(CreateDirectoryTree(temp.Join(P("blocker|sub")), &error));
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(FileExists(temp.Join("blocker")));
  EXPECT_EQ(ReadTextFile(temp.Join("blocker")), "x");

  error = 0;
  EXPECT_FALSE(CreateDirectoryTree(temp.Join("blocker"), &error));
  EXPECT_NE(error, 0u);
}

TEST(CreateDirectoryTree, LeavesTheDirectoriesMadeBeforeAFailure) {
  TempDir temp;
  // No file system takes a 300-character name.
  const std::string tooLong(300, 'n');
  SystemErrorCode error = 0;
  EXPECT_FALSE(CreateDirectoryTree(temp.Join(P("one|two|") + tooLong + P("|three")), &error));
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(DirectoryExists(temp.Join(P("one|two"))));
}

TEST(CreateDirectoryTree, CreatesRelativePathsInTheWorkingDirectory) {
  TempDir temp;
  {
    WorkingDirectory inside(temp.path());
    EXPECT_TRUE(CreateDirectoryTree(P("rel|a|"), nullptr));
  }
  EXPECT_TRUE(DirectoryExists(temp.Join(P("rel|a"))));
}

TEST(CreateDirectoryTree, HandlesChineseNames) {
  TempDir temp;
  ASSERT_TRUE(CreateDirectoryTree(temp.Join(P("隔离区|病毒 样本")), nullptr));
  EXPECT_TRUE(DirectoryExists(temp.Join(P("隔离区|病毒 样本"))));
  EXPECT_TRUE(PathPatternExists(temp.Join("隔离*"), kDirectoryAttribute));
}

TEST(DeleteFileAt, DeletesOneFileTakenLiterally) {
  TempDir temp;
  const std::string file = temp.Join("scan.txt");
  WriteTextFile(file, "x");
  SystemErrorCode error = 99;
  EXPECT_TRUE(DeleteFileAt(file, &error));
  EXPECT_EQ(error, 0u);
  EXPECT_FALSE(FileExists(file));

  error = 0;
  EXPECT_FALSE(DeleteFileAt(file, &error));
  EXPECT_NE(error, 0u);

  // A pattern names no file: nothing matching it goes.
  WriteTextFile(file, "x");
  error = 0;
  EXPECT_FALSE(DeleteFileAt(temp.Join("*.txt"), &error));
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(FileExists(file));
}

TEST(GetTempDirectory, IsAnExistingDirectoryWithOneTrailingSeparator) {
  const std::string temp = GetTempDirectory();
  ASSERT_GE(temp.size(), 2u);
  EXPECT_EQ(temp.back(), kPathSeparator);
  EXPECT_NE(temp[temp.size() - 2], kPathSeparator);
  EXPECT_TRUE(DirectoryExists(temp));
}
