// The Win32 back-end with real windows: a probe dialog on the main window's
// template runs modally on the test thread while a second thread plays the
// user and the scan worker through window messages, as another program
// would. Needs a display (Xvfb under Wine).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/utf_win.h"
#include "res/dialog_templates.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "tests/win32/win32_driver.h"
#include "ui/dialog.h"
#include "ui/win32/win32_host.h"

namespace {

using namespace std::chrono_literals;
using namespace win32_driver;
using ui::Event;

// A dialog that records every event it receives and lets each test decide
// what its handlers do.
class ProbeDialog : public ui::Dialog {
 public:
  struct Record {
    Event event;
    int id;
    std::string text;
    DWORD thread;
  };
  // Return true when the event counts as handled.
  using Handler = std::function<bool(ProbeDialog&, Event, int id, const std::string& text)>;

  explicit ProbeDialog(int templateId = IDD_MAIN) : Dialog(templateId) {}

  std::function<bool(ProbeDialog&)> onInit;
  Handler onEvent;

  std::future<HWND> WindowOpened() { return opened_.get_future(); }
  // After DoModal: tells a driver still waiting that no window will come.
  void NoMoreWindow() {
    if (!openedSet_.exchange(true)) opened_.set_value(nullptr);
  }

  std::vector<Record> Records() const {
    std::lock_guard guard(mutex_);
    return records_;
  }
  int Count(Event event, int id) const {
    int n = 0;
    for (const Record& r : Records()) n += r.event == event && r.id == id;
    return n;
  }

  // The framework's control access, for the handlers of the tests.
  using Dialog::AskYesNo;
  using Dialog::EnableItem;
  using Dialog::EndDialog;
  using Dialog::GetCheck;
  using Dialog::GetItemText;
  using Dialog::IsChecked;
  using Dialog::IsItemEnabled;
  using Dialog::SetCheck;
  using Dialog::SetFocusItem;
  using Dialog::SetIcon;
  using Dialog::SetItemText;
  using Dialog::SetTitle;
  using Dialog::StatusChannel;

  bool OnInitDialog() override {
    const bool result = onInit ? onInit(*this) : true;
    if (!openedSet_.exchange(true)) opened_.set_value(static_cast<HWND>(NativeHandle()));
    return result;
  }

 protected:
  bool DispatchCommand(Event event, int id, const std::string& text) override {
    {
      std::lock_guard guard(mutex_);
      records_.push_back({event, id, text, GetCurrentThreadId()});
    }
    return onEvent && onEvent(*this, event, id, text);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Record> records_;
  std::promise<HWND> opened_;
  std::atomic<bool> openedSet_{false};
};

class Win32HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Under Wine a window needs a display: without one every test here would
    // only wait for windows that never open.
    ASSERT_TRUE(CanCreateWindows()) << kNoDisplay;
    previous_ = ui::SetModalRunner(&runner_);
  }
  void TearDown() override { ui::SetModalRunner(previous_); }

