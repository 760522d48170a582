// The real Windows pickers, as the main window's buttons open them. The
// picker runs modally on the test's thread; a second thread finds its window
// and answers it with window messages, as a user's clicks and typing would.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/desktop_services.h"
#include "base/utf_win.h"
#include "res/texts.h"
#include "support/path_chooser.h"
#include "tests/support/test_support.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempDir;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::string TextOf(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  return Narrow(text.c_str());
}

BOOL CALLBACK CollectVisibleDialog(HWND window, LPARAM found) {
  if (IsWindowVisible(window) && ClassOf(window) == L"#32770")
    reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

// The visible dialog windows (class "#32770") at the top level of a thread.
std::vector<HWND> DialogsOfThread(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(thread, CollectVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

struct TextSearch {
  std::string text;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowWithText(HWND window, LPARAM search) {
  auto* s = reinterpret_cast<TextSearch*>(search);
  if (TextOf(window) == s->text) s->found.push_back(window);
  return TRUE;
}

// The child windows (all levels) whose text is text.
// The text of the item selected in a tree view of this process.
std::string SelectedTreeItem(HWND tree) {
  wchar_t text[MAX_PATH] = {};
  TVITEMW item = {};
  item.mask = TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  item.pszText = text;
  item.cchTextMax = MAX_PATH;
  if (item.hItem == nullptr ||
      !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
    return {};
  return Narrow(text);
}

std::vector<HWND> ChildrenWithText(HWND parent, const std::string& text) {
  TextSearch search{text, {}};
  EnumChildWindows(parent, CollectWindowWithText, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The file picker's file-name field: the combo box of the newer layout or the
// plain edit of the older one.
HWND FileNameField(HWND picker) {
  if (HWND combo = GetDlgItem(picker, cmb13)) return combo;
  return GetDlgItem(picker, edt1);
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    if (length < 0) break;
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    items.push_back(Narrow(text.c_str()));
  }
  return items;
}

void Press(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Answers the picker that the calling thread is about to open: once its
// window shows, `answer` runs on a second thread with it. A picker (or a
// question it asks) still open three seconds later is cancelled and noted,
// so that a failing test cannot hang.
class PickerDriver {
 public:
  explicit PickerDriver(std::function<void(HWND)> answer)
      : pickerThread_(GetCurrentThreadId()), thread_([this, answer] { Run(answer); }) {}
  ~PickerDriver() { Finish(); }

  // Waits for the driver; call after the picker has returned.
  void Finish() {
    if (thread_.joinable()) thread_.join();
  }
  bool answered() const { return answered_; }
  bool leftOpen() const { return leftOpen_; }

 private:
  void Run(const std::function<void(HWND)>& answer) {
    HWND picker = nullptr;
    for (auto waited = 0ms; picker == nullptr && waited < 15s; waited += 20ms) {
      std::this_thread::sleep_for(20ms);
      const std::vector<HWND> dialogs = DialogsOfThread(pickerThread_);
      if (!dialogs.empty()) picker = dialogs.front();
    }
    if (picker == nullptr) return;
    // Let the picker finish laying itself out.
    std::this_thread::sleep_for(300ms);
    answered_ = true;
    answer(picker);
    for (auto waited = 0ms; waited < 3s; waited += 20ms) {
      if (DialogsOfThread(pickerThread_).empty()) return;
      std::this_thread::sleep_for(20ms);
    }
    leftOpen_ = true;
    for (int round = 0; round < 100 && !DialogsOfThread(pickerThread_).empty(); ++round) {
      for (HWND dialog : DialogsOfThread(pickerThread_)) Press(dialog, IDCANCEL);
      std::this_thread::sleep_for(50ms);
    }
  }

  const DWORD pickerThread_;
  std::atomic<bool> answered_{false};
  std::atomic<bool> leftOpen_{false};
  std::thread thread_;
};

// What the driver saw of a file picker.
struct SeenFilePicker {
  RECT frame{};
  RECT desktop{};
  HWND owner = nullptr;
  std::string fileName;
  std::vector<std::string> types;
  bool mainWindowEnabled = false;
};

SeenFilePicker LookAtFilePicker(HWND picker, HWND mainWindow = nullptr) {
  SeenFilePicker seen;
  GetWindowRect(picker, &seen.frame);
  GetWindowRect(GetDesktopWindow(), &seen.desktop);
  seen.owner = GetWindow(picker, GW_OWNER);
  if (HWND field = FileNameField(picker)) seen.fileName = TextOf(field);
  if (HWND types = GetDlgItem(picker, cmb1)) seen.types = ComboItems(types);
  seen.mainWindowEnabled = mainWindow != nullptr && IsWindowEnabled(mainWindow);
  return seen;
}

void TypeFileNameAndSave(HWND picker, const std::string& name) {
  SendMessageW(FileNameField(picker), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Widen(name).c_str()));
  Press(picker, IDOK);
}

// A stand-in for the main window, in the top-left corner of the desktop.
class CornerWindow {
 public:
  CornerWindow()
      : window_(CreateWindowExW(0, L"STATIC", L"Quorvel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                320, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr)) {}
  ~CornerWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  HWND get() const { return window_; }

 private:
  HWND window_;
};

bool EqualPaths(const std::string& a, const std::string& b) {
  return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

TEST(ReportPicker, OpensCentredOnTheDesktopWithoutOwnerAndAddsTxt) {
  TempDir dir;
  CornerWindow mainWindow;
  ASSERT_NE(mainWindow.get(), nullptr);
  SeenFilePicker seen;
  PickerDriver driver([&](HWND picker) {
    seen = LookAtFilePicker(picker, mainWindow.get());
    TypeFileNameAndSave(picker, "本次 结果");
  });

  const auto chosen = SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt"));
  driver.Finish();

  ASSERT_TRUE(driver.answered());
  EXPECT_FALSE(driver.leftOpen());
  // Centred on the desktop, not on the window in the corner (without the
  // hook the picker opens at the desktop's top-left corner). Wine fits the
  // frame's height to its contents after the hook has centred it, so the top
  // is off by half that change (13 pixels here); the width stays.
  const int frameWidth = seen.frame.right - seen.frame.left;
  const int frameHeight = seen.frame.bottom - seen.frame.top;
  const int desktopWidth = seen.desktop.right - seen.desktop.left;
  const int desktopHeight = seen.desktop.bottom - seen.desktop.top;
  EXPECT_EQ(seen.frame.left, (desktopWidth - frameWidth) / 2);
  EXPECT_NEAR(seen.frame.top, (desktopHeight - frameHeight) / 2, 24);
  // No owner: the main window stays usable.
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_TRUE(seen.mainWindowEnabled);
  EXPECT_EQ(seen.fileName, "scan.txt");
  EXPECT_EQ(seen.types, (std::vector<std::string>{"TXT 文件 (*.txt) ", "所有文件 "}));
  ASSERT_TRUE(chosen.has_value());
  EXPECT_PRED2(EqualPaths, *chosen, dir.Join("本次 结果.txt"));
}

TEST(ReportPicker, AnExistingFileIsTakenWithoutAQuestionAndCancelGivesNothing) {
  // Whether to overwrite the report is asked when the scan starts; a question
  // here would keep the picker open and the driver would have to cancel it.
  TempDir dir;
  testing_support::WriteTextFile(dir.Join("old.txt"), "earlier report");
  {
    PickerDriver driver([](HWND picker) { TypeFileNameAndSave(picker, "old"); });
    const auto chosen = SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt"));
    driver.Finish();
    EXPECT_TRUE(driver.answered());
    EXPECT_FALSE(driver.leftOpen());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_PRED2(EqualPaths, *chosen, dir.Join("old.txt"));
    EXPECT_EQ(testing_support::ReadTextFile(dir.Join("old.txt")), "earlier report");
  }
  {
    PickerDriver driver([](HWND picker) { Press(picker, IDCANCEL); });
    EXPECT_FALSE(SystemDesktopServices().ChooseReportFile(dir.Join("scan.txt")).has_value());
    driver.Finish();
    EXPECT_TRUE(driver.answered());
    EXPECT_FALSE(driver.leftOpen());
  }
}

TEST(ReportPicker, AnInitialNameThatDoesNotFitOpensEmptyAndOneThatFitsOpensWhole) {
  TempDir dir;
  // dir\aaa...文 with the Chinese character in the last bytes before the
  // limit (259 bytes, one zero to go), and the same one byte longer, where
  // its last byte would take the zero's place.
  const std::string head = dir.Join("");
  ASSERT_LT(head.size(), 200u);
  const std::string fits = head + std::string(256 - head.size(), 'a') + "文";
  const std::string straddles = head + std::string(257 - head.size(), 'a') + "文";
  const std::string longName = head + std::string(300 - head.size(), 'b');
  ASSERT_EQ(fits.size(), 259u);
  ASSERT_EQ(straddles.size(), 260u);

  struct Case {
    std::string initial;
    std::string shownName;
  };
  const Case cases[] = {
      {fits, fits.substr(head.size())},
      {straddles, ""},
      {longName, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.initial.size());
    std::string shown = "(not seen)";
    PickerDriver driver([&](HWND picker) {
      if (HWND field = FileNameField(picker)) shown = TextOf(field);
      Press(picker, IDCANCEL);
    });
    PathChooser chooser(false, texts::kReportDefaultExtension, c.initial, 0, {}, nullptr);
    EXPECT_EQ(chooser.DoModal(), PathChooser::kCancelled);
    driver.Finish();
    EXPECT_TRUE(driver.answered());
    EXPECT_EQ(shown, c.shownName);
  }
}

TEST(FolderBrowser, OpensOnTheTypedFolderUnderItsTitle) {
  TempDir dir;
  const std::string leaf = "扫描 目录";
  const std::string typed = dir.Join(leaf);
  ASSERT_TRUE(CreateDirectoryW(Widen(typed).c_str(), nullptr));
  CornerWindow mainWindow;
  size_t titleLines = 0;
  HWND owner = reinterpret_cast<HWND>(1);
  bool mainWindowEnabled = false;
  bool reached = false;
  PickerDriver driver([&](HWND browser) {
    titleLines = ChildrenWithText(browser, texts::kBrowseTargetTitle).size();
    owner = GetWindow(browser, GW_OWNER);
    mainWindowEnabled = IsWindowEnabled(mainWindow.get());
    // OK once the browser shows the folder selected (on a loaded machine
    // that may take a while after it opened): what comes back is where it
    // went.
    const HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    for (auto waited = 0ms; tree != nullptr && SelectedTreeItem(tree) != leaf && waited < 10s;
         waited += 20ms)
      std::this_thread::sleep_for(20ms);
    reached = tree != nullptr && SelectedTreeItem(tree) == leaf;
    Press(browser, IDOK);
  });

  const auto chosen = SystemDesktopServices().BrowseForFolder(texts::kBrowseTargetTitle, typed);
  driver.Finish();
  // Wine's folder browser, on a loaded machine, now and then never moves to
  // the folder it was told to select (while it fails to read its Z: drive);
  // Windows' always does.
  if (!reached && GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
    GTEST_SKIP() << "Wine's folder browser did not move to the typed folder";

  ASSERT_TRUE(driver.answered());
  EXPECT_FALSE(driver.leftOpen());
  EXPECT_EQ(titleLines, 1u);
  EXPECT_EQ(owner, nullptr);
  EXPECT_TRUE(mainWindowEnabled);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_PRED2(EqualPaths, *chosen, typed);
}

TEST(FolderBrowser, CancelGivesNothingAlsoWhenTheTypedFolderIsEmptyOrMissing) {
  TempDir dir;
  for (const std::string& initial : {dir.path(), std::string(), dir.Join("missing")}) {
    SCOPED_TRACE(initial);
    size_t titleLines = 0;
    PickerDriver driver([&](HWND browser) {
      titleLines = ChildrenWithText(browser, texts::kBrowseDirectoryTitle).size();
      Press(browser, IDCANCEL);
    });
    EXPECT_FALSE(
        SystemDesktopServices().BrowseForFolder(texts::kBrowseDirectoryTitle, initial).has_value());
    driver.Finish();
    EXPECT_TRUE(driver.answered());
    EXPECT_FALSE(driver.leftOpen());
    EXPECT_EQ(titleLines, 1u);
  }
}
