// Fonts and dialog units for the Qt windows. A template gives positions in
// dialog units, which Windows turns into pixels with the base units of the
// dialog's font; the same arithmetic here keeps the layout of both builds
// alike and lets the captions fit the controls whatever CJK font stands in.
// Windows open centred, as a Windows dialog opens.

#include <algorithm>

#include <QFontMetrics>
#include <QScreen>
#include <QWidget>
#include <QStringList>

#include "ui/qt/qt_host.h"

namespace ui {

namespace {

// Families tried after the template's own face: the usual Windows names of
// the Song face, then CJK fonts common on Linux desktops.
const char* const kFallbackFamilies[] = {
    "SimSun",
    "NSimSun",
    "WenQuanYi Micro Hei",
    "Noto Sans CJK SC",
    "Source Han Sans SC",
    "WenQuanYi Zen Hei",
    "Droid Sans Fallback",
};

// MulDiv as Windows has it for non-negative values: value * numerator /
// denominator, rounded half away from zero.
int MulDivRounded(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  if (product >= 0) return static_cast<int>((2 * product + denominator) / (2 * denominator));
  return -static_cast<int>((-2 * product + denominator) / (2 * denominator));
}

}  // namespace

QFont DialogFont(const DialogTemplate& dialogTemplate) {
  QStringList families{QString::fromUtf8(dialogTemplate.fontFace)};
  for (const char* family : kFallbackFamilies) {
    const QString name = QString::fromUtf8(family);
    if (!families.contains(name)) families.append(name);
  }
  QFont font;
  font.setFamilies(families);
  font.setPointSize(dialogTemplate.fontPoints);
  return font;
}

QSize DialogBaseUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabetWidth = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // (width / 26 + 1) / 2 is the average over 52 letters, rounded.
  return QSize((alphabetWidth / 26 + 1) / 2, metrics.height());
}

QRect DialogUnitsToPixels(const QRect& units, const QSize& baseUnits) {
  return QRect(MulDivRounded(units.x(), baseUnits.width(), 4),
               MulDivRounded(units.y(), baseUnits.height(), 8),
               MulDivRounded(units.width(), baseUnits.width(), 4),
               MulDivRounded(units.height(), baseUnits.height(), 8));
}

void CentreOnOwner(QWidget* window) {
  // Windows are placed by their frame, as a window manager places them: the
  // native window is made now so that its frame is known where it can be.
  window->winId();
  QWidget* owner = window->parentWidget();
  QScreen* screen = owner ? owner->screen() : window->screen();
  if (!screen) return;
  const QRect screenArea = screen->availableGeometry();
  const QRect area = owner ? owner->frameGeometry() : screenArea;
  const QSize size = window->frameGeometry().size();
  QPoint topLeft(area.x() + (area.width() - size.width()) / 2,
                 area.y() + (area.height() - size.height()) / 2);
  // Keep the window on the screen, its top-left corner first.
  topLeft.setX(
      std::max(screenArea.left(), std::min(topLeft.x(), screenArea.right() + 1 - size.width())));
  topLeft.setY(
      std::max(screenArea.top(), std::min(topLeft.y(), screenArea.bottom() + 1 - size.height())));
  window->move(topLeft);
}

}  // namespace ui
