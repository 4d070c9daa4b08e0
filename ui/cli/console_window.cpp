#include "ui/cli/console_window.h"

#include <algorithm>

namespace pradex::cli {

namespace {

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

}  // namespace

std::vector<std::string> ConsoleListControl::Split(const std::string& text) {
  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      pieces.emplace_back("\r\n");
      ++i;
    } else {
      pieces.emplace_back(1, text[i]);
    }
  }
  return pieces;
}

void ConsoleListControl::SetText(const std::string& text) {
  cells = Split(text);
  selection = {0, 0};
}

long ConsoleListControl::TextLength() {
  return static_cast<long>(cells.size());
}

void ConsoleListControl::Select(TextRange range) {
  const long length = TextLength();
  range.start = std::clamp(range.start, 0L, length);
  range.end = std::clamp(range.end, range.start, length);
  selection = range;
}

std::optional<TextRange> ConsoleListControl::FindForward(const std::string& text, long from) {
  const std::vector<std::string> needle = Split(text);
  const long count = static_cast<long>(needle.size());
  const long length = TextLength();
  if (count == 0) return std::nullopt;
  for (long start = std::max(from, 0L); start + count <= length; ++start) {
    bool same = true;
    for (long i = 0; i < count && same; ++i)
      same = SameIgnoringAsciiCase(cells[static_cast<std::size_t>(start + i)],
                                   needle[static_cast<std::size_t>(i)]);
    if (same) return TextRange{start, start + count};
  }
  return std::nullopt;
}

std::string ConsoleListControl::SelectedText() {
  std::string text;
  for (long i = selection.start; i < selection.end; ++i) text += cells[static_cast<std::size_t>(i)];
  return text;
}

std::string ConsoleListControl::Text() const {
  std::string text;
  for (const std::string& cell : cells) text += cell;
  return text;
}

}  // namespace pradex::cli
