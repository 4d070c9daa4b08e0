// The fifteen language blocks of the string table and the choice of one of them. The program
// shows the Finnish block unless a user asks for another; every text is still looked up as a
// message of the block in use (MessageId), and LanguageStringResources answers those ids from
// the chosen block.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/string_resources.h"

namespace pradex {

struct LanguageBlock {
  unsigned block;         // 1 to 15
  std::string_view code;  // as users give it: "fi", "pt_BR", "zh_TW", ...
  std::string_view name;  // in English
};

// The blocks in table order.
std::span<const LanguageBlock> LanguageBlocks();

// The block of a language code; letters in any case, "-" for "_" ("pt-br"). nullopt for a code
// that names no block.
std::optional<unsigned> BlockOfLanguage(std::string_view code);

// The codes as a help text lists them, "en English, da Danish, ...", in lines of at most 80
// characters that each start with `indent` and end with a line break.
std::string LanguageList(std::string_view indent);

// The language a program shows: the --language option when given, else the environment
// variable PRADEX_LANGUAGE when set and not empty, else the block in use (Finnish).
inline constexpr const char* kLanguageVariable = "PRADEX_LANGUAGE";
// The error and the warning are in the language of `block`, UTF-8.
struct LanguageChoice {
  unsigned block = 0;
  std::string error;    // an unknown code in the option: a usage error
  std::string warning;  // an unknown code in the environment: Finnish is shown instead
};
LanguageChoice ChooseLanguage(const std::optional<std::string>& option, const char* environment);

// Messages of the block in use (MessageId) read from `block` of `source`; any other id is
// passed through.
class LanguageStringResources : public StringResources {
 public:
  LanguageStringResources(StringResources& source, unsigned block) : source(source), block(block) {}
  bool Load(unsigned id, std::string& text) override;

 private:
  StringResources& source;
  unsigned block;
};

}  // namespace pradex
