// Words for people, not yet in a language: a key of the texts of the Linux programs
// (resources/texts) with what fills its placeholders {1}, {2}, ..., or, with an empty key, a
// literal shown as it is (a printer name, a URI, a number). The layers below app/ speak in
// phrases; app/texts.h puts them into the language the user chose.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pradex {

struct Phrase {
  std::string key;
  std::vector<Phrase> args;  // {1} is args[0]
  std::string literal;       // with an empty key

  static Phrase Literal(std::string text) {
    Phrase phrase;
    phrase.literal = std::move(text);
    return phrase;
  }
  static Phrase Of(std::string key, std::vector<Phrase> args = {}) {
    Phrase phrase;
    phrase.key = std::move(key);
    phrase.args = std::move(args);
    return phrase;
  }
  // Nothing to say.
  bool empty() const { return key.empty() && literal.empty(); }

  friend bool operator==(const Phrase&, const Phrase&) = default;
};

}  // namespace pradex
