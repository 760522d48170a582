// Windows path forms: drive roots, network names, root-relative and long
// paths, and the UTF-8 <-> UTF-16 boundary.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/fs_helpers.h"
#include "base/long_path_win.h"
#include "base/system_error.h"
#include "base/utf_win.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

std::string LongPathBelow(const std::string& base) {
  std::string path = base;
  for (int i = 0; i < 6; ++i) path += "\\" + std::string(50, static_cast<char>('a' + i));
  return path;
}

// Removes the six levels LongPathBelow added, deepest first; the test folder's
// own clean-up does not reach that far on every system.
void RemoveLongPath(const std::string& path) {
  std::string level = path;
  for (int i = 0; i < 6; ++i) {
    RemoveDirectoryW(Widen("\\\\?\\" + level).c_str());
    level.erase(level.rfind('\\'));
  }
}

}  // namespace

TEST(Utf8Boundary, RoundTripsEveryCharacter) {
  const std::string text = "C:\\隔离区\\病毒 😀.txt";
  const std::wstring wide = Widen(text);
  EXPECT_EQ(wide, L"C:\\隔离区\\病毒 \xD83D\xDE00.txt");
  EXPECT_EQ(Narrow(wide), text);
  EXPECT_EQ(Widen(""), L"");
  EXPECT_EQ(Narrow(L""), "");
  // Broken input becomes the replacement character instead of vanishing.
  EXPECT_EQ(Widen("a\xFF"
                  "b"),
            L"a\xFFFD"
            L"b");
}

TEST(SystemErrorTextWin, KeepsTheSystemsLineBreak) {
  const std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  EXPECT_EQ(SystemErrorText(ERROR_ACCESS_DENIED).empty(), false);
}

TEST(ExtendedLengthPath, MakesThePathAbsoluteAndLeavesSpecialFormsAlone) {
  wchar_t folder[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, folder), 0u);
  std::wstring current = folder;
  if (current.back() != L'\\') current += L'\\';
  const struct {
    const wchar_t* path;
    std::wstring expected;
  } cases[] = {
      {L"C:\\a\\..\\b\\.\\c", L"\\\\?\\C:\\b\\c"},
      {L"\\\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {L"rel\\x", L"\\\\?\\" + current + L"rel\\x"},
      // Taken literally already, or a device: as they are.
      {L"\\\\?\\C:\\a\\..\\b", L"\\\\?\\C:\\a\\..\\b"},
      {L"\\\\.\\COM1", L"\\\\.\\COM1"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtendedLengthPath(c.path), c.expected) << Narrow(c.path);
}

TEST(PathPatternExistsWin, FindsNothingForADriveRoot) {
  const std::string temp = GetTempDirectory();
  ASSERT_EQ(temp.substr(1, 2), ":\\");
  EXPECT_FALSE(PathPatternExists(temp.substr(0, 3), kDirectoryAttribute));
  EXPECT_FALSE(PathPatternExists(temp.substr(0, 3), kAnyNonDirectory));
}

TEST(CreateDirectoryTreeWin, TakesDriveRootsAsExisting) {
  const std::string temp = GetTempDirectory();
  ASSERT_EQ(temp.substr(1, 2), ":\\");
  SystemErrorCode error = 99;
  EXPECT_TRUE(CreateDirectoryTree(temp.substr(0, 3), &error));  // "C:\"
  EXPECT_EQ(error, 0u);
  EXPECT_TRUE(CreateDirectoryTree(temp.substr(0, 2), &error));  // "C:"
}

TEST(CreateDirectoryTreeWin, LeavesTheServerAndShareOfANetworkName) {
  SystemErrorCode error = 0;
  // Nothing below the share: nothing to create, nothing asked of the network.
  EXPECT_TRUE(CreateDirectoryTree("\\\\server\\share", &error));
  EXPECT_EQ(error, 0u);
  EXPECT_TRUE(CreateDirectoryTree("\\\\server\\share\\", &error));
  // A server without a share names nothing that could be made.
  EXPECT_FALSE(CreateDirectoryTree("\\\\server", &error));
  EXPECT_NE(error, 0u);
}

TEST(CreateDirectoryTreeWin, FailsOnARootRelativePath) {
  TempDir temp;
  // "\Users\...\new" without its drive: the first prefix is empty.
  const std::string rootRelative = temp.Join("new").substr(2);
  ASSERT_EQ(rootRelative.front(), '\\');
  SystemErrorCode error = 0;
  EXPECT_FALSE(CreateDirectoryTree(rootRelative, &error));
  EXPECT_NE(error, 0u);
  EXPECT_FALSE(DirectoryExists(temp.Join("new")));
}

TEST(FsHelpersWin, HandlePathsLongerThanMaxPath) {
  TempDir temp;
  const std::string path = LongPathBelow(temp.path());
  ASSERT_GT(path.size(), static_cast<size_t>(MAX_PATH));
  SystemErrorCode error = 0;
  ASSERT_TRUE(CreateDirectoryTree(path + "\\", &error)) << error;
  EXPECT_TRUE(PathPatternExists(path, kDirectoryAttribute));
  EXPECT_FALSE(PathPatternExists(path, kAnyNonDirectory));

  const std::string file = path + "\\scan.txt";
  const HANDLE handle = CreateFileW(Widen("\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  CloseHandle(handle);
  EXPECT_TRUE(PathPatternExists(file, kAnyNonDirectory));
  EXPECT_TRUE(PathPatternExists(path + "\\*.txt", kAnyNonDirectory));
  EXPECT_TRUE(DeleteFileAt(file, &error)) << error;
  EXPECT_FALSE(PathPatternExists(file, kAnyNonDirectory));
  RemoveLongPath(path);
}

TEST(FsHelpersWin, HandleLongRelativePaths) {
  TempDir temp;
  const std::string relative = LongPathBelow("rel");
  ASSERT_GT(relative.size(), static_cast<size_t>(MAX_PATH));
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(FsPath(temp.path()));
  EXPECT_TRUE(CreateDirectoryTree(relative, nullptr));
  EXPECT_TRUE(PathPatternExists(relative, kDirectoryAttribute));
  std::filesystem::current_path(old);
  RemoveLongPath(temp.Join(relative));
}
