// The program's own dialogs on real Win32 windows: MainDialog (and the about
// box it opens) runs modally on the test thread with a fake desktop, while a
// second thread plays the user through window messages and the fake scanner
// stands in for scan.exe. The last test starts the real program. Needs a
// display (Xvfb under Wine).
#include <windows.h>
#include <initguid.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/about_dialog.h"
#include "app/main_dialog.h"
#include "base/utf_win.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "support/error_box.h"
#include "support/fs_helpers.h"
#include "tests/app/fake_desktop.h"
#include "tests/support/test_support.h"
#include "tests/win32/win32_driver.h"
#include "ui/win32/win32_host.h"

namespace {

using namespace std::chrono_literals;
using namespace win32_driver;
using namespace testing_support;

const std::string kMainTitle = std::string(texts::kTitle) + " " + texts::kVersion;
const std::string kDoneNothingFound = "完成. 退出代码=0. 没有发现";

// Every text given to the main window's status line, in order, as the window's
// own thread sets it (a hook on the messages sent on that thread).
class StatusHistory {
 public:
  StatusHistory() {
    active_ = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
  }
  ~StatusHistory() {
    if (hook_) UnhookWindowsHookEx(hook_);
    active_ = nullptr;
  }
  std::vector<std::string> Texts() const {
    std::lock_guard guard(mutex_);
    return texts_;
  }
  // The texts in one line, for a failure's message.
  std::string Joined() const {
    std::string joined;
    for (const std::string& text : Texts()) joined += "[" + text + "] ";
    return joined;
  }
  size_t Ends() const {
    size_t ends = 0;
    for (const std::string& text : Texts()) ends += text.rfind("完成. ", 0) == 0;
    return ends;
  }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && active_ && sent->message == WM_SETTEXT &&
        GetDlgCtrlID(sent->hwnd) == IDC_STATUS) {
      std::lock_guard guard(active_->mutex_);
      active_->texts_.push_back(Narrow(reinterpret_cast<const wchar_t*>(sent->lParam)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static inline StatusHistory* active_ = nullptr;
  HHOOK hook_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

// Handled once the window's thread has finished what it was doing.
void Sync(HWND window) { SendMessageW(window, WM_NULL, 0, 0); }

class Win32AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CanCreateWindows()) << kNoDisplay;
    ResetFakeScannerEnvironment();
    // A blank in the report's folder: the path must reach the scanner whole.
    const std::string reportDir = temp.Join("报告 目录");
    std::filesystem::create_directory(FsPath(reportDir));
    desktop.temporaryDirectory = reportDir + "\\";
    defaultReport = desktop.temporaryDirectory + "scan.txt";
    record = temp.Join("record.txt");
    SetEnv("QUORVEL_FAKE_SCAN_RECORD", record);
    previous_ = ui::SetModalRunner(&runner_);
  }
  void TearDown() override {
    ui::SetModalRunner(previous_);
    ResetFakeScannerEnvironment();
  }

  // Shows the main window modally on this thread while driver plays the user
  // on a second one; whatever the driver leaves open is closed afterwards.
  int RunMain(MainDialog& main, const std::function<void(HWND)>& driver) {
    const DWORD ui = GetCurrentThreadId();
    std::thread user([&] {
      HWND window = WaitForDialog(ui, kMainTitle, 10s);
      if (!window) {
        ADD_FAILURE() << "the main window did not open";
        return;
      }
      driver(window);
      WaitUntil(
          [&] {
            for (HWND open : ThreadWindows(ui)) {
              wchar_t kind[16] = {};
              GetClassNameW(open, kind, 16);
              if (std::wstring(kind) != L"#32770") continue;
              if (HWND no = GetDlgItem(open, IDNO)) PostClick(no);
              PostMessageW(open, WM_CLOSE, 0, 0);
            }
            return !IsWindow(window);
          },
          10s);
    });
    const int result = main.DoModal();
    user.join();
    return result;
  }
  int RunMain(const std::function<void(HWND)>& driver) { return RunMain(dialog, driver); }

  // Clicks Scan and waits until the scan has ended. With whileHeld, the
  // scanner waits until that has run.
  void ScanAndWait(HWND window, const std::function<void()>& whileHeld = {}) {
    const size_t ends = status.Ends();
    const std::string release = temp.Join("release" + std::to_string(ends));
    SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", whileHeld ? release : "");
    PostClick(GetDlgItem(window, IDC_SCAN));
    if (whileHeld) {
      EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_STATUS) == "运行中"; }, 10s));
      whileHeld();
      WriteTextFile(release, "");
    }
    EXPECT_TRUE(WaitUntil([&] { return status.Ends() > ends && dialog.Runner().IsIdle(); }, 15s))
        << "the scan did not end: " << status.Joined();
    Sync(window);
  }

  TempDir temp;
  FakeDesktop desktop;
  // The Yes/No box shows for real; the error box and the pickers are answered here.
  ModalAnswers answers{ModalKind::ErrorBox, ModalKind::FolderPicker, ModalKind::FilePicker};
  std::vector<ModalBox> ErrorBoxes() const { return answers.Opened(ModalKind::ErrorBox); }
  StatusHistory status;
  MainDialog dialog{desktop};
  std::string defaultReport;
  std::string record;
  ui::Win32ModalRunner runner_;
  ui::ModalRunner* previous_ = nullptr;
};

