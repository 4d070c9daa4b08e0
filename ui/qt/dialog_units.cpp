#include "ui/qt/dialog_units.h"

#include <QApplication>
#include <QFontMetrics>

namespace pradex {

namespace {

// MulDiv for the non-negative values of a template: a * b / c rounded half up.
int MulDiv(int a, int b, int c) {
  return (a * b + c / 2) / c;
}

}  // namespace

QFont DialogFont() {
  return QApplication::font();
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // Windows: (cx / 26 + 1) / 2, the average over 52 letters rounded half up.
  return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int DialogUnits::X(int dlu) const {
  return MulDiv(dlu, base.x, 4);
}

int DialogUnits::Y(int dlu) const {
  return MulDiv(dlu, base.y, 8);
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

QSize DialogUnits::Size(int width, int height) const {
  return QSize(X(width), Y(height));
}

}  // namespace pradex
