// The Windows cases of the fault matrix: crash codes, console floods, a
// report held open or read-only when it is deleted, and the Win32 window
// staying responsive while a long scan runs.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gmock/gmock.h>

#include "base/utf_win.h"
#include "tests/fault_matrix/fault_matrix_fixture.h"
#include "tests/support/test_support.h"
#include "ui/win32/win32_host.h"

namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::StartsWith;
using testing_support::FileExists;
using testing_support::ReadTextFile;
using testing_support::SetEnv;
using testing_support::WriteTextFile;

struct CrashCase {
  const char* exitSetting;
  const char* status;
};

class FaultMatrixCrashTest : public FaultMatrixTest,
                             public testing::WithParamInterface<CrashCase> {};

TEST_P(FaultMatrixCrashTest, ScannerEndingWithACrashCodeShowsTheCode) {
  SetEnv("QUORVEL_FAKE_SCAN_EXIT", GetParam().exitSetting);
  Open();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(Text(IDC_STATUS), GetParam().status);
  EXPECT_TRUE(Enabled(IDC_SCAN));
}

// An access violation and a stack overrun are shown by their codes, never as
// "nothing found"; the code for "no exit code of its own" gets its verdict.
INSTANTIATE_TEST_SUITE_P(
    CrashCodes, FaultMatrixCrashTest,
    testing::Values(CrashCase{"0xC0000005", "完成. 退出代码=3221225477. "},
                    CrashCase{"0xC0000409", "完成. 退出代码=3221226505. "},
                    CrashCase{"0xC000013A", "完成. 退出代码=3221225786. 没有退出代码，崩溃了?"}));

TEST_F(FaultMatrixTest, ScannerWritingMegabytesToItsConsoleEndsNormally) {
  SetEnv("QUORVEL_FAKE_SCAN_OUTPUT_BYTES", std::to_string(2 << 20));
  Open();
  ASSERT_TRUE(ScanAndWait());
  EXPECT_EQ(Text(IDC_STATUS), "完成. 退出代码=0. 没有发现");
}

// A report file that another program holds open without sharing deletion.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : handle_(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldOpen() { Release(); }
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (IsOpen()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

TEST_F(FaultMatrixTest, DeletingAReportHeldOpenFailsAndKeepsIt) {
  const std::string report = temp.Join("扫描 报告.txt");
  WriteTextFile(report, "报告内容\r\n");
  HeldOpen viewer(report);
  ASSERT_TRUE(viewer.IsOpen());
  Open();
  host->Type(IDC_REPORT_FILE, report);
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);

  // ERROR_SHARING_VIOLATION, with the system's own text.
  EXPECT_THAT(ErrorTexts(), testing::ElementsAre(testing::AllOf(
                                StartsWith("DeleteFile 失败\n\n系统错误代码: 0x20\n"),
                                HasSubstr("系统错误信息: "))));
  viewer.Release();
  EXPECT_EQ(ReadTextFile(report), "报告内容\r\n");
  EXPECT_TRUE(Enabled(IDC_VIEW_REPORT));
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));

  // Once the other program lets go, the same request deletes it.
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);
  EXPECT_EQ(ErrorTexts().size(), 1u);
  EXPECT_FALSE(FileExists(report));
  EXPECT_FALSE(Enabled(IDC_DELETE_REPORT));
}

TEST_F(FaultMatrixTest, DeletingAReadOnlyReportIsDeniedAndKeepsIt) {
  const std::string report = temp.Join("只读 报告.txt");
  WriteTextFile(report, "报告内容\r\n");
  ASSERT_TRUE(SetFileAttributesW(Widen(report).c_str(), FILE_ATTRIBUTE_READONLY));
  Open();
  host->Type(IDC_REPORT_FILE, report);
  answers.AnswerQuestions({true});
  host->Click(IDC_DELETE_REPORT);

  // ERROR_ACCESS_DENIED.
  EXPECT_THAT(ErrorTexts(),
              testing::ElementsAre(StartsWith("DeleteFile 失败\n\n系统错误代码: 0x5\n")));
  EXPECT_EQ(ReadTextFile(report), "报告内容\r\n");
  EXPECT_TRUE(Enabled(IDC_DELETE_REPORT));
  SetFileAttributesW(Widen(report).c_str(), FILE_ATTRIBUTE_NORMAL);
}

// --- The real window during a long scan ------------------------------------

std::string WindowText(HWND window) {
  wchar_t buffer[512] = {};
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, 5000, &length))
    return "<no answer>";
  return Narrow(std::wstring(buffer, length));
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  return testing_support::WaitUntil(done, limit);
}

// The main window among the thread's visible windows: the one with a Scan button.
BOOL CALLBACK TakeMainWindow(HWND window, LPARAM result) {
  if (!IsWindowVisible(window) || !GetDlgItem(window, IDC_SCAN)) return TRUE;
  *reinterpret_cast<HWND*>(result) = window;
  return FALSE;
}

HWND FindDialogOf(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(thread, TakeMainWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

TEST_F(FaultMatrixTest, LongScanLeavesTheWin32WindowResponsive) {
  // The scanner runs until the test lets it end: as long as a scan of
  // minutes, for the purpose of the window.
  const std::string release = temp.Join("release");
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
  ui::Win32ModalRunner runner;
  ui::ModalRunner* previous = ui::SetModalRunner(&runner);
  MainDialog window(desktop);
  const DWORD uiThread = GetCurrentThreadId();

  std::atomic<long long> worstMs{-1};
  std::thread user([&] {
    HWND dialog = nullptr;
    if (!WaitUntil([&] { return (dialog = FindDialogOf(uiThread)) != nullptr; })) {
      ADD_FAILURE() << "the window did not open";
      return;
    }
    HWND status = GetDlgItem(dialog, IDC_STATUS);
    SendMessageW(GetDlgItem(dialog, IDC_SCAN), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(status) == "运行中"; }));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SCAN)));

    // The user works in the window while the scanner runs on; every message
    // must be answered at once.
    long long worst = 0;
    HWND archives = GetDlgItem(dialog, IDC_ARCHIVES);
    for (int round = 0; round < 20; ++round) {
      const auto start = std::chrono::steady_clock::now();
      DWORD_PTR result = 0;
      EXPECT_TRUE(SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
      const std::wstring target(static_cast<size_t>(round + 1), L'a');
      SendMessageW(GetDlgItem(dialog, IDC_TARGET), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(target.c_str()));
      const LRESULT before = SendMessageW(archives, BM_GETCHECK, 0, 0);
      SendMessageW(archives, BM_CLICK, 0, 0);
      EXPECT_NE(SendMessageW(archives, BM_GETCHECK, 0, 0), before);
      worst = std::max<long long>(worst, std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - start)
                                             .count());
      std::this_thread::sleep_for(100ms);
    }
    worstMs = worst;
    EXPECT_EQ(WindowText(status), "运行中");
    // The target's rule ran on every change.
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_SUBDIRS), BM_GETCHECK, 0, 0), BST_CHECKED);

    WriteTextFile(release, "");
    EXPECT_TRUE(WaitUntil([&] { return WindowText(status) == "完成. 退出代码=0. 没有发现"; }));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SCAN)) != 0; }));
    EXPECT_TRUE(WaitUntil([&] { return window.Runner().IsIdle(); }));
    PostMessageW(dialog, WM_CLOSE, 0, 0);
  });
  window.DoModal();
  user.join();
  ui::SetModalRunner(previous);
  EXPECT_GE(worstMs.load(), 0);
  EXPECT_LT(worstMs.load(), 1000) << "the window stalled while the scanner ran";
}

}  // namespace