TEST_F(Win32AppTest, ScanRunsTheScannerAndShowsItsProgressAndVerdict) {
  // A trailing backslash and a blank: both must survive the quoting.
  const std::string target = temp.Join("目标 文件夹") + "\\";
  const int result = RunMain([&](HWND window) {
    EXPECT_EQ(ItemText(window, IDC_STATUS), "空闲");
    EXPECT_EQ(ItemText(window, IDC_REPORT_FILE), defaultReport);
    SetItemTextAsUser(window, IDC_TARGET, target);
    EXPECT_TRUE(IsChecked(window, IDC_SUBDIRS));
    EXPECT_FALSE(IsChecked(window, IDC_ALL_LOCAL_DRIVES));

    ScanAndWait(window, [&] {
      EXPECT_FALSE(IsItemEnabled(window, IDC_SCAN));
      EXPECT_TRUE(IsItemEnabled(window, IDCANCEL));
    });
    EXPECT_EQ(ItemText(window, IDC_STATUS), kDoneNothingFound);
    EXPECT_TRUE(IsItemEnabled(window, IDC_SCAN));
    EXPECT_EQ(status.Texts(), (std::vector<std::string>{"执行中", "运行中", kDoneNothingFound}));

    const FakeScannerRun run = ReadFakeScannerRecord(record);
    const std::string scanner = GetModuleRelativePath("scan.exe");
    const std::string program =
        scanner.find(' ') == std::string::npos ? scanner : "\"" + scanner + "\"";
    EXPECT_EQ(
        run.rawCommandLine,
        program + " \"" + target + "\\\" /sub /rptcor /rpterr /report \"" + defaultReport + "\"");
    EXPECT_EQ(run.program, scanner);
    EXPECT_EQ(run.arguments, (std::vector<std::string>{target, "/sub", "/rptcor", "/rpterr",
                                                       "/report", defaultReport}));

    // Without a report (no overwrite question), the other verdicts.
    Click(window, IDC_REPORT);
    const struct {
      std::string exit, status;
    } verdicts[] = {
        {"102", "完成. 退出代码=102. 停止执行"},
        {FakeScannerCrashSetting(), "完成. 退出代码=3221225786. 没有退出代码，崩溃了?"},
    };
    for (const auto& verdict : verdicts) {
      SetEnv("QUORVEL_FAKE_SCAN_EXIT", verdict.exit);
      ScanAndWait(window);
      EXPECT_EQ(ItemText(window, IDC_STATUS), verdict.status) << status.Joined();
      EXPECT_TRUE(IsItemEnabled(window, IDC_SCAN));
    }
  });
  EXPECT_EQ(result, IDCANCEL);
  for (const std::string& text : status.Texts())
    EXPECT_TRUE(text != texts::kStatusThreadStart && text != texts::kStatusThreadDone) << text;
  EXPECT_TRUE(ErrorBoxes().empty());
}

