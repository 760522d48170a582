// The base of the program's dialogs. A dialog reaches its controls only
// through these calls, so the same class runs on Win32, on Qt and on the
// in-memory test host. Commands reach it through a static table of
// (event, control id or message) -> member handler.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "ui/dialog_host.h"

namespace ui {

enum class Event {
  Clicked,      // button or check box clicked (BN_CLICKED; Qt clicked)
  TextChanged,  // edit text changed, by the user or from code (EN_CHANGE)
  Message,      // a private window message carrying a text (id = message)
};

class Dialog;

// One entry of a dialog's command table. Command handlers take nothing;
// message handlers take the status text.
template <class D>
struct CommandEntry {
  Event event;
  int id;
  void (D::*onCommand)() = nullptr;
  void (D::*onMessage)(const std::string& text) = nullptr;
};

template <class D>
constexpr CommandEntry<D> OnCommand(Event event, int id, void (D::*handler)()) {
  return {event, id, handler, nullptr};
}

template <class D>
constexpr CommandEntry<D> OnMessage(int message, void (D::*handler)(const std::string&)) {
  return {Event::Message, message, nullptr, handler};
}

class Dialog {
 public:
  explicit Dialog(int templateId);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  int TemplateId() const { return templateId_; }

  // Shows the dialog modally through the installed back-end and returns the
  // result it was ended with.
  int DoModal();

  // Called by the host.
  void Attach(DialogHost* host) { host_ = host; }
  void Detach() { host_ = nullptr; }
  DialogHost* Host() const { return host_; }
  // Runs once the controls exist; false when the dialog set the focus itself.
  virtual bool OnInitDialog() { return true; }
  // Routes an event to the command table. IDOK and IDCANCEL that the table
  // does not name end the dialog with their id. True when handled.
  bool Dispatch(Event event, int id, const std::string& text = {});

 protected:
  // Looks up the derived class's command table; see DispatchTable.
  virtual bool DispatchCommand(Event event, int id, const std::string& text) = 0;

  template <class D>
  bool DispatchTable(std::span<const CommandEntry<D>> table, Event event, int id,
                     const std::string& text) {
    for (const CommandEntry<D>& entry : table) {
      if (entry.event != event || entry.id != id) continue;
      D* self = static_cast<D*>(this);
      if (entry.onMessage)
        (self->*entry.onMessage)(text);
      else
        (self->*entry.onCommand)();
      return true;
    }
    return false;
  }

  // Control access, forwarded to the host (no effect without one).
  std::string GetItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  int GetCheck(int id) const;
  bool IsChecked(int id) const { return GetCheck(id) == 1; }
  void SetCheck(int id, int state);
  void EnableItem(int id, bool enable);
  bool IsItemEnabled(int id) const;
  void SetFocusItem(int id);
  void SetAccessibleName(int id, const std::string& name);
  void SetTitle(const std::string& title);
  void SetIcon(int iconId);
  bool AskYesNo(const std::string& text, const std::string& caption);
  void EndDialog(int result);
  std::shared_ptr<StatusReceiver> StatusChannel();
  void* NativeHandle() const;

 private:
  int templateId_;
  DialogHost* host_ = nullptr;
};

// The back-end that shows dialogs modally: Win32, Qt, or a test's.
class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Creates the window from the dialog's template, attaches a host, runs
  // OnInitDialog and the modal loop, and returns the end result.
  virtual int RunModal(Dialog& dialog) = 0;
};

// Installs the back-end used by Dialog::DoModal; returns the previous one.
ModalRunner* SetModalRunner(ModalRunner* runner);

}  // namespace ui
