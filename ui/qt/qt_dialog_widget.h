// The QDialog of a template, as the Qt host builds it: it routes Enter, Esc,
// the close box and accept()/reject() to its owner (the host) instead of
// ending itself.
#pragma once

#include <QDialog>
#include <QKeyEvent>

#include "res/resource_ids.h"
#include "ui/dialog.h"

namespace ui {

// What the dialog widget reports to its host.
class DialogWidgetOwner {
 public:
  virtual void OnControlEvent(Event event, int id) = 0;
  virtual void OnEnterKey() = 0;

 protected:
  ~DialogWidgetOwner() = default;
};

// The QDialog of a template: it routes Enter, Esc, the close box and
// accept()/reject() to the dialog's command table instead of ending itself.
class DialogWidget final : public QDialog {
 public:
  DialogWidget(DialogWidgetOwner* owner, QWidget* parent)
      : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
        owner_(owner) {}

  void ForgetOwner() { owner_ = nullptr; }

  void accept() override {
    if (owner_) owner_->OnControlEvent(Event::Clicked, IDOK);
  }
  // Esc and the close box come here (QDialog::closeEvent keeps the window
  // open when it is still visible afterwards).
  void reject() override {
    if (owner_) owner_->OnControlEvent(Event::Clicked, IDCANCEL);
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      // A focused push button has taken its own Enter already; what arrives
      // here comes from an edit, a check box or the window itself.
      event->accept();
      if (owner_) owner_->OnEnterKey();
      return;
    }
    QDialog::keyPressEvent(event);
  }

 private:
  DialogWidgetOwner* owner_;
};

}  // namespace ui
