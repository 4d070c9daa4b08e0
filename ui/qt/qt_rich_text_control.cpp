#include "ui/qt/qt_rich_text_control.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <iterator>
#include <vector>

#include "ui/device_list.h"
#include "ui/qt/facts_table.h"
#include "ui/qt/link_accessible.h"

namespace pradex {

namespace {

// The text with each "\r\n", lone "\r" or lone "\n" as one "\n", which QTextCursor::insertText
// turns into a paragraph separator.
QString ToDocumentText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

// The size of the status text, which is drawn at the desktop font's size; other sizes keep
// their proportion to it.
const int kStatusHeightTwips = DefaultListFormat().heightTwips;

}  // namespace

QtRichTextControl::QtRichTextControl(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  // The control reports link presses itself; Qt's own link handling stays off.
  setTextInteractionFlags(Qt::TextSelectableByMouse);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QTextEdit::WidgetWidth);
  // A tab stop, so that the links can be reached without a mouse; Tab itself leaves the list.
  setFocusPolicy(Qt::StrongFocus);
  setTabChangesFocus(true);
  setUndoRedoEnabled(false);
  InstallLinkAccessibility();
  viewport()->setMouseTracking(true);
  textCursorShape = viewport()->cursor().shape();
  selection = QTextCursor(document());
  RegisterSupplyBars(document(), this);
}

QTextCharFormat QtRichTextControl::ToQtFormat(const CharFormat& format) const {
  QTextCharFormat result;
  // The face and colours asked for are those of the Windows dialog; on the desktop its own font
  // and colours are the ones that read well (dark themes, large fonts).
  const qreal desktopPoints = font().pointSizeF() > 0 ? font().pointSizeF() : 9.0;
  if (format.heightTwips > 0) {
    result.setFontPointSize(desktopPoints * format.heightTwips / kStatusHeightTwips);
  }
  result.setFontWeight(format.bold ? QFont::Bold : QFont::Normal);
  result.setFontItalic(format.italic);
  result.setFontStrikeOut(format.strikeout);
  if (format.link) {
    result.setAnchor(true);
    result.setFontUnderline(true);
    result.setForeground(palette().color(QPalette::Active, QPalette::Link));
  } else {
    result.setAnchor(false);
    result.setFontUnderline(false);
  }
  return result;
}

int QtRichTextControl::ClampPosition(long position) {
  return static_cast<int>(std::clamp(position, 0L, TextLength()));
}

void QtRichTextControl::SetText(const std::string& text) {
  QTextDocument* doc = document();
  doc->clear();
  QTextCursor cursor(doc);
  QTextBlockFormat centred;
  centred.setAlignment(Qt::AlignHCenter);
  cursor.setBlockFormat(centred);
  cursor.setBlockCharFormat(defaultFormat);
  // Every paragraph that insertText opens takes over the centred block format.
  cursor.insertText(ToDocumentText(text), defaultFormat);
  selection = QTextCursor(doc);
  setTextCursor(QTextCursor(doc));
}

long QtRichTextControl::TextLength() {
  // Every document ends with a paragraph separator of its own beyond the text.
  return document()->characterCount() - 1;
}

void QtRichTextControl::Select(TextRange range) {
  selection.setPosition(ClampPosition(range.start));
  selection.setPosition(ClampPosition(range.end), QTextCursor::KeepAnchor);
}

std::optional<TextRange> QtRichTextControl::FindForward(const std::string& text, long from) {
  if (text.empty()) return std::nullopt;
  // The document's search reads a no-break space in the text as a plain one, but not in what is
  // searched for: a name holding one would never be found.
  QString needle = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  needle.replace(QChar::Nbsp, u' ');
  // No flags: forward, ignoring case, inside words too.
  const QTextCursor match = document()->find(needle, ClampPosition(from));
  if (match.isNull()) return std::nullopt;
  return TextRange{match.selectionStart(), match.selectionEnd()};
}

void QtRichTextControl::SetSelectionFormat(const CharFormat& format) {
  if (!selection.hasSelection()) return;
  QTextCharFormat qtFormat = ToQtFormat(format);
  // The anchor's target is the text it marks: the printer name.
  if (format.link) qtFormat.setAnchorHref(selection.selectedText());
  selection.setCharFormat(qtFormat);
}

void QtRichTextControl::SetDefaultFormat(const CharFormat& format) {
  defaultFormat = ToQtFormat(format);
  // Empty paragraphs take their height from the document's font.
  document()->setDefaultFont(defaultFormat.font());
}

std::string QtRichTextControl::SelectedText() {
  QString text = selection.selectedText();
  text.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
  return text.toStdString();
}

