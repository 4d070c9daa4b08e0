// Texts of a UTF-8 string table as 8-bit text in the encoding of the user's locale: the Linux
// counterpart of converting the table's texts to the thread's ANSI code page on Windows.
#pragma once

#include <string>
#include <string_view>

#include "platform/string_resources.h"

namespace pradex {

// The character set of the user's default locale (LC_ALL="" / LANG), as nl_langinfo(CODESET)
// names it. Chosen on first use and kept for the rest of the process; safe to call from
// several threads at once.
const std::string& LocaleCodeset();

// True for every spelling of UTF-8 ("UTF-8", "utf8", ...).
bool IsUtf8Codeset(std::string_view codeset);

// Converts UTF-8 text to `codeset` with transliteration ("UTF-8" copies it unchanged). A
// character that the codeset cannot show, or a malformed byte, becomes '?'. False, and `out`
// untouched, when the system has no converter for `codeset`.
bool ConvertUtf8ToCodeset(std::string_view utf8, const std::string& codeset, std::string& out);

// A StringResources that loads UTF-8 texts from another one and hands them out in `codeset`
// (by default the locale's). If no converter exists for the codeset, the UTF-8 text is
// passed through.
class LocaleStringResources : public StringResources {
 public:
  explicit LocaleStringResources(StringResources& utf8Source);
  LocaleStringResources(StringResources& utf8Source, std::string outputCodeset);

  bool Load(unsigned id, std::string& text) override;

 private:
  StringResources& source;
  std::string codeset;
};

}  // namespace pradex