TEST_F(Win32AppTest, AfterAScanTheReportTheWindowNamesThenIsOpened) {
  RunMain([&](HWND window) {
    EXPECT_FALSE(IsItemEnabled(window, IDC_VIEW_REPORT));
    ScanAndWait(window);
    EXPECT_TRUE(FileExists(defaultReport));
    EXPECT_EQ(desktop.opened, std::vector<std::string>{defaultReport});
    EXPECT_TRUE(IsItemEnabled(window, IDC_VIEW_REPORT));
    EXPECT_TRUE(IsItemEnabled(window, IDC_DELETE_REPORT));

    // The path edited while the scanner runs is the one opened afterwards.
    const std::string other = temp.Join("其他 报告.txt");
    WriteTextFile(other, "other");
    SetItemTextAsUser(window, IDC_REPORT_FILE, temp.Join("second.txt"));
    ScanAndWait(window, [&] { SetItemTextAsUser(window, IDC_REPORT_FILE, other); });
    EXPECT_TRUE(FileExists(temp.Join("second.txt")));
    EXPECT_EQ(desktop.opened, (std::vector<std::string>{defaultReport, other}));
    EXPECT_TRUE(ErrorBoxes().empty());

    // A missing report: the error box comes after the done text is shown.
    const std::string missing = temp.Join("不存在.txt");
    std::string statusAtBox;
    answers.WhileOpen(ModalKind::ErrorBox, [&] { statusAtBox = ItemText(window, IDC_STATUS); });
    SetItemTextAsUser(window, IDC_REPORT_FILE, temp.Join("third.txt"));
    ScanAndWait(window, [&] { SetItemTextAsUser(window, IDC_REPORT_FILE, missing); });
    ASSERT_FALSE(desktop.opened.empty());
    EXPECT_EQ(desktop.opened.back(), missing);
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0].text,
              FormatErrorBoxText("ShellExecute 文件=\"" + missing + "\" 失败", desktop.openError));
    EXPECT_EQ(statusAtBox, kDoneNothingFound);
    EXPECT_FALSE(IsItemEnabled(window, IDC_VIEW_REPORT));
    EXPECT_FALSE(IsItemEnabled(window, IDC_DELETE_REPORT));
  });
  EXPECT_EQ(desktop.opened.size(), 3u);
}

TEST_F(Win32AppTest, DeleteAsksWithTheSystemsBoxAndShowsAFailedDelete) {
  WriteTextFile(defaultReport, "report");
  RunMain([&](HWND window) {
    const DWORD ui = ThreadOf(window);
    ASSERT_TRUE(IsItemEnabled(window, IDC_DELETE_REPORT));
    const std::string question = "删除报告文件\r\n\"" + defaultReport + "\"?";
    auto answer = [&](int button) {
      PostClick(GetDlgItem(window, IDC_DELETE_REPORT));
      HWND box = WaitForDialog(ui, "删除报告文件?");
      ASSERT_NE(box, nullptr) << "no question";
      EXPECT_EQ(GetWindow(box, GW_OWNER), window);
      EXPECT_FALSE(IsWindowEnabled(window));
      EXPECT_TRUE(ShowsText(box, question));
      PostClick(GetDlgItem(box, button));
      ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
      Sync(window);
    };

    answer(IDNO);
    EXPECT_TRUE(FileExists(defaultReport));
    EXPECT_TRUE(desktop.removed.empty());
    EXPECT_TRUE(IsItemEnabled(window, IDC_DELETE_REPORT));

    answer(IDYES);
    EXPECT_FALSE(FileExists(defaultReport));
    EXPECT_EQ(desktop.removed, std::vector<std::string>{defaultReport});
    EXPECT_FALSE(IsItemEnabled(window, IDC_VIEW_REPORT));
    EXPECT_FALSE(IsItemEnabled(window, IDC_DELETE_REPORT));

    // Another program holds the file open without letting it be deleted.
    WriteTextFile(defaultReport, "report");
    SetItemTextAsUser(window, IDC_REPORT_FILE, defaultReport);
    ASSERT_TRUE(IsItemEnabled(window, IDC_DELETE_REPORT));
    HANDLE held =
        CreateFileW(Widen(defaultReport).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    // While the error box is up that program lets go and the file goes: the
    // buttons show it once the box is closed.
    answers.WhileOpen(ModalKind::ErrorBox, [&] {
      CloseHandle(held);
      DeleteFileW(Widen(defaultReport).c_str());
    });
    answer(IDYES);
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0].text,
              FormatErrorBoxText(texts::kErrorDeleteFile, ERROR_SHARING_VIOLATION));
    EXPECT_NE(ErrorBoxes()[0].text.find("系统错误信息: "), std::string::npos);
    EXPECT_FALSE(IsItemEnabled(window, IDC_VIEW_REPORT));
    EXPECT_FALSE(IsItemEnabled(window, IDC_DELETE_REPORT));
  });
}

