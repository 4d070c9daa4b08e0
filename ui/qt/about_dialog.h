// The About box: the program's icon, product name, version and copyright line, laid out like
// dialog template 100.
#pragma once

#include <QDialog>
#include <QIcon>

#include "platform/string_resources.h"
#include "platform/version_info.h"
#include "ui/qt/dialog_units.h"

class QLabel;
class QPushButton;

namespace pradex {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  // The texts come from AboutBoxTexts; `parent` is the window the box is modal to.
  AboutDialog(StringResources& strings, VersionInfo& versions, const QIcon& icon,
              QWidget* parent = nullptr);

  QLabel* IconLabel() const { return iconLabel; }
  QLabel* ProductLabel() const { return productLabel; }
  QLabel* VersionLabel() const { return versionLabel; }
  QLabel* CopyrightLabel() const { return copyrightLabel; }
  QPushButton* OkButton() const { return okButton; }
  const DialogUnits& Units() const { return units; }

 private:
  DialogUnits units;
  QLabel* iconLabel;
  QLabel* productLabel;
  QLabel* versionLabel;
  QLabel* copyrightLabel;
  QPushButton* okButton;
};

}  // namespace pradex
