#include "ui/memory/memory_host.h"

#include <algorithm>
#include <stdexcept>

#include "res/resource_ids.h"

namespace ui {

namespace {
constexpr std::chrono::milliseconds kPollInterval(5);
}  // namespace

MemoryHost::MemoryHost(Dialog& dialog) : dialog_(dialog) {
  if (const DialogTemplate* frame = FindDialogTemplate(dialog.TemplateId())) {
    title_ = frame->caption;
    for (const ControlTemplate& c : frame->controls) {
      if (c.id == IDC_STATIC) continue;
      Control& control = controls_[c.id];
      tabOrder_.push_back(c.id);
      control.kind = c.kind;
      control.text = c.caption;
      if (c.kind == ControlKind::DefPushButton) defaultButton_ = c.id;
    }
  }
  channel_ = std::make_shared<BlockingStatusChannel>(
      [this](std::function<void()> task) {
        std::lock_guard guard(queueMutex_);
        tasks_.push_back(std::move(task));
        queued_.notify_all();
      },
      [this](unsigned message, const std::string& text) {
        dialog_.Dispatch(Event::Message, static_cast<int>(message), text);
      });
  dialog_.Attach(this);
}

MemoryHost::~MemoryHost() {
  channel_->Close();
  dialog_.Detach();
}

void MemoryHost::Open() {
  if (dialog_.OnInitDialog()) {
    // The framework's default focus, as the real hosts choose it: the first
    // enabled edit, button or check box in template order.
    for (int id : tabOrder_) {
      const Control& control = controls_.at(id);
      if (control.enabled && control.kind != ControlKind::Label &&
          control.kind != ControlKind::GroupBox) {
        focused_ = id;
        break;
      }
    }
  }
}

MemoryHost::Control& MemoryHost::Item(int id) {
  auto it = controls_.find(id);
  if (it == controls_.end()) throw std::out_of_range("no control " + std::to_string(id));
  return it->second;
}

const MemoryHost::Control& MemoryHost::Item(int id) const {
  auto it = controls_.find(id);
  if (it == controls_.end()) throw std::out_of_range("no control " + std::to_string(id));
  return it->second;
}

void MemoryHost::Click(int id) {
  Control& control = Item(id);
  if (!control.enabled || ended_) return;
  if (control.kind == ControlKind::CheckBox) control.check = control.check == 1 ? 0 : 1;
  focused_ = id;
  dialog_.Dispatch(Event::Clicked, id);
}

void MemoryHost::Type(int id, const std::string& text) {
  if (!Item(id).enabled || ended_) return;
  focused_ = id;
  SetItemText(id, text);
}

void MemoryHost::PressEnter() {
  // As in a Win32 dialog: Enter clicks the default button, and nothing
  // happens while that button is disabled.
  if (!ended_ && Item(defaultButton_).enabled) dialog_.Dispatch(Event::Clicked, defaultButton_);
}

void MemoryHost::PressEscape() {
  if (!ended_) dialog_.Dispatch(Event::Clicked, IDCANCEL);
}

const std::vector<std::string>& MemoryHost::TextHistory(int id) const { return Item(id).history; }

bool MemoryHost::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    std::function<void()> task;
    {
      // Wake up now and then: done() may come true on another thread without
      // a status message (the worker marks the runner idle after its last one).
      std::unique_lock lock(queueMutex_);
      const auto wakeUp = std::min(deadline, std::chrono::steady_clock::now() + kPollInterval);
      if (!queued_.wait_until(lock, wakeUp, [&] { return !tasks_.empty(); })) {
        if (std::chrono::steady_clock::now() >= deadline) return done();
        continue;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

std::string MemoryHost::GetItemText(int id) const { return Item(id).text; }

void MemoryHost::SetItemText(int id, const std::string& text) {
  Control& control = Item(id);
  control.text = text;
  control.history.push_back(text);
  // As with a real edit, a text set from code is reported as a change.
  if (control.kind == ControlKind::Edit) dialog_.Dispatch(Event::TextChanged, id);
}

int MemoryHost::GetCheck(int id) const { return Item(id).check; }

void MemoryHost::SetCheck(int id, int state) { Item(id).check = state; }

void MemoryHost::EnableItem(int id, bool enable) { Item(id).enabled = enable; }

bool MemoryHost::IsItemEnabled(int id) const { return Item(id).enabled; }

void MemoryHost::SetFocusItem(int id) {
  Item(id);
  focused_ = id;
}

void MemoryHost::SetAccessibleName(int id, const std::string& name) {
  Item(id).accessibleName = name;
}

void MemoryHost::SetTitle(const std::string& title) { title_ = title; }

void MemoryHost::SetIcon(int iconId) { iconId_ = iconId; }

// No box to show: a question a test does not answer (ModalAnswers) is No.
bool MemoryHost::AskYesNo(const std::string&, const std::string&) { return false; }

void MemoryHost::End(int result) {
  ended_ = true;
  result_ = result;
}

std::shared_ptr<StatusReceiver> MemoryHost::StatusChannel() { return channel_; }

MemoryModalRunner::MemoryModalRunner(Session session)
    : session_(std::move(session)), previous_(SetModalRunner(this)) {}

MemoryModalRunner::~MemoryModalRunner() { SetModalRunner(previous_); }

int MemoryModalRunner::RunModal(Dialog& dialog) {
  ++runs_;
  MemoryHost host(dialog);
  host.Open();
  if (session_) session_(dialog, host);
  return host.IsEnded() ? host.Result() : IDCANCEL;
}

}  // namespace ui
