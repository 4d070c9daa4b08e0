// The program's texts: the string table built into the program and the message lookup.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/string_resources.h"

namespace pradex {

// The language block every text is loaded from (Finnish), whatever the machine's language.
inline constexpr unsigned kLanguageBlock = 5;

// Message n (1 to 14) of the block in use has this id.
inline constexpr long long MessageId(int n) {
  return static_cast<long long>(kLanguageBlock) * 100 + n;
}

// The messages by number, as the program uses them.
inline constexpr int kAboutItemMessage = 1;
inline constexpr int kSearchingMessage = 2;
inline constexpr int kNoneFoundMessage = 3;
inline constexpr int kFoundMessage = 4;
inline constexpr int kStopMessage = 5;
inline constexpr int kRefreshMessage = 6;
inline constexpr int kCloseMessage = 7;
inline constexpr int kFileMenuMessage = 8;
inline constexpr int kProductMessage = 10;
inline constexpr int kVersionLabelMessage = 11;
inline constexpr int kOkMessage = 12;
inline constexpr int kCopyrightMessage = 13;
inline constexpr int kCancellingMessage = 14;

// Message n of the block in use (id 500 + n) into `text`; false and an empty text when the id
// does not exist.
bool LoadMessage(StringResources& strings, int n, std::string& text);
// The same, for callers to whom a missing message is simply an empty text.
std::string LoadMessage(StringResources& strings, int n);

// One text of the table built into the program: UTF-8, sorted by id.
struct StringTableEntry {
  unsigned id;
  std::string_view text;
};

// All 15 blocks of 14 messages, ids b * 100 + n, in ascending order of id (generated at build
// time from resources/strings.txt).
std::span<const StringTableEntry> EmbeddedStringTable();

// The built-in table as a string resource: the UTF-8 text itself. Platforms whose 8-bit text is
// not UTF-8 convert it (see platform/posix/locale_string_resources.h).
class EmbeddedStringResources : public StringResources {
 public:
  bool Load(unsigned id, std::string& text) override;
};

}  // namespace pradex
