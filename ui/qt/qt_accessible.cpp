#include "ui/qt/qt_accessible.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "res/resource_ids.h"
#include "ui/accessible_names.h"

namespace ui {

namespace {

QString WithoutAccessKeys(const QString& caption) {
  return QString::fromStdString(ui::WithoutAccessKeys(caption.toStdString()));
}

}  // namespace

void NameAfterCaption(QWidget* widget, const DialogTemplate& dialogTemplate,
                      const ControlTemplate& control) {
  if (qobject_cast<QLineEdit*>(widget))
    widget->setAccessibleName(QString::fromStdString(EditAccessibleName(dialogTemplate, control)));
  else
    NameAfterCaption(widget);
}

void NameAfterCaption(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget))
    button->setAccessibleName(WithoutAccessKeys(button->text()));
  else if (auto* label = qobject_cast<QLabel*>(widget))
    label->setAccessibleName(label->text());
  else if (auto* group = qobject_cast<QGroupBox*>(widget))
    group->setAccessibleName(WithoutAccessKeys(group->title()));
}

void RelateValuesToCaptions(const DialogTemplate& dialogTemplate,
                            const std::vector<QWidget*>& controls) {
  for (size_t i = 0; i < controls.size(); ++i) {
    const ControlTemplate& control = dialogTemplate.controls[i];
    if (control.kind != ControlKind::Label || control.id == IDC_STATIC) continue;
    const ControlTemplate* caption = CaptionOf(dialogTemplate, control);
    if (!caption || caption->kind != ControlKind::Label) continue;
    auto* captionLabel = qobject_cast<QLabel*>(controls[caption - dialogTemplate.controls.data()]);
    if (captionLabel) captionLabel->setBuddy(controls[i]);
  }
}

}  // namespace ui
