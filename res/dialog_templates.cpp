#include "res/dialog_templates.h"

#include "res/dialog_frames.h"
#include "res/resource_ids.h"

#define CTL_EDIT(id, x, y, w, h) {id, ControlKind::Edit, "", x, y, w, h},
#define CTL_BUTTON(id, text, x, y, w, h) {id, ControlKind::PushButton, text, x, y, w, h},
#define CTL_DEFBUTTON(id, text, x, y, w, h) {id, ControlKind::DefPushButton, text, x, y, w, h},
#define CTL_CHECK(id, text, x, y, w, h) {id, ControlKind::CheckBox, text, x, y, w, h},
#define CTL_LABEL(id, text, x, y, w, h) {id, ControlKind::Label, text, x, y, w, h},
#define CTL_GROUP(id, text, x, y, w, h) {id, ControlKind::GroupBox, text, x, y, w, h},

namespace {

const ControlTemplate kMainControls[] = {
#include "res/main_dialog.inc"
};

const ControlTemplate kAboutControls[] = {
#include "res/about_dialog.inc"
};

const DialogTemplate kTemplates[] = {
    {IDD_MAIN, MAIN_DIALOG_CAPTION, MAIN_DIALOG_WIDTH, MAIN_DIALOG_HEIGHT, DIALOG_FONT_FACE,
     DIALOG_FONT_POINTS, kMainControls},
    {IDD_ABOUT, ABOUT_DIALOG_CAPTION, ABOUT_DIALOG_WIDTH, ABOUT_DIALOG_HEIGHT, DIALOG_FONT_FACE,
     DIALOG_FONT_POINTS, kAboutControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
  for (const DialogTemplate& t : kTemplates)
    if (t.id == id) return &t;
  return nullptr;
}

const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Edit:
      return "edit";
    case ControlKind::PushButton:
      return "button";
    case ControlKind::DefPushButton:
      return "default button";
    case ControlKind::CheckBox:
      return "check box";
    case ControlKind::Label:
      return "label";
    case ControlKind::GroupBox:
      return "group box";
  }
  return "?";
}