void QtRichTextControl::SetEnabled(bool enabled) {
  // Disabling the focus widget hands the focus on; a keyboard user reading the list while a
  // device is added keeps it.
  if (!enabled) focusKeptOverRebuild = hasFocus();
  setEnabled(enabled);
  if (!enabled) return;
  if (focusKeptOverRebuild) setFocus(Qt::OtherFocusReason);
  focusKeptOverRebuild = false;
  DrawDeviceFacts();
  // The rebuilt text has new links: the focus mark is drawn again over the focused one.
  ShowLinkFocus();
  if (QAccessible::isActive()) {
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
  }
}

std::vector<TextRange> QtRichTextControl::LinkRanges() const {
  std::vector<TextRange> ranges;
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isAnchor()) continue;
      const long start = fragment.position();
      const long end = start + fragment.length();
      // Neighbouring anchor fragments that differ in some other property make one run.
      if (!ranges.empty() && ranges.back().end == start) {
        ranges.back().end = end;
      } else {
        ranges.push_back(TextRange{start, end});
      }
    }
  }
  return ranges;
}

QString QtRichTextControl::RangeText(TextRange range) const {
  const int length = document()->characterCount() - 1;
  if (range.start < 0 || range.end > length || range.start >= range.end) return {};
  QTextCursor cursor(document());
  cursor.setPosition(static_cast<int>(range.start));
  cursor.setPosition(static_cast<int>(range.end), QTextCursor::KeepAnchor);
  return cursor.selectedText();
}

int QtRichTextControl::FocusedLink() const {
  const int count = static_cast<int>(LinkRanges().size());
  if (count == 0) return -1;
  return std::clamp(focusedLink, 0, count - 1);
}

void QtRichTextControl::FocusLink(int index) {
  focusedLink = std::max(index, 0);
  ShowLinkFocus();
}

void QtRichTextControl::ActivateLink(int index) {
  const std::vector<TextRange> ranges = LinkRanges();
  if (!linkHandler || index < 0 || index >= static_cast<int>(ranges.size())) return;
  linkHandler(LinkMouseEvent::kKeyActivate, ranges[static_cast<std::size_t>(index)]);
}

QString QtRichTextControl::StatusText() const {
  for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
    if (!block.text().isEmpty()) return block.text();
  }
  return {};
}

void QtRichTextControl::SetDeviceFacts(const std::vector<FactsStage::Entry>& facts,
                                       unsigned block) {
  deviceFacts.clear();
  for (const FactsStage::Entry& entry : facts) {
    deviceFacts[QString::fromStdString(entry.printerName)] = entry.facts;
  }
  factsBlock = block;
  DrawDeviceFacts();
  if (QAccessible::isActive()) {
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
  }
}

void QtRichTextControl::DrawDeviceFacts() {
  RemoveFactsTables(document());
  QTextCharFormat textFormat = defaultFormat;
  textFormat.setFontWeight(QFont::Normal);
  const std::vector<TextRange> links = LinkRanges();
  // From the last link up, so that the positions of the links above stay where they are.
  for (auto link = links.rbegin(); link != links.rend(); ++link) {
    const auto facts = deviceFacts.find(RangeText(*link));
    if (facts == deviceFacts.end() || !FactsToShow(facts->second, factsBlock)) continue;
    const QTextBlock below = document()->findBlock(static_cast<int>(link->start)).next();
    if (!below.isValid()) continue;
    InsertFactsTable(QTextCursor(below), facts->second, factsBlock, textFormat);
  }
}

QString QtRichTextControl::LinkFactsText(int index) const {
  const std::vector<TextRange> links = LinkRanges();
  if (index < 0 || index >= static_cast<int>(links.size())) return {};
  const auto facts = deviceFacts.find(RangeText(links[static_cast<std::size_t>(index)]));
  return facts == deviceFacts.end() ? QString() : FactsText(facts->second, factsBlock);
}

void QtRichTextControl::ShowLinkFocus() {
  QList<QTextEdit::ExtraSelection> marks;
  const int index = FocusedLink();
  if (index >= 0 && hasFocus()) {
    const TextRange range = LinkRanges()[static_cast<std::size_t>(index)];
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(document());
    mark.cursor.setPosition(static_cast<int>(range.start));
    mark.cursor.setPosition(static_cast<int>(range.end), QTextCursor::KeepAnchor);
    mark.format.setBackground(palette().color(QPalette::Active, QPalette::Highlight));
    mark.format.setForeground(palette().color(QPalette::Active, QPalette::HighlightedText));
    marks.push_back(mark);
    // Scrolled into view without moving the caret, which stays where the text put it.
    QTextCursor edge(document());
    edge.setPosition(static_cast<int>(range.start));
    QRect area = cursorRect(edge);
    edge.setPosition(static_cast<int>(range.end));
    area = area.united(cursorRect(edge));
    QScrollBar* bar = verticalScrollBar();
    if (area.top() < 0) {
      bar->setValue(bar->value() + area.top());
    } else if (area.bottom() > viewport()->height()) {
      bar->setValue(bar->value() + area.bottom() - viewport()->height());
    }
    if (QAccessible::isActive()) {
      QAccessibleEvent focus(this, QAccessible::Focus);
      focus.setChild(index);
      QAccessible::updateAccessibility(&focus);
    }
  }
  setExtraSelections(marks);
}

