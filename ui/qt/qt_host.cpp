// The Qt host: a QDialog built from the dialog's template, its controls reached
// by id, and the translation of Qt's signals into the dialog's command table.
//
// Events follow the Win32 build: a click on a button, or any change the user
// makes to a check box (mouse, keyboard or an assistive technology's toggle),
// sends Clicked, while a check mark set from code sends nothing; every change
// of an edit's text sends TextChanged, also one set from code. Enter runs the
// default push button (or the focused one), never closes the window by
// itself; Esc, the close box and reject() send IDCANCEL and the dialog's
// table decides what happens.

#include <algorithm>
#include <map>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>

#include "res/resource_ids.h"
#include "ui/qt/qt_accessible.h"
#include "ui/qt/qt_dialog_widget.h"
#include "ui/qt/qt_host.h"
#include "ui/qt/qt_status_posting.h"

namespace ui {

namespace {

// Windows that QtDialogWindow::Exec shows right now, innermost last (UI
// thread only).
std::vector<QtDialogWindow*> g_activeWindows;

// The icons registered by resource id (UI thread only).
std::map<int, QIcon> g_icons;

// A label keeps the text it was given (CR LF and all) in this property, so
// that reading it back returns exactly that; it shows the text with plain
// line feeds.
constexpr char kRawTextProperty[] = "quorvelRawText";

QString ToQString(const std::string& text) { return QString::fromStdString(text); }
std::string ToStdString(const QString& text) { return text.toStdString(); }

// Texts for Qt's widgets: a CR LF pair is one line break.
QString WithPlainLineBreaks(const std::string& text) {
  QString result = ToQString(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

}  // namespace

class QtDialogWindow::Impl final : public DialogHost, private DialogWidgetOwner {
 public:
  Impl(Dialog& dialog, QWidget* parent);
  ~Impl() override;

  void Build();
  void Initialize();
  void Place();
  int Exec(QtDialogWindow* self);

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
  void* NativeHandle() const override;

  QWidget* Control(int id) const;

  Dialog* dialog_;  // null once detached
  const DialogTemplate* template_;
  QPointer<DialogWidget> window_;
  std::vector<QWidget*> controls_;
  // Runs on the UI thread, only while the channel is open, and the channel
  // is closed before this host goes away.
  QtStatusPosting status_{[this](unsigned message, const std::string& text) {
    if (dialog_) dialog_->Dispatch(Event::Message, static_cast<int>(message), text);
  }};
  bool ended_ = false;
  int result_ = 0;

 private:
  void OnControlEvent(Event event, int id) override;
  void OnEnterKey() override;
  QWidget* CreateControl(const ControlTemplate& control);
};

QtDialogWindow::Impl::Impl(Dialog& dialog, QWidget* parent)
    : dialog_(&dialog), template_(FindDialogTemplate(dialog.TemplateId())) {
  window_ = new DialogWidget(this, parent);
  Build();
  dialog.Attach(this);
}

QtDialogWindow::Impl::~Impl() {
  // First cut the worker off (it may be waiting in Send), then the window.
  status_.Close();
  if (dialog_) dialog_->Detach();
  dialog_ = nullptr;
  if (window_) {
    window_->ForgetOwner();
    delete window_.data();
  }
}

QWidget* QtDialogWindow::Impl::CreateControl(const ControlTemplate& control) {
  const QString caption = QString::fromUtf8(control.caption);
  const int id = control.id;
  switch (control.kind) {
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(window_);
      edit->setText(caption);
      QObject::connect(edit, &QLineEdit::textChanged, window_,
                       [this, id] { OnControlEvent(Event::TextChanged, id); });
      return edit;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(caption, window_);
      // As in a Windows dialog, a focused push button takes Enter itself and
      // the default one gets it everywhere else.
      button->setAutoDefault(true);
      if (control.kind == ControlKind::DefPushButton) button->setDefault(true);
      QObject::connect(button, &QAbstractButton::clicked, window_,
                       [this, id] { OnControlEvent(Event::Clicked, id); });
      return button;
    }
    case ControlKind::CheckBox: {
      auto* check = new QCheckBox(caption, window_);
      // toggled, not clicked: an assistive technology's toggle action calls
      // toggle(), which sends no clicked. Changes made from code are kept
      // quiet in SetCheck.
      QObject::connect(check, &QAbstractButton::toggled, window_,
                       [this, id] { OnControlEvent(Event::Clicked, id); });
      return check;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(window_);
      // Plain text: a status with "&" or "<" in a path shows as it is.
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setFocusPolicy(Qt::NoFocus);
      label->setProperty(kRawTextProperty, caption);
      label->setText(caption);
      return label;
    }
    case ControlKind::GroupBox: {
      auto* group = new QGroupBox(caption, window_);
      group->setFocusPolicy(Qt::NoFocus);
      // A frame only: clicks go through to whatever lies in it.
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      return group;
    }
  }
  return nullptr;
}

void QtDialogWindow::Impl::Build() {
  if (!template_) return;
  window_->setWindowTitle(QString::fromUtf8(template_->caption));
  const QFont font = DialogFont(*template_);
  window_->setFont(font);
  const QSize baseUnits = DialogBaseUnits(font);
  window_->setFixedSize(
      DialogUnitsToPixels(QRect(0, 0, template_->width, template_->height), baseUnits).size());

  QWidget* previousTabStop = nullptr;
  for (const ControlTemplate& control : template_->controls) {
    QWidget* widget = CreateControl(control);
    widget->setGeometry(
        DialogUnitsToPixels(QRect(control.x, control.y, control.width, control.height), baseUnits));
    widget->setProperty(kControlIdProperty, control.id);
    NameAfterCaption(widget, *template_, control);
    controls_.push_back(widget);
    // Template order is the Tab order.
    if (widget->focusPolicy() & Qt::TabFocus) {
      if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
  }
  // Group boxes are drawn beneath the controls they frame.
  for (QWidget* widget : controls_)
    if (qobject_cast<QGroupBox*>(widget)) widget->lower();
  RelateValuesToCaptions(*template_, controls_);
}

void QtDialogWindow::Impl::Initialize() {
  if (!dialog_ || !template_) return;
  const bool frameworkSetsFocus = dialog_->OnInitDialog();
  if (!frameworkSetsFocus || ended_) return;
  // The first control that takes the focus, as Windows chooses it.
  for (QWidget* widget : controls_) {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isEnabledTo(window_)) {
      widget->setFocus(Qt::TabFocusReason);
      break;
    }
  }
}

void QtDialogWindow::Impl::Place() { CentreOnOwner(window_); }

int QtDialogWindow::Impl::Exec(QtDialogWindow* self) {
  if (!template_) return -1;
  // Ended already, during OnInitDialog: the window never shows.
  if (ended_) return result_;
  Place();
  g_activeWindows.push_back(self);
  window_->exec();
  g_activeWindows.erase(std::find(g_activeWindows.begin(), g_activeWindows.end(), self));
  status_.Close();
  return ended_ ? result_ : (window_ ? window_->result() : -1);
}

void QtDialogWindow::Impl::OnControlEvent(Event event, int id) {
  if (dialog_) dialog_->Dispatch(event, id);
}

void QtDialogWindow::Impl::OnEnterKey() {
  for (QWidget* widget : controls_) {
    auto* button = qobject_cast<QPushButton*>(widget);
    if (!button || !button->isDefault()) continue;
    // A disabled default button (Scan during a scan) swallows Enter.
    if (button->isEnabled() && button->isVisible()) button->click();
    return;
  }
  // No default button: Enter is the IDOK command.
  OnControlEvent(Event::Clicked, IDOK);
}

QWidget* QtDialogWindow::Impl::Control(int id) const {
  for (QWidget* widget : controls_)
    if (widget->property(kControlIdProperty).toInt() == id) return widget;
  return nullptr;
}

std::string QtDialogWindow::Impl::GetItemText(int id) const {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return ToStdString(edit->text());
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return ToStdString(button->text());
  if (auto* label = qobject_cast<QLabel*>(widget))
    return ToStdString(label->property(kRawTextProperty).toString());
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return ToStdString(group->title());
  return {};
}

void QtDialogWindow::Impl::SetItemText(int id, const std::string& text) {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    const QString value = ToQString(text);
    // QLineEdit keeps quiet about an unchanged text; a Windows edit reports
    // every text set, and the dialogs rely on that.
    if (edit->text() == value)
      OnControlEvent(Event::TextChanged, id);
    else
      edit->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQString(text));
    NameAfterCaption(button);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setProperty(kRawTextProperty, ToQString(text));
    label->setText(WithPlainLineBreaks(text));
    NameAfterCaption(label);
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(ToQString(text));
    NameAfterCaption(group);
  }
}

