#include "app/languages.h"

#include <array>
#include <cctype>

#include "app/messages.h"
#include "app/texts.h"

namespace pradex {

namespace {

// The block order of resources/strings.txt.
constexpr std::array<LanguageBlock, 15> kBlocks{{
    {1, "en", "English"},
    {2, "da", "Danish"},
    {3, "de", "German"},
    {4, "es", "Spanish"},
    {5, "fi", "Finnish"},
    {6, "fr", "French"},
    {7, "it", "Italian"},
    {8, "nl", "Dutch"},
    {9, "no", "Norwegian"},
    {10, "pt_BR", "Portuguese (Brazil)"},
    {11, "sv", "Swedish"},
    {12, "ja", "Japanese"},
    {13, "ko", "Korean"},
    {14, "zh_CN", "Chinese (Simplified)"},
    {15, "zh_TW", "Chinese (Traditional)"},
}};

constexpr unsigned kMessagesPerBlock = 14;

bool SameCode(std::string_view given, std::string_view code) {
  if (given.size() != code.size()) return false;
  for (std::size_t i = 0; i < given.size(); ++i) {
    const char c = given[i] == '-' ? '_' : given[i];
    if (std::tolower(static_cast<unsigned char>(c)) !=
        std::tolower(static_cast<unsigned char>(code[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::span<const LanguageBlock> LanguageBlocks() {
  return kBlocks;
}

std::optional<unsigned> BlockOfLanguage(std::string_view code) {
  for (const LanguageBlock& language : kBlocks) {
    if (SameCode(code, language.code)) return language.block;
  }
  return std::nullopt;
}

std::string LanguageList(std::string_view indent) {
  constexpr std::size_t kLineWidth = 80;
  std::string text;
  std::string line(indent);
  for (std::size_t i = 0; i < kBlocks.size(); ++i) {
    std::string item = std::string(kBlocks[i].code) + " " + std::string(kBlocks[i].name);
    if (i + 1 < kBlocks.size()) item += ",";
    if (line.size() > indent.size() && line.size() + 1 + item.size() > kLineWidth) {
      text += line + "\n";
      line = indent;
    }
    if (line.size() > indent.size()) line += " ";
    line += item;
  }
  return text + line + "\n";
}

LanguageChoice ChooseLanguage(const std::optional<std::string>& option, const char* environment) {
  LanguageChoice choice;
  choice.block = kLanguageBlock;
  std::string unknownInEnvironment;
  if (environment != nullptr && *environment != '\0') {
    if (const auto block = BlockOfLanguage(environment)) {
      choice.block = *block;
    } else {
      unknownInEnvironment = environment;
    }
  }
  if (option) {
    // A code the option does not know is told in the language the program would show without
    // it.
    if (const auto block = BlockOfLanguage(*option)) {
      choice.block = *block;
    } else {
      choice.error = Text(choice.block, "language.unknown", {*option});
    }
  } else if (!unknownInEnvironment.empty()) {
    // A stale setting in a profile must not keep the program from starting.
    choice.warning = Text(choice.block, "language.unknown-in-environment",
                          {kLanguageVariable, unknownInEnvironment});
  }
  return choice;
}

bool LanguageStringResources::Load(unsigned id, std::string& text) {
  const unsigned first = static_cast<unsigned>(MessageId(1));
  if (id < first || id >= first + kMessagesPerBlock) return source.Load(id, text);
  return source.Load(block * 100 + (id - first + 1), text);
}

}  // namespace pradex