void QtRichTextControl::keyPressEvent(QKeyEvent* event) {
  const int count = static_cast<int>(LinkRanges().size());
  const int current = FocusedLink();
  if (count > 0) {
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Left:
        FocusLink(std::max(current - 1, 0));
        event->accept();
        return;
      case Qt::Key_Down:
      case Qt::Key_Right:
        FocusLink(std::min(current + 1, count - 1));
        event->accept();
        return;
      case Qt::Key_Home:
        FocusLink(0);
        event->accept();
        return;
      case Qt::Key_End:
        FocusLink(count - 1);
        event->accept();
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
      case Qt::Key_Space:
        // A key held down repeats; the page opens once per press.
        if (!event->isAutoRepeat()) ActivateLink(current);
        event->accept();
        return;
      default:
        break;
    }
  }
  // Without links Enter goes on to the dialog's default button.
  QTextEdit::keyPressEvent(event);
}

void QtRichTextControl::focusInEvent(QFocusEvent* event) {
  QTextEdit::focusInEvent(event);
  ShowLinkFocus();
}

void QtRichTextControl::focusOutEvent(QFocusEvent* event) {
  QTextEdit::focusOutEvent(event);
  ShowLinkFocus();
}

std::optional<TextRange> QtRichTextControl::LinkRangeAt(const QPoint& viewportPos) const {
  const QPoint contentPos =
      viewportPos + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
  // The character under the point itself, not the nearest gap between characters.
  const int position = document()->documentLayout()->hitTest(contentPos, Qt::ExactHit);
  if (position < 0) return std::nullopt;
  const QTextBlock block = document()->findBlock(position);
  std::vector<QTextFragment> fragments;
  for (auto it = block.begin(); !it.atEnd(); ++it) fragments.push_back(it.fragment());
  const auto hit = std::find_if(fragments.begin(), fragments.end(),
                                [&](const QTextFragment& f) { return f.contains(position); });
  if (hit == fragments.end() || !hit->charFormat().isAnchor()) return std::nullopt;
  // The run of consecutive link characters: neighbouring fragments that differ only in some
  // other property belong to it as well.
  auto first = hit;
  while (first != fragments.begin()) {
    const auto before = std::prev(first);
    if (!before->charFormat().isAnchor() ||
        before->position() + before->length() != first->position()) {
      break;
    }
    first = before;
  }
  auto last = hit;
  for (auto next = std::next(last); next != fragments.end(); ++next) {
    if (!next->charFormat().isAnchor() || last->position() + last->length() != next->position()) {
      break;
    }
    last = next;
  }
  return TextRange{first->position(), last->position() + last->length()};
}

bool QtRichTextControl::ReportLinkPress(QMouseEvent* event, bool doubleClick) {
  if (!linkHandler) return false;
  const auto range = LinkRangeAt(event->position().toPoint());
  if (!range) return false;
  // The keyboard goes on from the link last pressed.
  const std::vector<TextRange> ranges = LinkRanges();
  const auto pressed = std::find(ranges.begin(), ranges.end(), *range);
  if (pressed != ranges.end()) focusedLink = static_cast<int>(pressed - ranges.begin());
  LinkMouseEvent kind = LinkMouseEvent::kOther;
  if (event->button() == Qt::LeftButton) {
    kind = doubleClick ? LinkMouseEvent::kLeftButtonDoubleClick : LinkMouseEvent::kLeftButtonDown;
  }
  return linkHandler(kind, *range);
}

void QtRichTextControl::mousePressEvent(QMouseEvent* event) {
  if (ReportLinkPress(event, false)) {
    event->accept();
    return;
  }
  QTextEdit::mousePressEvent(event);
}

void QtRichTextControl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (ReportLinkPress(event, true)) {
    event->accept();
    return;
  }
  QTextEdit::mouseDoubleClickEvent(event);
}

void QtRichTextControl::mouseMoveEvent(QMouseEvent* event) {
  QTextEdit::mouseMoveEvent(event);
  const bool overLink = LinkRangeAt(event->position().toPoint()).has_value();
  viewport()->setCursor(overLink ? Qt::PointingHandCursor : textCursorShape);
}

}  // namespace pradex
