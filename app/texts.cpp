#include "app/texts.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/languages.h"
#include "app/text_table.h"

namespace pradex {

namespace {

std::optional<std::size_t> IndexOf(std::string_view key) {
  const auto keys = TextKeys();
  const auto it = std::find(keys.begin(), keys.end(), key);
  if (it == keys.end()) return std::nullopt;
  return static_cast<std::size_t>(it - keys.begin());
}

std::span<const std::string_view> TextsOf(unsigned block) {
  const auto blocks = LanguageBlocks();
  const auto language = std::find_if(blocks.begin(), blocks.end(),
                                     [block](const LanguageBlock& b) { return b.block == block; });
  if (language != blocks.end()) {
    for (const TextLanguage& texts : TextLanguages()) {
      if (texts.code == language->code) return texts.texts;
    }
  }
  return TextLanguages().front().texts;
}

// `pattern` with each {n} replaced by argument n (from 1) once; a placeholder without its
// argument stays as it is. Arguments are not looked into, so one holding "{1}" stays intact.
template <typename Argument>
std::string Fill(std::string_view pattern, std::size_t count, const Argument& argument) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9' && pattern[i + 2] == '}') {
      const auto n = static_cast<std::size_t>(pattern[i + 1] - '1');
      if (n < count) {
        text += argument(n);
        i += 2;
        continue;
      }
    }
    text += pattern[i];
  }
  return text;
}

}  // namespace

std::string Say(unsigned block, const Phrase& phrase) {
  if (phrase.key.empty()) return phrase.literal;
  const auto index = IndexOf(phrase.key);
  if (!index) return phrase.key;
  return Fill(TextsOf(block)[*index], phrase.args.size(),
              [&](std::size_t n) { return Say(block, phrase.args[n]); });
}

std::string Text(unsigned block, std::string_view key,
                 std::initializer_list<std::string_view> args) {
  const auto index = IndexOf(key);
  if (!index) return std::string(key);
  const std::vector<std::string_view> given(args);
  return Fill(TextsOf(block)[*index], given.size(),
              [&](std::size_t n) { return std::string(given[n]); });
}

bool HasText(std::string_view key) {
  return IndexOf(key).has_value();
}

}  // namespace pradex