TEST_F(Win32AppTest, BrowseButtonsTakeThePickersAnswers) {
  RunMain([&](HWND window) {
    answers.ChooseFolder("D:\\病毒 样本");
    Click(window, IDC_BROWSE_TARGET);
    EXPECT_EQ(ItemText(window, IDC_TARGET), "D:\\病毒 样本");
    EXPECT_TRUE(IsChecked(window, IDC_SUBDIRS));
    EXPECT_FALSE(IsChecked(window, IDC_ALL_LOCAL_DRIVES));

    // Cancel: nothing changes, not even the drive choice the target rule resets.
    answers.ChooseFolder(std::nullopt);
    Click(window, IDC_ALL_DRIVES);
    Click(window, IDC_BROWSE_TARGET);
    EXPECT_EQ(ItemText(window, IDC_TARGET), "D:\\病毒 样本");
    EXPECT_TRUE(IsChecked(window, IDC_ALL_DRIVES));
    ASSERT_EQ(answers.Opened(ModalKind::FolderPicker).size(), 2u);
    EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[0].caption, "选择扫描目录");
    EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[0].text, "");
    EXPECT_EQ(answers.Opened(ModalKind::FolderPicker)[1].text, "D:\\病毒 样本");

    // The report picker: a chosen existing file enables View; cancel keeps it.
    const std::string chosen = temp.Join("已选 报告.txt");
    WriteTextFile(chosen, "report");
    EXPECT_FALSE(IsItemEnabled(window, IDC_VIEW_REPORT));
    answers.ChooseFile(chosen);
    Click(window, IDC_BROWSE_REPORT);
    EXPECT_EQ(ItemText(window, IDC_REPORT_FILE), chosen);
    EXPECT_TRUE(IsItemEnabled(window, IDC_VIEW_REPORT));
    answers.ChooseFile(std::nullopt);
    Click(window, IDC_BROWSE_REPORT);
    EXPECT_EQ(ItemText(window, IDC_REPORT_FILE), chosen);
    EXPECT_EQ(TextsOf(answers.Opened(ModalKind::FilePicker)),
              (std::vector<std::string>{defaultReport, chosen}));
  });
}

