// The details view of the main window: for every printer of the spooler, why it was or was not
// listed, in the words pradex-cli --explain prints. Read-only; it shows what it was given.
#pragma once

#include <QDialog>

#include "ui/search_reasons.h"

class QLabel;
class QTreeWidget;

namespace pradex {

class ReasonsDialog : public QDialog {
  Q_OBJECT

 public:
  // The texts are in the language of `block` (LanguageChoice::block).
  ReasonsDialog(const Explanation& explanation, unsigned block, QWidget* parent = nullptr);

  QLabel* SpoolerLabel() const { return spoolerLabel; }
  // One row per printer: its name, the reason, and the driver or URL the reason is about.
  QTreeWidget* Printers() const { return printers; }

 private:
  QLabel* spoolerLabel;
  QTreeWidget* printers;
};

}  // namespace pradex
