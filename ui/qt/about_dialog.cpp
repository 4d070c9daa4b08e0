#include "ui/qt/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QString>

#include "app/about_box.h"

namespace pradex {

namespace {

// The size icons are drawn at in a dialog (SM_CXICON x SM_CYICON).
constexpr int kIconSize = 32;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* MakeLabel(QWidget* parent, const QRect& geometry) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(StringResources& strings, VersionInfo& versions, const QIcon& icon,
                         QWidget* parent)
    : QDialog(parent), units(BaseUnitsOf(DialogFont())) {
  setFont(DialogFont());
  // The caption is the template's own and stays in English whatever language is shown.
  setWindowTitle(QStringLiteral("About Pradex"));
  setFixedSize(units.Size(235, 58));

  iconLabel = new QLabel(this);
  iconLabel->setPixmap(icon.pixmap(kIconSize, kIconSize));
  iconLabel->setGeometry(QRect(QPoint(units.X(11), units.Y(17)), QSize(kIconSize, kIconSize)));
  productLabel = MakeLabel(this, units.Rect(41, 14, 119, 10));
  okButton = new QPushButton(this);
  okButton->setGeometry(units.Rect(178, 7, 50, 16));
  okButton->setDefault(true);
  versionLabel = MakeLabel(this, units.Rect(41, 24, 108, 8));
  copyrightLabel = MakeLabel(this, units.Rect(41, 34, 119, 10));
  connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

  for (const AboutControlText& control : AboutBoxTexts(strings, versions)) {
    const QString text = FromUtf8(control.text);
    switch (control.controlId) {
      case kAboutOkButtonId:
        okButton->setText(text);
        break;
      case kAboutProductId:
        productLabel->setText(text);
        break;
      case kAboutCopyrightId:
        copyrightLabel->setText(text);
        break;
      case kAboutVersionId:
        versionLabel->setText(text);
        break;
      default:
        break;
    }
  }
  okButton->setFocus();
}

}  // namespace pradex
