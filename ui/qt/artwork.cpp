#include "ui/qt/artwork.h"

#include <QBitmap>
#include <QString>

namespace pradex {

QPixmap BannerBitmap() {
  QPixmap banner(QStringLiteral(":/pradex/banner.bmp"));
  if (banner.isNull()) return banner;
  banner.setMask(banner.createMaskFromColor(kBannerKeyColor, Qt::MaskInColor));
  return banner;
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addFile(QStringLiteral(":/pradex/pradex-32.ico"), QSize(32, 32));
  icon.addFile(QStringLiteral(":/pradex/pradex-48.ico"), QSize(48, 48));
  return icon;
}

}  // namespace pradex