  // Shows the dialog modally on this thread while driver plays the user on a
  // second one; the window is closed afterwards if the driver left it open.
  int RunDriven(ProbeDialog& dialog, const std::function<void(HWND)>& driver) {
    std::future<HWND> opened = dialog.WindowOpened();
    std::thread user([&] {
      HWND window = opened.wait_for(10s) == std::future_status::ready ? opened.get() : nullptr;
      if (!window) {
        ADD_FAILURE() << "the dialog did not open";
        return;
      }
      driver(window);
      if (IsWindow(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    });
    const int result = dialog.DoModal();
    dialog.NoMoreWindow();
    user.join();
    EXPECT_EQ(dialog.Host(), nullptr) << "host still attached after the window closed";
    EXPECT_EQ(ui::ActiveModalDialog(), nullptr);
    return result;
  }

  ui::Win32ModalRunner runner_;
  ui::ModalRunner* previous_ = nullptr;
};

TEST_F(Win32HostTest, ControlAccessAndNotifications) {
  ProbeDialog dialog;
  std::string targetSeen;
  int moveCheckSeen = -1;
  dialog.onEvent = [&](ProbeDialog& d, Event event, int id, const std::string&) {
    if (event == Event::TextChanged && id == IDC_TARGET) {
      targetSeen = d.GetItemText(IDC_TARGET);
      d.SetItemText(IDC_STATUS, "目标: " + targetSeen);
      return true;
    }
    if (event == Event::Clicked && id == IDC_MOVE) {
      moveCheckSeen = d.GetCheck(IDC_MOVE);
      d.EnableItem(IDC_MOVE_DIR, d.IsChecked(IDC_MOVE));
      d.SetCheck(IDC_SUBDIRS, 1);                                     // from code: no click
      d.SetItemText(IDC_MOVE_DIR, std::string(400, 'q') + "\\隔离");  // from code: EN_CHANGE
      return true;
    }
    return false;
  };

  const int result = RunDriven(dialog, [&](HWND window) {
    // Typing into an edit: EN_CHANGE reaches the table; the text arrives whole as UTF-8.
    SetItemTextAsUser(window, IDC_TARGET, "D:\\病毒 样本");
    EXPECT_EQ(targetSeen, "D:\\病毒 样本");
    EXPECT_EQ(ItemText(window, IDC_STATUS), "目标: D:\\病毒 样本");
    EXPECT_EQ(dialog.Count(Event::TextChanged, IDC_TARGET), 1);

    // A check box toggles itself before its click is handled.
    Click(window, IDC_MOVE);
    EXPECT_TRUE(IsChecked(window, IDC_MOVE));
    EXPECT_EQ(moveCheckSeen, 1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_MOVE_DIR)));
    EXPECT_TRUE(IsChecked(window, IDC_SUBDIRS));
    EXPECT_EQ(dialog.Count(Event::Clicked, IDC_SUBDIRS), 0);
    EXPECT_EQ(dialog.Count(Event::TextChanged, IDC_MOVE_DIR), 1);
    EXPECT_EQ(ItemText(window, IDC_MOVE_DIR), std::string(400, 'q') + "\\隔离");

    Click(window, IDC_MOVE);
    EXPECT_FALSE(IsChecked(window, IDC_MOVE));
    EXPECT_EQ(moveCheckSeen, 0);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_MOVE_DIR)));

    // The close box ends the dialog as IDCANCEL.
    SendMessageW(window, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog.Count(Event::Clicked, IDCANCEL), 1);
}

TEST_F(Win32HostTest, KeyboardFollowsTheTemplate) {
  const DWORD self = GetCurrentThreadId();
  ProbeDialog dialog;
  dialog.onInit = [](ProbeDialog& d) {
    d.SetFocusItem(IDC_EXTRA_ARGS);
    return false;
  };
  dialog.onEvent = [](ProbeDialog& d, Event event, int id, const std::string&) {
    // As when a scan starts: the button that was just pressed goes grey.
    if (event == Event::Clicked && id == IDC_SCAN) d.EnableItem(IDC_SCAN, false);
    return event == Event::Clicked && (id == IDC_SCAN || id == IDOK);
  };

  const int result = RunDriven(dialog, [&](HWND window) {
    EXPECT_EQ(FocusOf(self), GetDlgItem(window, IDC_EXTRA_ARGS));

    // Tab visits the edits, buttons and check boxes in template order.
    std::vector<int> expected;
    for (const ControlTemplate& c : FindDialogTemplate(IDD_MAIN)->controls)
      if (c.kind != ControlKind::Label && c.kind != ControlKind::GroupBox) expected.push_back(c.id);
    std::vector<int> visited;
    HWND first = GetDlgItem(window, expected.front());
    HWND item = first;
    do {
      visited.push_back(GetDlgCtrlID(item));
      item = GetNextDlgTabItem(window, item, FALSE);
    } while (item && item != first && visited.size() <= expected.size());
    EXPECT_EQ(visited, expected);

    // Enter runs the default button, not IDOK, and does not close the window.
    PostKey(GetDlgItem(window, IDC_TARGET), VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return dialog.Count(Event::Clicked, IDC_SCAN) == 1; }));
    EXPECT_EQ(dialog.Count(Event::Clicked, IDOK), 0);
    EXPECT_TRUE(IsWindow(window));

    // Disabling the focused button hands the focus on, so the keyboard
    // still reaches the window.
    EnableWindow(GetDlgItem(window, IDC_SCAN), TRUE);
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_SCAN)),
                 TRUE);
    EXPECT_EQ(FocusOf(self), GetDlgItem(window, IDC_SCAN));
    Click(window, IDC_SCAN);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDC_SCAN)));
    HWND focus = FocusOf(self);
    EXPECT_NE(focus, GetDlgItem(window, IDC_SCAN));
    EXPECT_TRUE(focus && IsWindowEnabled(focus));

    // Esc ends it as IDCANCEL.
    PostKey(GetDlgItem(window, IDC_TARGET), VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(window); }));
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog.Count(Event::Clicked, IDC_SCAN), 2);
}

