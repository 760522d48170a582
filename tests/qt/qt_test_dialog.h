// A dialog for the Qt host's tests: it records every event that reaches its
// command table and lets a test decide what each one does.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>

#include "res/resource_ids.h"
#include "ui/dialog.h"
#include "ui/qt/qt_host.h"

struct RecordedEvent {
  ui::Event event;
  int id;
  std::string text;
  bool operator==(const RecordedEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const RecordedEvent& e) {
  return out << "{event " << static_cast<int>(e.event) << ", id " << e.id << ", \"" << e.text
             << "\"}";
}

class RecordingDialog : public ui::Dialog {
 public:
  explicit RecordingDialog(int templateId = IDD_MAIN) : ui::Dialog(templateId) {}

  // Return true when the event is handled; unhandled IDOK and IDCANCEL get
  // the framework's default (end the dialog).
  std::function<bool(const RecordedEvent&)> onEvent;
  std::function<bool()> onInit;

  std::vector<RecordedEvent> events;
  std::atomic<int> messageCount{0};

  bool OnInitDialog() override { return onInit ? onInit() : true; }

  std::vector<RecordedEvent> EventsOf(ui::Event kind) const {
    std::vector<RecordedEvent> result;
    for (const RecordedEvent& e : events)
      if (e.event == kind) result.push_back(e);
    return result;
  }

  using ui::Dialog::EnableItem;
  using ui::Dialog::EndDialog;
  using ui::Dialog::GetCheck;
  using ui::Dialog::GetItemText;
  using ui::Dialog::SetCheck;
  using ui::Dialog::SetItemText;
  using ui::Dialog::StatusChannel;

 protected:
  bool DispatchCommand(ui::Event event, int id, const std::string& text) override {
    events.push_back({event, id, text});
    const RecordedEvent copy = events.back();
    bool handled = onEvent ? onEvent(copy) : (id != IDOK && id != IDCANCEL);
    if (event == ui::Event::Message) ++messageCount;
    return handled;
  }
};

// Runs the UI thread's events until done() holds or the time is up.
inline bool RunEventsUntil(const std::function<bool()>& done,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// A window built from its template, shown and active, as the user sees it.
struct ShownDialog {
  explicit ShownDialog(int templateId = IDD_MAIN) : dialog(templateId) {}

  void Open() {
    window = std::make_unique<ui::QtDialogWindow>(dialog);
    window->Initialize();
    window->Place();
    window->Window()->show();
    window->Window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window->Window()));
  }

  QWidget* Control(int id) const { return window->Control(id); }

  RecordingDialog dialog;
  std::unique_ptr<ui::QtDialogWindow> window;
};

// The visible message box, if one is open.
inline QMessageBox* OpenMessageBox() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) return box;
  return nullptr;
}