TEST_F(Win32AppTest, AboutBoxOpensOverTheMainWindowAndOpensTheReadme) {
  const std::string readme = GetModuleRelativePath(texts::kReadmeName);
  ASSERT_FALSE(FileExists(readme)) << "no readme is expected beside the test program";
  RunMain([&](HWND window) {
    PostClick(GetDlgItem(window, IDC_ABOUT));
    HWND about = WaitForDialog(ThreadOf(window), "关于");
    ASSERT_NE(about, nullptr) << "no about box";
    EXPECT_EQ(GetWindow(about, GW_OWNER), window);
    EXPECT_FALSE(IsWindowEnabled(window));
    EXPECT_EQ(ItemText(about, IDC_ABOUT_TEXT), AboutText());
    EXPECT_EQ(FocusOf(ThreadOf(window)), GetDlgItem(about, IDOK));

    Click(about, IDC_README);  // missing: the error box, and the about box stays
    EXPECT_EQ(desktop.opened, std::vector<std::string>{readme});
    ASSERT_EQ(ErrorBoxes().size(), 1u);
    EXPECT_EQ(ErrorBoxes()[0].text.rfind("ShellExecute 文件=\"" + readme + "\" 失败", 0), 0u);
    EXPECT_TRUE(IsWindowVisible(about));

    WriteTextFile(readme, "readme");
    Click(about, IDC_README);
    std::filesystem::remove(FsPath(readme));
    EXPECT_EQ(desktop.opened.size(), 2u);
    EXPECT_EQ(ErrorBoxes().size(), 1u);

    PostClick(GetDlgItem(about, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_TRUE(IsWindowVisible(window));
  });
}

TEST_F(Win32AppTest, AfterAClickedScanEnterScansAgainAndNeverCloses) {
  const int result = RunMain([&](HWND window) {
    Click(window, IDC_REPORT);  // no report: no overwrite question the second time
    // The clicked Scan button has the focus when it is greyed.
    ScanAndWait(window);
    HWND focus = FocusOf(ThreadOf(window));
    EXPECT_EQ(focus, GetDlgItem(window, IDC_TARGET));
    const size_t ends = status.Ends();
    PostKey(focus, VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return status.Ends() > ends && dialog.Runner().IsIdle(); }, 15s));
    EXPECT_TRUE(IsWindow(window));
  });
  EXPECT_EQ(result, IDCANCEL);
}

// The name a screen reader gets for a control, through the system's proxy.
std::string AccessibleNameOf(HWND control) {
  IAccessible* accessible = nullptr;
  if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, IID_IAccessible,
                                        reinterpret_cast<void**>(&accessible))))
    return "(none)";
  VARIANT self;
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::string result;
  if (accessible->get_accName(self, &name) == S_OK && name) result = Narrow(name);
  SysFreeString(name);
  accessible->Release();
  return result;
}

// Whether the system keeps names given through its annotation service (Wine
// does not implement SetHwndPropStr).
bool SystemKeepsAccessibleNames() {
  IAccPropServices* service = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&service))))
    return false;
  HWND probe =
      CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  const bool kept = SUCCEEDED(
      service->SetHwndPropStr(probe, OBJID_CLIENT, CHILDID_SELF, PROPID_ACC_NAME, L"probe"));
  DestroyWindow(probe);
  service->Release();
  return kept;
}

TEST_F(Win32AppTest, EditsAndBrowseButtonsHaveTheirAccessibleNames) {
  const std::map<int, std::string> expected = {
      {IDC_TARGET, "扫描参数"},
      {IDC_MOVE_DIR, "移动到:"},
      {IDC_REPORT_FILE, "报告:"},
      {IDC_EXTRA_ARGS, "扩展命令行参数:"},
      {IDC_BROWSE_TARGET, "选择扫描目录"},
      {IDC_BROWSE_MOVE_DIR, "选择目录"},
      {IDC_BROWSE_REPORT, "选择报告文件"},
  };
  std::map<int, std::string> given, heard;
  bool keepsNames = false;
  ui::SetAccessibleNameObserver(
      [&](HWND control, const std::string& name) { given[GetDlgCtrlID(control)] = name; });
  RunMain([&](HWND window) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    keepsNames = SystemKeepsAccessibleNames();
    for (const auto& entry : expected)
      heard[entry.first] = AccessibleNameOf(GetDlgItem(window, entry.first));
    CoUninitialize();
  });
  ui::SetAccessibleNameObserver({});
  EXPECT_EQ(given, expected);
  // Read back where the system keeps them (Windows; not Wine).
  if (keepsNames) {
    EXPECT_EQ(heard, expected);
  }
}