TEST_F(Win32HostTest, TitleAndIcon) {
  const std::string title = std::string(texts::kTitle) + " " + texts::kVersion;
  ProbeDialog dialog;
  dialog.onInit = [&](ProbeDialog& d) {
    d.SetTitle(title);
    d.SetIcon(IDI_APP);
    return true;
  };
  const int result = RunDriven(dialog, [&](HWND window) {
    EXPECT_EQ(WindowText(window), title);
    auto big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    auto small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    // The drag-icon query is answered with the application icon.
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_QUERYDRAGICON, 0, 0)), big);
  });
  EXPECT_EQ(result, IDCANCEL);
}

TEST_F(Win32HostTest, YesNoQuestionIsOwnedWarnsAndDefaultsToNo) {
  const std::string text = "删除报告文件\r\n\"C:\\报告.txt\"?";
  const std::string caption = "删除报告文件?";
  ProbeDialog dialog;
  std::vector<bool> answers;  // written on the dialog's thread
  std::atomic<size_t> answered{0};
  dialog.onEvent = [&](ProbeDialog& d, Event event, int id, const std::string&) {
    if (event != Event::Clicked || id != IDC_DELETE_REPORT) return false;
    answers.push_back(d.AskYesNo(text, caption));
    answered = answers.size();
    return true;
  };

  RunDriven(dialog, [&](HWND window) {
    const DWORD ui = ThreadOf(window);

    // First question: inspect the box, then press Enter.
    PostClick(GetDlgItem(window, IDC_DELETE_REPORT));
    HWND box = WaitForDialog(ui, caption);
    ASSERT_NE(box, nullptr) << "no question box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), window);
    EXPECT_FALSE(IsWindowEnabled(window)) << "the window must wait for the answer";
    EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    bool textShown = false, iconShown = false;
    for (HWND child : Children(box)) {
      textShown |= WindowText(child) == text;
      iconShown |= (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                   SendMessageW(child, STM_GETICON, 0, 0) != 0;
    }
    EXPECT_TRUE(textShown);
    EXPECT_TRUE(iconShown);
    PostKey(box, VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return answered == 1; }));
    EXPECT_TRUE(IsWindowEnabled(window));

    // Second question: the Yes button.
    PostClick(GetDlgItem(window, IDC_DELETE_REPORT));
    box = WaitForDialog(ui, caption);
    ASSERT_NE(box, nullptr);
    PostClick(GetDlgItem(box, IDYES));
    ASSERT_TRUE(WaitUntil([&] { return answered == 2; }));
  });
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
}

