#include "ui/qt/reasons_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/texts.h"

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

ReasonsDialog::ReasonsDialog(const Explanation& explanation, unsigned block, QWidget* parent)
    : QDialog(parent), spoolerLabel(new QLabel(this)), printers(new QTreeWidget(this)) {
  const auto say = [block](const Phrase& phrase) { return FromUtf8(Say(block, phrase)); };
  setWindowTitle(say(Phrase::Of("reasons.title")));
  spoolerLabel->setText(say(Phrase::Of("reasons.spooler", {SpoolerText(explanation)})));
  spoolerLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  spoolerLabel->setWordWrap(true);

  printers->setColumnCount(3);
  printers->setHeaderLabels({say(Phrase::Of("reasons.printer")), say(Phrase::Of("reasons.reason")),
                             say(Phrase::Of("reasons.detail"))});
  printers->setRootIsDecorated(false);
  printers->setEditTriggers(QAbstractItemView::NoEditTriggers);
  printers->setSelectionBehavior(QAbstractItemView::SelectRows);
  printers->setAccessibleName(say(Phrase::Of("reasons.list-name")));
  for (const PrinterExplanation& printer : explanation.printers) {
    auto* row = new QTreeWidgetItem(printers);
    row->setText(0, FromUtf8(printer.printerName));
    row->setText(1, say(ReasonText(printer)));
    row->setText(2, FromUtf8(Detail(printer)));
  }
  for (int column = 0; column < printers->columnCount(); ++column) {
    printers->resizeColumnToContents(column);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  // Qt's own word for the button would stay in English: no Qt translation is loaded.
  buttons->button(QDialogButtonBox::Close)->setText(say(Phrase::Of("reasons.close")));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(spoolerLabel);
  layout->addWidget(printers);
  layout->addWidget(buttons);
  resize(fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 18);
}

}  // namespace pradex
