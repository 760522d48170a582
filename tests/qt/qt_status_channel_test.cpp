// Status messages from a worker thread to a Qt window: delivered on the UI thread, in
// order, each handled before the worker goes on; and once the window is
// finished or gone a waiting worker is let go and nothing more arrives.
#include <future>

#include "tests/qt/qt_test_dialog.h"

namespace {

using ui::Event;
using namespace std::chrono_literals;

constexpr int kStatusMessage = WM_SCAN_STATUS;

// Waits for a worker that must finish; a hang fails the test instead of the run.
bool Finishes(std::future<void>& worker, std::chrono::milliseconds limit = 10s) {
  return RunEventsUntil([&] { return worker.wait_for(0s) == std::future_status::ready; }, limit);
}

TEST(QtStatusChannel, DeliversEveryReportInOrderBeforeTheWorkerGoesOn) {
  ShownDialog shown;
  ASSERT_NO_FATAL_FAILURE(shown.Open());
  const std::thread::id uiThread = std::this_thread::get_id();
  bool allOnUiThread = true;
  shown.dialog.onEvent = [&](const RecordedEvent&) {
    allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
    return true;
  };
  std::shared_ptr<StatusReceiver> channel = shown.dialog.StatusChannel();
  ASSERT_TRUE(channel);

  constexpr int kReports = 50;
  std::atomic<int> outOfStep{-1};
  std::future<void> worker = std::async(std::launch::async, [&] {
    for (int i = 0; i < kReports; ++i) {
      channel->Send(kStatusMessage, "报告 " + std::to_string(i));
      // Synchronous: the window has handled this report, and no later one.
      if (shown.dialog.messageCount.load() != i + 1 && outOfStep.load() < 0) outOfStep = i;
    }
  });
  ASSERT_TRUE(Finishes(worker));

  EXPECT_EQ(outOfStep.load(), -1);
  EXPECT_TRUE(allOnUiThread);
  ASSERT_EQ(shown.dialog.events.size(), static_cast<size_t>(kReports));
  for (int i = 0; i < kReports; ++i)
    EXPECT_EQ(shown.dialog.events[i],
              (RecordedEvent{Event::Message, kStatusMessage, "报告 " + std::to_string(i)}));
}

TEST(QtStatusChannel, DestroyingTheWindowReleasesAWaitingWorker) {
  ShownDialog shown;
  ASSERT_NO_FATAL_FAILURE(shown.Open());
  std::shared_ptr<StatusReceiver> channel = shown.dialog.StatusChannel();
  std::atomic<bool> sending{false};
  std::future<void> worker = std::async(std::launch::async, [&] {
    sending = true;
    channel->Send(kStatusMessage, "运行中");
  });
  // The UI thread runs no events: the report stays queued and the worker
  // waits for it (or is about to).
  while (!sending) std::this_thread::yield();
  std::this_thread::sleep_for(20ms);

  shown.window.reset();
  EXPECT_EQ(worker.wait_for(10s), std::future_status::ready) << "the worker is still blocked";
  // Whatever was queued for the window is dropped, not delivered to it.
  QCoreApplication::processEvents();
  EXPECT_TRUE(shown.dialog.events.empty());
  EXPECT_EQ(shown.dialog.Host(), nullptr);

  // Later reports return at once.
  std::future<void> late =
      std::async(std::launch::async, [&] { channel->Send(kStatusMessage, "_THREAD_DONE_"); });
  EXPECT_EQ(late.wait_for(10s), std::future_status::ready);
  QCoreApplication::processEvents();
  EXPECT_TRUE(shown.dialog.events.empty());
}

// The user closes the window in the middle of a scan: the modal loop ends at
// once, the worker reporting on is let go, and nothing reaches the window
// after it was ended.
TEST(QtStatusChannel, EndingTheDialogDuringReportsReleasesTheWorker) {
  ui::QtModalRunner runner;
  ui::ModalRunner* previous = ui::SetModalRunner(&runner);

  RecordingDialog dialog;
  std::future<void> worker;
  std::atomic<int> sent{0};
  dialog.onInit = [&] {
    std::shared_ptr<StatusReceiver> channel = dialog.StatusChannel();
    worker = std::async(std::launch::async, [channel, &sent] {
      for (int i = 0; i < 1000; ++i) {
        channel->Send(kStatusMessage, "报告");
        ++sent;
      }
    });
    return true;
  };
  dialog.onEvent = [&](const RecordedEvent& e) {
    if (e.event == Event::Message && dialog.messageCount.load() == 2) {
      // This is the third report: the user presses Esc now.
      QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
    }
    return e.id != IDCANCEL;
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  ASSERT_TRUE(worker.valid());
  EXPECT_EQ(worker.wait_for(10s), std::future_status::ready) << "the worker is still blocked";
  QCoreApplication::processEvents();

  EXPECT_EQ(sent.load(), 1000);
  ASSERT_EQ(dialog.EventsOf(Event::Message).size(), 3u);
  EXPECT_EQ(dialog.events.back(), (RecordedEvent{Event::Clicked, IDCANCEL, ""}));
  ui::SetModalRunner(previous);
}

}  // namespace