TEST_F(Win32HostTest, ReportsArriveSynchronouslyOnTheWindowsThread) {
  const DWORD self = GetCurrentThreadId();
  const std::string longReport = "CreateProcess(\"" + std::string(600, 'x') + "\\扫描.exe\") 失败.";
  ProbeDialog dialog;
  std::shared_ptr<StatusReceiver> channel;
  dialog.onInit = [&](ProbeDialog& d) {
    channel = d.StatusChannel();
    return true;
  };
  dialog.onEvent = [](ProbeDialog& d, Event event, int id, const std::string& text) {
    if (event != Event::Message || id != WM_SCAN_STATUS) return false;
    d.SetItemText(IDC_STATUS, text);
    return true;
  };

  RunDriven(dialog, [&](HWND window) {
    ASSERT_NE(channel, nullptr);
    for (const std::string& report : {std::string(texts::kStatusExecuting), longReport}) {
      channel->Send(WM_SCAN_STATUS, report);
      // Handled before Send returned.
      ASSERT_FALSE(dialog.Records().empty());
      EXPECT_EQ(dialog.Records().back().text, report);
      EXPECT_EQ(ItemText(window, IDC_STATUS), report);
    }
    for (const ProbeDialog::Record& r : dialog.Records()) EXPECT_EQ(r.thread, self);

    // The same message from anywhere but the channel is not read as a report.
    const std::string stray = "not through the channel";
    SendMessageW(window, WM_SCAN_STATUS, 0, reinterpret_cast<LPARAM>(&stray));
    SendMessageW(window, WM_SCAN_STATUS, 0, 0x1234);
    EXPECT_EQ(dialog.Count(Event::Message, WM_SCAN_STATUS), 2);
  });
}

TEST_F(Win32HostTest, ClosingTheWindowDropsReportsWithoutDeadlock) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ProbeDialog dialog;
    std::shared_ptr<StatusReceiver> channel;
    dialog.onInit = [&](ProbeDialog& d) {
      channel = d.StatusChannel();
      return true;
    };
    dialog.onEvent = [](ProbeDialog&, Event event, int, const std::string&) {
      return event == Event::Message;
    };

    // A worker that reports as fast as it can, before and after the close.
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::promise<void> workerDone;
    std::future<void> workerFinished = workerDone.get_future();
    std::thread worker;

    RunDriven(dialog, [&](HWND window) {
      ASSERT_NE(channel, nullptr);
      worker = std::thread([&, channel] {
        while (!stop) {
          channel->Send(WM_SCAN_STATUS, "运行中 " + std::to_string(sent.load()));
          ++sent;
        }
        workerDone.set_value();
      });
      EXPECT_TRUE(WaitUntil([&] { return dialog.Count(Event::Message, WM_SCAN_STATUS) >= 20; }));
      PostMessageW(window, WM_CLOSE, 0, 0);
    });

    const size_t delivered = dialog.Records().size();
    const long sentAtClose = sent.load();
    // Later reports come back at once although nobody handles them.
    EXPECT_TRUE(WaitUntil([&] { return sent.load() > sentAtClose + 200; }))
        << "the worker is stuck in a report to the closed window";
    stop = true;
    if (worker.joinable()) JoinWithin(worker, workerFinished, 10s, "the worker");
    EXPECT_EQ(dialog.Records().size(), delivered) << "a report reached the closed window";
  }
}

TEST_F(Win32HostTest, AReportWaitingWhileTheWindowClosesIsReleased) {
  ProbeDialog dialog;
  std::shared_ptr<StatusReceiver> channel;
  std::promise<void> workerDone;
  std::future<void> workerFinished = workerDone.get_future();
  std::thread worker;
  dialog.onInit = [&](ProbeDialog& d) {
    channel = d.StatusChannel();
    return true;
  };
  dialog.onEvent = [&](ProbeDialog& d, Event event, int id, const std::string&) {
    if (event != Event::Clicked || id != IDC_SCAN) return event == Event::Message;
    // The worker's report is queued while this thread is busy here; then
    // the window closes without looking at its queue again.
    worker = std::thread([&, channel] {
      channel->Send(WM_SCAN_STATUS, texts::kStatusThreadDone);
      workerDone.set_value();
    });
    std::this_thread::sleep_for(300ms);
    d.EndDialog(IDCANCEL);
    return true;
  };
  const int result =
      RunDriven(dialog, [&](HWND window) { PostClick(GetDlgItem(window, IDC_SCAN)); });
  EXPECT_EQ(result, IDCANCEL);
  const size_t delivered = dialog.Records().size();
  ASSERT_TRUE(worker.joinable());
  JoinWithin(worker, workerFinished, 10s, "the waiting worker");
  EXPECT_EQ(dialog.Records().size(), delivered);
}

