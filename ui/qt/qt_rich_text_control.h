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
#pragma once

#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <functional>
#include <optional>
#include <string>

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

  // The character format a CharFormat stands for. The link effect makes an anchor, drawn the
  // way the toolkit draws links (its link colour, underlined), whatever colour was asked for.
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

 private:
  // Reports a press on a link; true when the handler has taken it.
  bool ReportLinkPress(QMouseEvent* event, bool doubleClick);
  int ClampPosition(long position);

  LinkHandler linkHandler;
  QTextCharFormat defaultFormat;
  QTextCursor selection;
  Qt::CursorShape textCursorShape;
};

}  // namespace pradex