int QtDialogWindow::Impl::GetCheck(int id) const {
  auto* check = qobject_cast<QCheckBox*>(Control(id));
  return check && check->isChecked() ? 1 : 0;
}

void QtDialogWindow::Impl::SetCheck(int id, int state) {
  // A check mark set from code sends nothing, as on Windows.
  if (auto* check = qobject_cast<QCheckBox*>(Control(id))) {
    const QSignalBlocker quiet(check);
    check->setChecked(state == 1);
  }
}

void QtDialogWindow::Impl::EnableItem(int id, bool enable) {
  QWidget* widget = Control(id);
  if (!widget) return;
  // A control greyed while it has the focus takes the focus with it, as on
  // Windows: the window is left without a focused control and Enter goes to
  // the default button. Qt would pass the focus on to the next control (from
  // Scan to Exit, so that Enter after a scan started by a click would close
  // the window).
  if (!enable && widget->hasFocus()) widget->clearFocus();
  widget->setEnabled(enable);
}

bool QtDialogWindow::Impl::IsItemEnabled(int id) const {
  QWidget* widget = Control(id);
  return widget && widget->isEnabledTo(window_);
}

void QtDialogWindow::Impl::SetFocusItem(int id) {
  if (QWidget* widget = Control(id)) widget->setFocus(Qt::OtherFocusReason);
}

