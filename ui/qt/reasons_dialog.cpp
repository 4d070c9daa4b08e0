#include "ui/qt/reasons_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pradex {

namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// What the reason is about: the device page asked for, else the driver or the port the search
// judged by.
std::string Detail(const PrinterExplanation& printer) {
  if (!printer.url.empty()) return printer.url;
  if (printer.verdict == SearchTrace::PrinterVerdict::kPortNotResolved ||
      printer.verdict == SearchTrace::PrinterVerdict::kUnsafeAddress ||
      printer.verdict == SearchTrace::PrinterVerdict::kZoneIdAddress) {
    return printer.portName;
  }
  return printer.driverName;
}

}  // namespace

ReasonsDialog::ReasonsDialog(const Explanation& explanation, QWidget* parent)
    : QDialog(parent), spoolerLabel(new QLabel(this)), printers(new QTreeWidget(this)) {
  setWindowTitle(QStringLiteral("Why printers are not listed"));
  spoolerLabel->setText(QStringLiteral("Print server: %1").arg(FromUtf8(SpoolerText(explanation))));
  spoolerLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  spoolerLabel->setWordWrap(true);

  printers->setColumnCount(3);
  printers->setHeaderLabels({QStringLiteral("Printer"), QStringLiteral("Reason"),
                             QStringLiteral("Driver, port or page")});
  printers->setRootIsDecorated(false);
  printers->setEditTriggers(QAbstractItemView::NoEditTriggers);
  printers->setSelectionBehavior(QAbstractItemView::SelectRows);
  printers->setAccessibleName(QStringLiteral("Printers of the print server"));
  for (const PrinterExplanation& printer : explanation.printers) {
    auto* row = new QTreeWidgetItem(printers);
    row->setText(0, FromUtf8(printer.printerName));
    row->setText(1, FromUtf8(ReasonText(printer)));
    row->setText(2, FromUtf8(Detail(printer)));
  }
  for (int column = 0; column < printers->columnCount(); ++column) {
    printers->resizeColumnToContents(column);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(spoolerLabel);
  layout->addWidget(printers);
  layout->addWidget(buttons);
  resize(fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 18);
}

}  // namespace pradex
