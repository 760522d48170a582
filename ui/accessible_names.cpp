#include "ui/accessible_names.h"

namespace ui {

namespace {

bool Overlaps(int start1, int length1, int start2, int length2) {
  return start1 < start2 + length2 && start2 < start1 + length1;
}

}  // namespace

std::string WithoutAccessKeys(std::string_view caption) {
  std::string result;
  result.reserve(caption.size());
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        result += '&';
        ++i;
      }
      continue;
    }
    result += caption[i];
  }
  return result;
}

const ControlTemplate* CaptionOf(const DialogTemplate& dialogTemplate,
                                 const ControlTemplate& control) {
  constexpr int kNearLeft = 8;  // dialog units between caption and control
  constexpr int kNearAbove = 6;
  const ControlTemplate* best = nullptr;
  int bestGap = 0;
  for (const ControlTemplate& other : dialogTemplate.controls) {
    if (&other == &control) continue;
    if (other.kind != ControlKind::Label && other.kind != ControlKind::CheckBox) continue;
    const int gap = control.x - (other.x + other.width);
    if (gap >= -2 && gap <= kNearLeft &&
        Overlaps(other.y, other.height, control.y, control.height) && (!best || gap < bestGap)) {
      best = &other;
      bestGap = gap;
    }
  }
  if (best || control.kind != ControlKind::Edit) return best;
  for (const ControlTemplate& other : dialogTemplate.controls) {
    if (other.kind != ControlKind::Label) continue;
    const int gap = control.y - (other.y + other.height);
    if (gap >= 0 && gap <= kNearAbove && Overlaps(other.x, other.width, control.x, control.width) &&
        (!best || gap < bestGap)) {
      best = &other;
      bestGap = gap;
    }
  }
  if (best) return best;
  for (const ControlTemplate& other : dialogTemplate.controls) {
    if (other.kind == ControlKind::GroupBox && control.x >= other.x && control.y >= other.y &&
        control.x + control.width <= other.x + other.width &&
        control.y + control.height <= other.y + other.height)
      return &other;
  }
  return nullptr;
}

std::string EditAccessibleName(const DialogTemplate& dialogTemplate, const ControlTemplate& edit) {
  const ControlTemplate* caption = CaptionOf(dialogTemplate, edit);
  return caption ? WithoutAccessKeys(caption->caption) : std::string();
}

}  // namespace ui
