// The Qt back-end of the dialog framework: a QDialog built at run time from a
// dialog template, the DialogHost through which the dialog reaches it, and the
// ModalRunner that shows dialogs modally.
#pragma once

#include <memory>
#include <vector>

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QSize>

#include "res/dialog_templates.h"
#include "ui/dialog.h"

class QDialog;
class QWidget;

namespace ui {

// Every control widget carries its control id in this property, so that tests
// and tools can find it with QObject::property.
inline constexpr char kControlIdProperty[] = "quorvelControlId";

// The template's font ("宋体" 9 pt) followed by CJK families that stand in for
// it where it is not installed, so that no caption shows missing glyphs.
QFont DialogFont(const DialogTemplate& dialogTemplate);

// The dialog base units of font, as Windows computes them: the average width
// of the 52 letters of the alphabet (rounded) and the font's height.
QSize DialogBaseUnits(const QFont& font);

// A rectangle in dialog units converted to pixels: x * baseX / 4 and
// y * baseY / 8, each rounded to the nearest pixel.
QRect DialogUnitsToPixels(const QRect& units, const QSize& baseUnits);

// Moves window to the centre of its owner, or of the screen without one,
// keeping it on the screen.
void CentreOnOwner(QWidget* window);

// The icons a window takes by resource id (DialogHost::SetIcon), as a Windows
// program finds them among its resources: the program registers each icon
// once, before its windows open. An id nothing was registered under leaves
// the window's icon as it is.
void RegisterIcon(int iconId, const QIcon& icon);

// One dialog's window, built from its template, with the host attached to the
// dialog for as long as the window lives. Destroying it closes the dialog's
// status channel first, so that no message reaches a window that is gone.
class QtDialogWindow {
 public:
  // Builds the window and its controls (hidden) and attaches the host to
  // dialog. parent is the owner window (null: centred on the screen).
  explicit QtDialogWindow(Dialog& dialog, QWidget* parent = nullptr);
  ~QtDialogWindow();
  QtDialogWindow(const QtDialogWindow&) = delete;
  QtDialogWindow& operator=(const QtDialogWindow&) = delete;

  // False when the dialog's template does not exist (the window is empty).
  bool HasTemplate() const;

  // Runs OnInitDialog and, when it leaves the focus to the framework, puts
  // the focus on the first control that takes it.
  void Initialize();
  // Moves the window to the centre of its owner, or of the screen.
  void Place();
  // Places and shows the window modally until the dialog is ended; returns
  // the result it was ended with (-1 without a template).
  int Exec();

  // True once the dialog was ended (End), with Result() its result.
  bool IsEnded() const;
  int Result() const;

  QDialog* Window() const;
  // The first control with id, or null.
  QWidget* Control(int id) const;
  // Every control in template order.
  const std::vector<QWidget*>& Controls() const;
  DialogHost& Host();

  // The innermost window shown by Exec right now, or null.
  static QtDialogWindow* Active();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// Shows dialogs modally as Qt windows; a dialog opened while another one runs
// is owned by (and centred over) that one.
class QtModalRunner : public ModalRunner {
 public:
  int RunModal(Dialog& dialog) override;
};

}  // namespace ui