TEST_F(Win32HostTest, AboutBoxIsOwnedAndCentredWhileReportsGoOn) {
  ProbeDialog dialog;
  ProbeDialog about(IDD_ABOUT);
  std::atomic<int> aboutResult{0};
  std::shared_ptr<StatusReceiver> channel;
  dialog.onInit = [&](ProbeDialog& d) {
    channel = d.StatusChannel();
    return true;
  };
  dialog.onEvent = [&](ProbeDialog&, Event event, int id, const std::string&) {
    if (event == Event::Clicked && id == IDC_ABOUT) {
      aboutResult = about.DoModal();
      return true;
    }
    return event == Event::Message;
  };

  RunDriven(dialog, [&](HWND window) {
    PostClick(GetDlgItem(window, IDC_ABOUT));
    HWND box = WaitForDialog(ThreadOf(window), "关于");
    ASSERT_NE(box, nullptr) << "no about box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), window);
    EXPECT_FALSE(IsWindowEnabled(window));
    const POINT outer = Centre(window), inner = Centre(box);
    EXPECT_LE(std::abs(outer.x - inner.x), 1);
    EXPECT_LE(std::abs(outer.y - inner.y), 1);

    // The main window still takes the worker's reports meanwhile.
    channel->Send(WM_SCAN_STATUS, texts::kStatusRunning);
    EXPECT_EQ(dialog.Count(Event::Message, WM_SCAN_STATUS), 1);

    // Its OK ends only the about box.
    PostClick(GetDlgItem(box, IDOK));
    ASSERT_TRUE(WaitUntil([&] { return aboutResult != 0; }));
    EXPECT_EQ(aboutResult, IDOK);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowEnabled(window));
  });
  EXPECT_EQ(about.Count(Event::Clicked, IDOK), 1);
}

TEST_F(Win32HostTest, ExceptionsInHandlersStayInside) {
  ProbeDialog dialog;
  std::shared_ptr<StatusReceiver> channel;
  dialog.onInit = [&](ProbeDialog& d) {
    channel = d.StatusChannel();
    return true;
  };
  dialog.onEvent = [](ProbeDialog&, Event event, int id, const std::string&) -> bool {
    if (event == Event::Clicked && id == IDC_VIRUS_LIST) throw std::runtime_error("click");
    if (event == Event::Message) throw std::runtime_error("report");
    return false;
  };
  const int result = RunDriven(dialog, [&](HWND window) {
    Click(window, IDC_VIRUS_LIST);
    channel->Send(WM_SCAN_STATUS, "x");
    // Still working afterwards.
    SetItemTextAsUser(window, IDC_TARGET, "C:\\");
    EXPECT_EQ(dialog.Count(Event::TextChanged, IDC_TARGET), 1);
    Click(window, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog.Count(Event::Clicked, IDC_VIRUS_LIST), 1);
  EXPECT_EQ(dialog.Count(Event::Message, WM_SCAN_STATUS), 1);
}

TEST_F(Win32HostTest, MissingTemplateFailsWithoutAWindow) {
  ProbeDialog dialog(4242);
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_EQ(dialog.Host(), nullptr);
  EXPECT_EQ(ui::ActiveModalDialog(), nullptr);
}

}  // namespace