void QtDialogWindow::Impl::SetAccessibleName(int id, const std::string& name) {
  if (QWidget* widget = Control(id)) widget->setAccessibleName(ToQString(name));
}

void QtDialogWindow::Impl::SetTitle(const std::string& title) {
  window_->setWindowTitle(ToQString(title));
}

void QtDialogWindow::Impl::SetIcon(int iconId) {
  const auto registered = g_icons.find(iconId);
  if (registered != g_icons.end()) window_->setWindowIcon(registered->second);
}

bool QtDialogWindow::Impl::AskYesNo(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::Warning, ToQString(caption), WithPlainLineBreaks(text),
                  QMessageBox::Yes | QMessageBox::No, window_);
  // Paths may hold "<" or "&": never read the text as markup.
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void QtDialogWindow::Impl::End(int result) {
  ended_ = true;
  result_ = result;
  // The window is finished: a worker must not wait for it any more.
  status_.Close();
  window_->done(result);
}

std::shared_ptr<StatusReceiver> QtDialogWindow::Impl::StatusChannel() { return status_.Channel(); }

void* QtDialogWindow::Impl::NativeHandle() const { return static_cast<QWidget*>(window_.data()); }

QtDialogWindow::QtDialogWindow(Dialog& dialog, QWidget* parent)
    : impl_(std::make_unique<Impl>(dialog, parent)) {}

QtDialogWindow::~QtDialogWindow() = default;

bool QtDialogWindow::HasTemplate() const { return impl_->template_ != nullptr; }
void QtDialogWindow::Initialize() { impl_->Initialize(); }
void QtDialogWindow::Place() { impl_->Place(); }
int QtDialogWindow::Exec() { return impl_->Exec(this); }
bool QtDialogWindow::IsEnded() const { return impl_->ended_; }
int QtDialogWindow::Result() const { return impl_->result_; }
QDialog* QtDialogWindow::Window() const { return impl_->window_; }
QWidget* QtDialogWindow::Control(int id) const { return impl_->Control(id); }
const std::vector<QWidget*>& QtDialogWindow::Controls() const { return impl_->controls_; }
DialogHost& QtDialogWindow::Host() { return *impl_; }

void RegisterIcon(int iconId, const QIcon& icon) {
  if (icon.isNull())
    g_icons.erase(iconId);
  else
    g_icons[iconId] = icon;
}

QtDialogWindow* QtDialogWindow::Active() {
  return g_activeWindows.empty() ? nullptr : g_activeWindows.back();
}

int QtModalRunner::RunModal(Dialog& dialog) {
  QWidget* owner = nullptr;
  if (QtDialogWindow* active = QtDialogWindow::Active()) owner = active->Window();
  QtDialogWindow window(dialog, owner);
  if (!window.HasTemplate()) return -1;
  window.Initialize();
  return window.Exec();
}

}  // namespace ui
