// The rich text control that holds the main window's status text and device list, reduced to
// what the list relies on. The Windows front end implements it over a Rich Edit 2.0 control,
// the Linux front end over a read-only QTextEdit (QTextDocument).
//
// Positions. Every position and range here is in the control's own units, never in bytes of
// the 8-bit text: the list logic obtains positions only from TextLength() and FindForward() and
// derives nothing from the string it wrote, except that it steps over a line break as one
// position. So an implementation must keep these rules:
//   - each "\r\n" of a text given to SetText occupies exactly one position, wherever it stands
//     (also the last one of the text): Rich Edit 2.0 stores it as one CR, QTextDocument as one
//     paragraph separator;
//   - every other character occupies whatever its control gives it, consistently in all
//     operations (Rich Edit 2.0: one position per character, a double-byte character is one;
//     QTextDocument: one per UTF-16 code unit);
//   - TextLength() is the exact number of positions of the whole text, counted as above (Rich
//     Edit: EM_GETTEXTLENGTHEX with GTL_NUMCHARS | GTL_PRECISE and without GTL_USECRLF, which
//     counts the CR of each "\r\n" once; QTextDocument: characterCount() - 1, leaving out the
//     closing paragraph separator that every document has beyond its text).
// tests/ui/rich_text_contract.h checks an implementation against these rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pradex {

// A half-open range [start, end) of control positions.
struct TextRange {
  long start = 0;
  long end = 0;
  friend bool operator==(const TextRange&, const TextRange&) = default;
};

// A character format. Every member is set whenever a format is applied: size, colour, face,
// bold, italic, struck out and the link effect (CHARFORMAT2A masks 0xE000000B, plus CFM_LINK for
// the link format; the default format never carries the link effect).
struct CharFormat {
  bool bold = false;
  bool italic = false;
  bool strikeout = false;
  bool link = false;
  int heightTwips = 0;      // 20 twips = 1 point
  std::uint32_t color = 0;  // COLORREF: 0x00BBGGRR
  std::string faceName;
  friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

class RichTextControl {
 public:
  virtual ~RichTextControl() = default;

  // Replaces the whole text (WM_SETTEXT). Afterwards every character carries the default format
  // (no link anywhere).
  virtual void SetText(const std::string& text) = 0;

  // The exact number of positions of the whole text (see the rules above).
  virtual long TextLength() = 0;

  // Selects `range` (EM_EXSETSEL); {0, 0} collapses the selection at the start.
  virtual void Select(TextRange range) = 0;

  // Finds the first occurrence of `text` that starts at `from` or later and ends at or before
  // the end of the text: forward, ignoring case, matching inside words as well (EM_FINDTEXTEX
  // with FR_DOWN only and chrg {from, -1}, the match being chrgText; QTextDocument::find
  // without flags from a cursor at `from`). The match's range, or nullopt.
  virtual std::optional<TextRange> FindForward(const std::string& text, long from) = 0;

  // Applies `format` to the selected characters (EM_SETCHARFORMAT, SCF_SELECTION).
  virtual void SetSelectionFormat(const CharFormat& format) = 0;

  // Makes `format` the control's default format (EM_SETCHARFORMAT, SCF_DEFAULT): the format of
  // every character of each text given to SetText from then on.
  virtual void SetDefaultFormat(const CharFormat& format) = 0;

  // The text of the selection, as 8-bit text (EM_GETSELTEXT).
  virtual std::string SelectedText() = 0;

  // Enables or disables the control (EnableWindow).
  virtual void SetEnabled(bool enabled) = 0;
};

}  // namespace pradex