TEST_F(Win32AppTest, ClosingDuringAScanEndsTheWindowAtOnceAndLeavesTheScanner) {
  for (const bool exitButton : {false, true}) {
    SCOPED_TRACE(exitButton ? "exit button" : "close box");
    MainDialog main(desktop);
    const std::string release = temp.Join(exitButton ? "release-exit" : "release-close");
    SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
    std::chrono::steady_clock::time_point closed;
    const int result = RunMain(main, [&](HWND window) {
      Click(window, IDC_REPORT);  // no report: no overwrite question in the second round
      PostClick(GetDlgItem(window, IDC_SCAN));
      ASSERT_TRUE(WaitUntil([&] { return ItemText(window, IDC_STATUS) == "运行中"; }, 10s));
      closed = std::chrono::steady_clock::now();
      if (exitButton)
        PostClick(GetDlgItem(window, IDCANCEL));
      else
        PostMessageW(window, WM_CLOSE, 0, 0);
      EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }, 3s));
    });
    EXPECT_LT(std::chrono::steady_clock::now() - closed, 3s);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(main.Runner().IsIdle()) << "the window waited for the scanner";

    // The scanner ends later; its reports go nowhere.
    WriteTextFile(release, "");
    EXPECT_TRUE(WaitUntil([&] { return main.Runner().IsIdle(); }, 10s));
    EXPECT_EQ(main.Runner().exitCode(), 0u);
  }
}

TEST_F(Win32AppTest, TheProgramClosesAtOnceDuringAScan) {
  // The program and the fake scanner side by side, in a folder with a blank.
  const std::string folder = temp.Join("程序 目录");
  std::filesystem::create_directory(FsPath(folder));
  const std::string program = folder + "\\quorvel.exe";
  const std::string built = TestProgramDir() + "..\\bin\\quorvel.exe";
  ASSERT_TRUE(FileExists(built)) << built << " is missing: build the program first";
  std::filesystem::copy_file(FsPath(built), FsPath(program));
  std::filesystem::copy_file(FsPath(FakeScannerPath()), FsPath(folder + "\\scan.exe"));
  const std::string release = temp.Join("release");
  SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = L"\"" + Widen(program) + L"\"";
  ASSERT_TRUE(CreateProcessW(Widen(program).c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                             nullptr, Widen(folder).c_str(), &startup, &process));
  HWND window = nullptr;
  EXPECT_TRUE(WaitUntil(
      [&] {
        for (HWND open : ThreadWindows(process.dwThreadId))
          if (IsVisibleDialog(open, kMainTitle)) window = open;
        return window != nullptr;
      },
      20s))
      << "the program's window did not open";

  if (window) {
    if (IsChecked(window, IDC_REPORT)) Click(window, IDC_REPORT);  // leaves the user's temp alone
    PostClick(GetDlgItem(window, IDC_SCAN));
    EXPECT_TRUE(WaitUntil([&] { return ItemText(window, IDC_STATUS) == "运行中"; }, 10s));
    EXPECT_FALSE(IsItemEnabled(window, IDC_SCAN));
    // The scanner renames its record into place and only then lets go of it:
    // until then the record cannot be opened, so it is read until it reads.
    FakeScannerRun run;
    EXPECT_TRUE(WaitUntil([&] {
      run = ReadFakeScannerRecord(record);
      return !run.program.empty();
    }));
    EXPECT_EQ(run.program, folder + "\\scan.exe");
    EXPECT_EQ(run.rawCommandLine.rfind("\"" + folder + "\\scan.exe\" ", 0), 0u);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }, 3s)) << "the window stayed open";
  }

  // With the scanner gone the program is gone too, without a crash at its end.
  WriteTextFile(release, "");
  DWORD exitCode = 0;
  if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0) {
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exitCode));
    EXPECT_EQ(exitCode, 0u);
  } else {
    ADD_FAILURE() << "the program did not end";
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
