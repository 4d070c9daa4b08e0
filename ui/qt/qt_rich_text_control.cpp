#include "ui/qt/qt_rich_text_control.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <iterator>
#include <vector>

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

QColor FromColorRef(std::uint32_t color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

}  // namespace

QtRichTextControl::QtRichTextControl(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  // The control reports link presses itself; Qt's own link handling stays off.
  setTextInteractionFlags(Qt::TextSelectableByMouse);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QTextEdit::WidgetWidth);
  setFocusPolicy(Qt::ClickFocus);
  setUndoRedoEnabled(false);
  QPalette colours = palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Base, Qt::white);
  }
  setPalette(colours);
  viewport()->setMouseTracking(true);
  textCursorShape = viewport()->cursor().shape();
  selection = QTextCursor(document());
}

QTextCharFormat QtRichTextControl::ToQtFormat(const CharFormat& format) const {
  QTextCharFormat result;
  result.setFontFamilies(QStringList{QString::fromUtf8(format.faceName.c_str())});
  result.setFontPointSize(format.heightTwips / 20.0);
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
    result.setForeground(FromColorRef(format.color));
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
  setEnabled(enabled);
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
