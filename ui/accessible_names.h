// Names that screen readers announce for a dialog's controls, worked out from
// its template the same way by every toolkit back-end.
#pragma once

#include <string>
#include <string_view>

#include "res/dialog_templates.h"

namespace ui {

// A caption as a screen reader should say it: access-key marks removed, "&&"
// read as one "&".
std::string WithoutAccessKeys(std::string_view caption);

// The control whose caption names control, as a screen reader would find it:
// a label or check box just left of it on the same line, else (for an edit) a
// label just above it, else (for an edit) the group box around it. Null when
// there is none.
const ControlTemplate* CaptionOf(const DialogTemplate& dialogTemplate,
                                 const ControlTemplate& control);

// An edit has no caption of its own: its name is the caption that names it
// (CaptionOf), or empty.
std::string EditAccessibleName(const DialogTemplate& dialogTemplate, const ControlTemplate& edit);

}  // namespace ui
