// The texts of the Linux programs beyond the fourteen messages of the string table, in the
// language of a block of that table (LanguageChoice::block): the reasons of --explain and of the
// window's details view, the port problems, the console's own lines and the window's status
// line. Keys and texts live in resources/texts/<code>.txt; the build checks that every language
// has every key with the same placeholders.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "platform/phrase.h"

namespace pradex {

// `phrase` in the language of `block` (1 to 15; any other gives English), UTF-8. An unknown key
// comes out as the key itself, so that a slip shows.
std::string Say(unsigned block, const Phrase& phrase);

// The text of `key` with {1}, {2}, ... filled in from `args`, shown as they are.
std::string Text(unsigned block, std::string_view key,
                 std::initializer_list<std::string_view> args = {});

// Every key of the table.
std::span<const std::string_view> TextKeys();
bool HasText(std::string_view key);

}  // namespace pradex
