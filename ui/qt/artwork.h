// The program's artwork, built into the program as Qt resources.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace pradex {

// The colour of the banner that is left transparent.
inline const QColor kBannerKeyColor{192, 192, 192};

// The banner beside the product label (62 x 46), with every pixel of kBannerKeyColor masked
// out; a null pixmap when it cannot be read.
QPixmap BannerBitmap();

// The program's icon in both sizes it is drawn in: 32 x 32 (16 colours) and 48 x 48.
QIcon ProgramIcon();

}  // namespace pradex
