// The Qt window during a long scan: the UI thread goes on handling input and
// timers while the scanner runs, and the end of the scan still arrives.
#include <algorithm>
#include <chrono>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "tests/fault_matrix/fault_matrix_fixture.h"
#include "tests/support/test_support.h"
#include "ui/qt/qt_host.h"

namespace {

bool RunEventsUntil(const std::function<bool()>& done,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limit.count()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void RunEventsFor(std::chrono::milliseconds time) {
  RunEventsUntil([] { return false; }, time);
}

TEST_F(FaultMatrixTest, LongScanLeavesTheQtWindowResponsive) {
  // The scanner runs until the test lets it end: as long as a scan of
  // minutes, for the purpose of the window.
  const std::string release = temp.Join("release");
  testing_support::SetEnv("QUORVEL_FAKE_SCAN_WAIT_FILE", release);
  MainDialog shown(desktop);
  ui::QtDialogWindow window(shown);
  window.Initialize();
  window.Place();
  window.Window()->show();
  ui::DialogHost& view = window.Host();

  QTest::mouseClick(window.Control(IDC_SCAN), Qt::LeftButton);
  ASSERT_TRUE(RunEventsUntil([&] { return view.GetItemText(IDC_STATUS) == "运行中"; }));
  EXPECT_FALSE(window.Control(IDC_SCAN)->isEnabled());

  // A timer ticks every 10 ms: a UI thread held up by the scan would show as
  // a long gap between two ticks.
  QElapsedTimer clock;
  clock.start();
  qint64 lastTick = 0;
  qint64 worstGap = 0;
  QTimer ticker;
  ticker.setInterval(10);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    worstGap = std::max(worstGap, now - lastTick);
    lastTick = now;
  });
  ticker.start();

  // The user works in the window while the scanner runs on.
  auto* target = qobject_cast<QLineEdit*>(window.Control(IDC_TARGET));
  auto* archives = qobject_cast<QAbstractButton*>(window.Control(IDC_ARCHIVES));
  ASSERT_NE(target, nullptr);
  ASSERT_NE(archives, nullptr);
  for (int round = 0; round < 20; ++round) {
    QTest::keyClicks(target, "a");
    const bool before = archives->isChecked();
    QTest::mouseClick(archives, Qt::LeftButton);
    EXPECT_NE(archives->isChecked(), before);
    RunEventsFor(std::chrono::milliseconds(100));
  }
  ticker.stop();
  EXPECT_LT(worstGap, 500) << "the UI thread stalled while the scanner ran";
  EXPECT_EQ(view.GetItemText(IDC_TARGET), std::string(20, 'a'));
  EXPECT_EQ(view.GetCheck(IDC_SUBDIRS), 1);  // the target's rule ran
  EXPECT_EQ(view.GetItemText(IDC_STATUS), "运行中");

  testing_support::WriteTextFile(release, "");
  ASSERT_TRUE(RunEventsUntil([&] { return shown.Runner().IsIdle(); }));
  EXPECT_EQ(view.GetItemText(IDC_STATUS), "完成. 退出代码=0. 没有发现");
  EXPECT_TRUE(window.Control(IDC_SCAN)->isEnabled());
}

}  // namespace
