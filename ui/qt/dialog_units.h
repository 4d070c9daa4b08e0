// Dialog units as the Windows dialog manager converts them: a dialog template gives positions
// and sizes in units of a quarter of the dialog font's average character width and an eighth
// of its height, so the window keeps its proportions whatever the font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace pradex {

// The font the templates are laid out in. On Windows that is the dialog font of the template;
// on the desktop it is the desktop's own font, so that the window reads like every other
// program and grows with a larger font, its proportions kept by the dialog units.
QFont DialogFont();

// The base units of a font: the average width of "A".."Z" "a".."z", rounded the way Windows
// rounds it, and the font's height (ascent + descent).
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

class DialogUnits {
 public:
  explicit DialogUnits(DialogBaseUnits base) : base(base) {}

  // MulDiv(dlu, base, 4 or 8): rounded to the nearest pixel.
  int X(int dlu) const;
  int Y(int dlu) const;
  // A control's rectangle as the dialog manager creates it: each of x, y, width and height
  // converted on its own.
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;

 private:
  DialogBaseUnits base;
};

}  // namespace pradex
