// A dialog host without any toolkit: controls are records in memory. Tests
// drive a dialog through it as a user would (click, type, Enter, Esc) and read
// back texts, check marks and enabled states. The worker's status messages queue up
// here until the test runs them on its own thread, the "UI thread".
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "res/dialog_templates.h"
#include "ui/blocking_status_channel.h"
#include "ui/dialog.h"

namespace ui {

class MemoryHost : public DialogHost {
 public:
  // Builds the controls of the dialog's template and attaches to it.
  explicit MemoryHost(Dialog& dialog);
  // Closes the status channel and detaches, as a window going away does.
  ~MemoryHost() override;

  // Runs the dialog's OnInitDialog, as a real host does once its window exists.
  void Open();
  bool IsEnded() const { return ended_; }
  int Result() const { return result_; }

  // What a user does.
  void Click(int id);  // a disabled control ignores it; check boxes toggle first
  void Type(int id, const std::string& text);
  void PressEnter();   // the default button's command (none while it is disabled)
  void PressEscape();  // IDCANCEL

  // Every text a control was given, in order (the status line's history).
  const std::vector<std::string>& TextHistory(int id) const;
  int FocusedItem() const { return focused_; }
  // The name the dialog gave the control for screen readers (empty: none).
  const std::string& AccessibleName(int id) const { return Item(id).accessibleName; }
  const std::string& Title() const { return title_; }
  int IconId() const { return iconId_; }

  // Runs queued status messages on this thread until done() holds or timeout passes.
  // True when done() held.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // DialogHost
  std::string GetItemText(int id) const override;
  void SetItemText(int id, const std::string& text) override;
  int GetCheck(int id) const override;
  void SetCheck(int id, int state) override;
  void EnableItem(int id, bool enable) override;
  bool IsItemEnabled(int id) const override;
  void SetFocusItem(int id) override;
  void SetAccessibleName(int id, const std::string& name) override;
  void SetTitle(const std::string& title) override;
  void SetIcon(int iconId) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void End(int result) override;
  std::shared_ptr<StatusReceiver> StatusChannel() override;
  void* NativeHandle() const override { return nullptr; }

 private:
  struct Control {
    ControlKind kind = ControlKind::Label;
    std::string text;
    int check = 0;
    bool enabled = true;
    std::vector<std::string> history;
    std::string accessibleName;
  };
  Control& Item(int id);
  const Control& Item(int id) const;

  Dialog& dialog_;
  std::map<int, Control> controls_;
  std::vector<int> tabOrder_;  // the controls in template order
  int defaultButton_ = 1;      // IDOK unless the template names another
  int focused_ = 0;
  std::string title_;
  int iconId_ = 0;
  bool ended_ = false;
  int result_ = 0;

  std::mutex queueMutex_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> tasks_;
  std::shared_ptr<BlockingStatusChannel> channel_;
};

// Shows dialogs modally on MemoryHosts: for a dialog that opens another (the
// about box). The callback plays the user while the dialog is open; a dialog
// the callback does not end counts as closed with IDCANCEL.
class MemoryModalRunner : public ModalRunner {
 public:
  using Session = std::function<void(Dialog& dialog, MemoryHost& host)>;
  explicit MemoryModalRunner(Session session);
  ~MemoryModalRunner() override;
  int RunModal(Dialog& dialog) override;
  int Runs() const { return runs_; }

 private:
  Session session_;
  ModalRunner* previous_;
  int runs_ = 0;
};

}  // namespace ui
