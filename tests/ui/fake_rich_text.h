// An in-memory rich text control that behaves like a Rich Edit 2.0 control where the device
// list relies on it: "\r\n" (or a lone "\r" or "\n") is one position, case-insensitive forward
// search that matches inside words, a format per character, a default format given to every
// character of a new text. Its positions are characters, not bytes: a UTF-8 sequence is one
// position, so logic that counts bytes of the text it wrote lands on the wrong characters.
// Header-only so that front-end tests can use it too.
#pragma once

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/rich_text_control.h"

namespace pradex {

class FakeRichText : public RichTextControl {
 public:
  struct Cell {
    std::string text;  // one character (a UTF-8 sequence), or "\r\n" for a line break
    bool lineBreak = false;
    CharFormat format;
  };

  // RichTextControl.
  void SetText(const std::string& text) override {
    cells.clear();
    for (std::string& piece : Split(text)) {
      Cell cell;
      cell.lineBreak = piece == "\r\n";
      cell.text = std::move(piece);
      cell.format = defaultFormat;
      cells.push_back(std::move(cell));
    }
    selection = {0, 0};
    ++setTextCount;
    if (enabled) ++changesWhileEnabled;
  }

  long TextLength() override { return static_cast<long>(cells.size()); }

  void Select(TextRange range) override {
    const long length = TextLength();
    range.start = std::clamp(range.start, 0L, length);
    range.end = std::clamp(range.end, range.start, length);
    selection = range;
  }

  std::optional<TextRange> FindForward(const std::string& text, long from) override {
    ++findCount;
    const std::vector<std::string> needle = Split(text);
    const long length = TextLength();
    const long count = static_cast<long>(needle.size());
    if (count == 0) return std::nullopt;
    for (long start = std::max(from, 0L); start + count <= length; ++start) {
      bool same = true;
      for (long i = 0; i < count && same; ++i)
        same = SameCharacter(cells[start + i].text, needle[i]);
      if (same) return TextRange{start, start + count};
    }
    return std::nullopt;
  }

  void SetSelectionFormat(const CharFormat& format) override {
    for (long i = selection.start; i < selection.end; ++i) cells[i].format = format;
    if (enabled) ++changesWhileEnabled;
  }

  void SetDefaultFormat(const CharFormat& format) override {
    defaultFormat = format;
    ++defaultFormatCount;
  }

  std::string SelectedText() override {
    std::string text;
    for (long i = selection.start; i < selection.end; ++i) text += cells[i].text;
    return text;
  }

  void SetEnabled(bool value) override { enabled = value; }

  // Inspection.
  std::string Text() const {
    std::string text;
    for (const Cell& cell : cells) text += cell.text;
    return text;
  }
  const CharFormat& FormatAt(long position) const { return cells.at(position).format; }
  TextRange Selection() const { return selection; }

  // Every run of consecutive characters with the link effect: its range and its text.
  std::vector<std::pair<TextRange, std::string>> Links() const {
    std::vector<std::pair<TextRange, std::string>> links;
    for (long i = 0; i < static_cast<long>(cells.size());) {
      if (!cells[i].format.link) {
        ++i;
        continue;
      }
      TextRange range{i, i};
      std::string text;
      while (range.end < static_cast<long>(cells.size()) && cells[range.end].format.link) {
        text += cells[range.end].text;
        ++range.end;
      }
      links.emplace_back(range, text);
      i = range.end;
    }
    return links;
  }

  // The range a link notification reports for a click at `position`: the run of link
  // characters around it (empty when the character there is no link).
  TextRange LinkRangeAt(long position) const {
    for (const auto& [range, text] : Links()) {
      if (position >= range.start && position < range.end) return range;
    }
    return {position, position};
  }

  std::vector<Cell> cells;
  CharFormat defaultFormat;
  TextRange selection;
  bool enabled = true;
  int setTextCount = 0;
  int findCount = 0;
  int defaultFormatCount = 0;
  // Text or format changes made while the control was enabled.
  int changesWhileEnabled = 0;

 private:
  static std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i < text.size();) {
      if (text.compare(i, 2, "\r\n") == 0 || text[i] == '\r' || text[i] == '\n') {
        pieces.emplace_back("\r\n");
        i += text.compare(i, 2, "\r\n") == 0 ? 2 : 1;
        continue;
      }
      std::size_t next = i + 1;
      if (static_cast<unsigned char>(text[i]) >= 0xC0) {
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
          ++next;
        }
      }
      pieces.push_back(text.substr(i, next - i));
      i = next;
    }
    return pieces;
  }

  static bool SameCharacter(const std::string& a, const std::string& b) {
    if (a.size() == 1 && b.size() == 1) {
      return std::tolower(static_cast<unsigned char>(a[0])) ==
             std::tolower(static_cast<unsigned char>(b[0]));
    }
    return a == b;
  }
};

}  // namespace pradex
