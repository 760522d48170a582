// What a toolkit back-end ("host") does for a dialog: the window and its
// controls, reached by control id. Win32, Qt and the in-memory test host
// implement it.
#pragma once

#include <memory>
#include <string>

#include "base/status_receiver.h"

namespace ui {

class DialogHost {
 public:
  virtual ~DialogHost() = default;

  virtual std::string GetItemText(int id) const = 0;
  // Setting an edit's text from code sends its text-changed notification.
  virtual void SetItemText(int id, const std::string& text) = 0;
  // Checked is 1, unchecked 0. Setting it from code sends no click.
  virtual int GetCheck(int id) const = 0;
  virtual void SetCheck(int id, int state) = 0;
  virtual void EnableItem(int id, bool enable) = 0;
  virtual bool IsItemEnabled(int id) const = 0;
  virtual void SetFocusItem(int id) = 0;
  // The name a screen reader announces for the control, where its caption
  // does not say what it does (a "..." button).
  virtual void SetAccessibleName(int id, const std::string& name) = 0;

  virtual void SetTitle(const std::string& title) = 0;
  virtual void SetIcon(int iconId) = 0;

  // Modal Yes/No box owned by the window: warning icon, No as default.
  // True only for Yes. (Dialog::AskYesNo lets a test answer first.)
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;

  // Ends the modal dialog with result.
  virtual void End(int result) = 0;

  // The status channel from a worker thread to this window; its messages are
  // delivered on the UI thread as message handlers. Once the window is gone
  // the channel drops them without waiting.
  virtual std::shared_ptr<StatusReceiver> StatusChannel() = 0;

  // The native window (HWND on Windows, QWidget* with Qt), for owners of
  // system dialogs; may be null.
  virtual void* NativeHandle() const = 0;
};

}  // namespace ui
