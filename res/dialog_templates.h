// Dialog templates as data, for the toolkits that build their windows at run
// time (Qt, the in-memory test host). Generated from the same control lists
// as the resource script, so the two cannot drift apart.
#pragma once

#include <span>

enum class ControlKind { Edit, PushButton, DefPushButton, CheckBox, Label, GroupBox };

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* caption;      // UTF-8
  int x, y, width, height;  // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;  // UTF-8
  int width, height;    // dialog units
  const char* fontFace;
  int fontPoints;
  std::span<const ControlTemplate> controls;
};

// The template with the given id (IDD_MAIN, IDD_ABOUT), or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

// A short English name of the kind, for test messages.
const char* ControlKindName(ControlKind kind);
