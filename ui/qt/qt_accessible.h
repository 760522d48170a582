// What a screen reader hears of a Qt dialog's controls (the names themselves
// are worked out in accessible_names.h, alike for every back-end).
#pragma once

#include <vector>

#include "res/dialog_templates.h"

class QWidget;

namespace ui {

// Names the control after its caption as it reads now: a button, check box
// or group box without its access-key marks, a label by its text. An edit's
// name comes from the caption that names it in the template; one set by the
// dialog (SetAccessibleName) is kept until its caption changes.
void NameAfterCaption(QWidget* widget, const DialogTemplate& dialogTemplate,
                      const ControlTemplate& control);
void NameAfterCaption(QWidget* widget);

// Relates each label that shows a value (the status line) to the caption
// label before it ("操作:"), so that a screen reader says what the value is.
// controls are the template's widgets in template order.
void RelateValuesToCaptions(const DialogTemplate& dialogTemplate,
                            const std::vector<QWidget*>& controls);

}  // namespace ui
