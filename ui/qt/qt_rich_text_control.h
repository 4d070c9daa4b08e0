// The main window's list control on Qt: a read-only QTextEdit whose document holds the status
// text and the device links, every paragraph centred.
//
// Positions are those of the QTextDocument: one per UTF-16 code unit, one per paragraph
// separator. Each "\r\n" (and a lone "\r" or "\n") of a text given to SetText becomes a
// paragraph separator, and SelectedText turns separators back into "\r\n". The selection that
// Select sets is the control's own, kept apart from the caret the user sees, the way a Rich Edit
// control hides its selection while it has no focus.
//
// Links are the runs of characters whose format is an anchor (QTextCharFormat::isAnchor). A
// mouse press on a link is reported to the link handler with the range of that run; the handler
// decides whether the control may still act on the press (caret, selection).
//
// Keyboard: the control is a tab stop. While it has the focus one link is the focused one,
// drawn in the desktop's highlight colours; the arrow keys, Home and End move between links and
// Enter or Space reports it to the link handler as LinkMouseEvent::kKeyActivate. Screen readers
// see the control as a list whose children are the links (link_accessible.h).
//
// Under a link stands what its device said about itself (facts_table.h), drawn in again after
// every rebuild of the text: the list logic never sees it, as it finds no positions after a
// rebuild, and the tables hold no links.
#pragma once

#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/messages.h"
#include "search/facts_stage.h"
#include "ui/pradex_dialog.h"
#include "ui/rich_text_control.h"

namespace pradex {

class QtRichTextControl : public QTextEdit, public RichTextControl {
  Q_OBJECT

 public:
  // Returns true when the control must not act on the mouse event itself.
  using LinkHandler = std::function<bool(LinkMouseEvent, TextRange)>;

  explicit QtRichTextControl(QWidget* parent = nullptr);

  void SetLinkHandler(LinkHandler handler) { linkHandler = std::move(handler); }

  // The link run under a point of the viewport, or nullopt when the point is on no link.
  std::optional<TextRange> LinkRangeAt(const QPoint& viewportPos) const;

  // Every link run, in document order.
  std::vector<TextRange> LinkRanges() const;
  // The text a link shows; "" for a range outside the text.
  QString RangeText(TextRange range) const;
  // The focused link's index in LinkRanges(), or -1 when there is no link.
  int FocusedLink() const;
  // Makes link `index` the focused one, scrolled into view.
  void FocusLink(int index);
  // Reports link `index` to the link handler as a keyboard activation.
  void ActivateLink(int index);
  // The status text: the first paragraph that is not empty.
  QString StatusText() const;

  // What the devices said about themselves, shown under the links of their printer names in
  // the words of language block `block`, also under names listed later; an empty list clears
  // them.
  void SetDeviceFacts(const std::vector<FactsStage::Entry>& facts, unsigned block);
  // What a screen reader says of the facts under link `index`; "" when there are none.
  QString LinkFactsText(int index) const;

  // The character format a CharFormat stands for: the desktop's font family and colours, the
  // size relative to the desktop font as the requested size is to the 9-point status text. The
  // link effect makes an anchor, drawn the way the toolkit draws links (its link colour,
  // underlined), whatever colour was asked for.
  QTextCharFormat ToQtFormat(const CharFormat& format) const;

  // RichTextControl.
  void SetText(const std::string& text) override;
  long TextLength() override;
  void Select(TextRange range) override;
  std::optional<TextRange> FindForward(const std::string& text, long from) override;
  void SetSelectionFormat(const CharFormat& format) override;
  void SetDefaultFormat(const CharFormat& format) override;
  std::string SelectedText() override;
  void SetEnabled(bool enabled) override;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Draws the focused link while the control has the focus, and tells screen readers.
  void ShowLinkFocus();
  // Reports a press on a link; true when the handler has taken it.
  bool ReportLinkPress(QMouseEvent* event, bool doubleClick);
  int ClampPosition(long position);
  // Draws the facts tables under the links anew.
  void DrawDeviceFacts();

  LinkHandler linkHandler;
  QTextCharFormat defaultFormat;
  QTextCursor selection;
  Qt::CursorShape textCursorShape;
  // Kept across rebuilds of the text, so that the focus stays in place while devices are added.
  int focusedLink = 0;
  bool focusKeptOverRebuild = false;
  std::map<QString, DeviceFacts> deviceFacts;
  unsigned factsBlock = kLanguageBlock;
};

}  // namespace pradex
