// The texts of the Linux programs as the build generates them from resources/texts
// (resources/generate-texts.cmake): the keys of the English file, and each language's texts in
// the same order.
#pragma once

#include <span>
#include <string_view>

namespace pradex {

struct TextLanguage {
  std::string_view code;  // as in LanguageBlocks(): "en", "fi", "pt_BR", ...
  std::span<const std::string_view> texts;
};

std::span<const std::string_view> TextKeys();
// English first.
std::span<const TextLanguage> TextLanguages();

}  // namespace pradex
