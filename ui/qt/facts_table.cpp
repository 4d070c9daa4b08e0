#include "ui/qt/facts_table.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextObjectInterface>
#include <QTextTable>
#include <QWidget>
#include <string>

#include "ui/facts_words.h"

namespace pradex {

namespace {

constexpr int kSupplyBarType = QTextFormat::UserObject + 1;
constexpr int kBarLevel = QTextFormat::UserProperty + 1;
constexpr int kBarColour = QTextFormat::UserProperty + 2;
constexpr int kBarLow = QTextFormat::UserProperty + 3;
constexpr int kFactsTable = QTextFormat::UserProperty + 4;

QString Qt8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Paints a supply's bar: an outline as wide as eight average characters, filled from the left
// to the level.
class SupplyBars : public QObject, public QTextObjectInterface {
  Q_OBJECT
  Q_INTERFACES(QTextObjectInterface)

 public:
  // A child of `owner`, whose palette it paints in.
  explicit SupplyBars(QWidget* owner) : QObject(owner), owner(owner) {}

  QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
    const QFontMetricsF metrics(format.toCharFormat().font());
    return {metrics.averageCharWidth() * 8, metrics.ascent() * 0.7};
  }

  void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int,
                  const QTextFormat& format) override {
    const int level = format.intProperty(kBarLevel);
    const bool low = format.boolProperty(kBarLow);
    const qreal pen = low ? 2 : 1;
    const QRectF box = rect.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    painter->save();
    if (level >= 0) {
      QRectF filled = box;
      filled.setWidth(box.width() * level / 100);
      painter->fillRect(filled, format.colorProperty(kBarColour));
    }
    // A level that is not known shows as a grey outline alone; a low supply has a heavier one.
    const QColor outline = level >= 0 ? owner->palette().color(QPalette::Text) : QColor(Qt::gray);
    painter->setPen(QPen(outline, pen));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(box);
    painter->restore();
  }

 private:
  QWidget* owner;
};

QTextCharFormat BarFormat(const Supply& supply, const QTextCharFormat& textFormat) {
  QTextCharFormat bar = textFormat;
  bar.setObjectType(kSupplyBarType);
  bar.setVerticalAlignment(QTextCharFormat::AlignMiddle);
  bar.setProperty(kBarLevel, supply.level);
  const QColor colour = QColor::fromString(Qt8(supply.colour));
  bar.setProperty(kBarColour, colour.isValid() ? colour : QColor(Qt::darkGray));
  bar.setProperty(kBarLow, supply.low);
  return bar;
}

void AlignCell(QTextTable* table, int row, int column, Qt::Alignment alignment) {
  QTextCursor cell = table->cellAt(row, column).firstCursorPosition();
  QTextBlockFormat block;
  block.setAlignment(alignment);
  cell.setBlockFormat(block);
}

}  // namespace

void RegisterSupplyBars(QTextDocument* document, QWidget* owner) {
  document->documentLayout()->registerHandler(kSupplyBarType, new SupplyBars(owner));
}

bool FactsToShow(const DeviceFacts& facts, unsigned block) {
  return facts.Reported() && (!facts.supplies.empty() || !StateWords(block, facts).empty());
}

void InsertFactsTable(QTextCursor at, const DeviceFacts& facts, unsigned block,
                      const QTextCharFormat& textFormat) {
  const std::string state = StateWords(block, facts);
  const int stateRows = state.empty() ? 0 : 1;
  const int rows = stateRows + static_cast<int>(facts.supplies.size());
  QTextTableFormat format;
  format.setBorderStyle(QTextFrameFormat::BorderStyle_None);
  format.setCellSpacing(0);
  format.setCellPadding(1);
  format.setAlignment(Qt::AlignHCenter);
  // Half a line apart from the next device.
  format.setBottomMargin(QFontMetricsF(textFormat.font()).height() / 2);
  format.setProperty(kFactsTable, true);
  // The paragraph the table is put before keeps its format (centred), which the insertion
  // would take from it.
  const QTextBlockFormat paragraph = at.blockFormat();
  QTextTable* table = at.insertTable(rows, 3, format);
  QTextCursor after = table->lastCursorPosition();
  after.movePosition(QTextCursor::NextBlock);
  after.setBlockFormat(paragraph);
  if (stateRows != 0) {
    table->mergeCells(0, 0, 1, 3);
    AlignCell(table, 0, 0, Qt::AlignHCenter);
    table->cellAt(0, 0).firstCursorPosition().insertText(Qt8(state), textFormat);
  }
  QTextCharFormat bold = textFormat;
  bold.setFontWeight(QFont::Bold);
  for (int i = 0; i < static_cast<int>(facts.supplies.size()); ++i) {
    const Supply& supply = facts.supplies[static_cast<std::size_t>(i)];
    const SupplyWords words = WordSupply(block, supply);
    const int row = stateRows + i;
    AlignCell(table, row, 0, Qt::AlignRight);
    table->cellAt(row, 0).firstCursorPosition().insertText(Qt8(words.name), textFormat);
    table->cellAt(row, 1).firstCursorPosition().insertText(
        QString(QChar::ObjectReplacementCharacter), BarFormat(supply, textFormat));
    AlignCell(table, row, 2, Qt::AlignLeft);
    QTextCursor level = table->cellAt(row, 2).firstCursorPosition();
    level.insertText(Qt8(words.level), supply.low ? bold : textFormat);
    if (!words.mark.empty()) level.insertText(" " + Qt8(words.mark), bold);
  }
}

void RemoveFactsTables(QTextDocument* document) {
  const QList<QTextFrame*> frames = document->rootFrame()->childFrames();
  for (auto it = frames.rbegin(); it != frames.rend(); ++it) {
    if (!(*it)->frameFormat().boolProperty(kFactsTable)) continue;
    QTextCursor cursor(document);
    // The frame with the paragraph break the table brought in before itself.
    cursor.setPosition((*it)->firstPosition() - 1);
    cursor.setPosition((*it)->lastPosition() + 1, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  }
}

QString FactsText(const DeviceFacts& facts, unsigned block) {
  if (!facts.Reported()) return {};
  QStringList lines;
  if (const std::string state = StateWords(block, facts); !state.empty()) lines << Qt8(state);
  for (const Supply& supply : facts.supplies) lines << Qt8(WordSupply(block, supply).line);
  return lines.join(u'\n');
}

}  // namespace pradex

#include "facts_table.moc"
