#include "ui/dialog.h"

#include "res/resource_ids.h"
#include "support/modal_answers.h"

namespace ui {

namespace {
ModalRunner* g_modalRunner = nullptr;
}  // namespace

ModalRunner* SetModalRunner(ModalRunner* runner) {
  ModalRunner* previous = g_modalRunner;
  g_modalRunner = runner;
  return previous;
}

Dialog::Dialog(int templateId) : templateId_(templateId) {}

Dialog::~Dialog() = default;

int Dialog::DoModal() {
  if (!g_modalRunner) return -1;
  return g_modalRunner->RunModal(*this);
}

bool Dialog::Dispatch(Event event, int id, const std::string& text) {
  if (DispatchCommand(event, id, text)) return true;
  // The framework's defaults for the two standard commands.
  if (event == Event::Clicked && (id == IDOK || id == IDCANCEL)) {
    EndDialog(id);
    return true;
  }
  return false;
}

std::string Dialog::GetItemText(int id) const {
  return host_ ? host_->GetItemText(id) : std::string();
}

void Dialog::SetItemText(int id, const std::string& text) {
  if (host_) host_->SetItemText(id, text);
}

int Dialog::GetCheck(int id) const { return host_ ? host_->GetCheck(id) : 0; }

void Dialog::SetCheck(int id, int state) {
  if (host_) host_->SetCheck(id, state);
}

void Dialog::EnableItem(int id, bool enable) {
  if (host_) host_->EnableItem(id, enable);
}

bool Dialog::IsItemEnabled(int id) const { return host_ && host_->IsItemEnabled(id); }

void Dialog::SetFocusItem(int id) {
  if (host_) host_->SetFocusItem(id);
}

void Dialog::SetAccessibleName(int id, const std::string& name) {
  if (host_) host_->SetAccessibleName(id, name);
}

void Dialog::SetTitle(const std::string& title) {
  if (host_) host_->SetTitle(title);
}

void Dialog::SetIcon(int iconId) {
  if (host_) host_->SetIcon(iconId);
}

bool Dialog::AskYesNo(const std::string& text, const std::string& caption) {
  ModalAnswer answer;
  if (AnswerFromTest({ModalKind::Question, text, caption}, &answer)) return answer.yes;
  return host_ && host_->AskYesNo(text, caption);
}

void Dialog::EndDialog(int result) {
  if (host_) host_->End(result);
}

std::shared_ptr<StatusReceiver> Dialog::StatusChannel() {
  return host_ ? host_->StatusChannel() : nullptr;
}

void* Dialog::NativeHandle() const { return host_ ? host_->NativeHandle() : nullptr; }

}  // namespace ui
