#include "ui/facts_words.h"

#include <cstdio>

#include "app/texts.h"

namespace pradex {

namespace {

using Missing = DeviceFacts::Missing;

// The word of a keyword the table knows ("facts.kind.toner"); the keyword itself otherwise.
std::string Word(unsigned block, const std::string& group, const std::string& keyword) {
  const std::string key = group + keyword;
  return HasText(key) ? Text(block, key) : keyword;
}

// The text of why facts are missing: "facts.missing.not-ipp", ...
std::string MissingKey(Missing missing) {
  return std::string("facts.missing.") + MissingKeyword(missing);
}

}  // namespace

SupplyWords WordSupply(unsigned block, const Supply& supply) {
  SupplyWords words;
  if (!supply.name.empty())
    words.name = supply.name;
  else
    words.name = Word(block, "facts.kind.", supply.kind.empty() ? "other" : supply.kind);
  if (supply.level >= 0)
    words.level = Text(block, "facts.level.percent", {std::to_string(supply.level)});
  else
    words.level = Text(block, supply.level == Supply::kUnknown ? "facts.level.unknown"
                                                               : "facts.level.not-reported");
  if (supply.low)
    words.mark = Text(block, supply.fillsUp ? "facts.supply.nearly-full" : "facts.supply.low");
  words.line =
      Text(block, "facts.supply.line",
           {words.name, words.mark.empty() ? words.level : words.level + ", " + words.mark});
  return words;
}

std::string StateWords(unsigned block, const DeviceFacts& facts) {
  if (facts.state.empty() || (facts.state == "idle" && facts.stateReasons.empty())) return "";
  std::string text = Word(block, "facts.state.", facts.state);
  for (std::size_t i = 0; i < facts.stateReasons.size(); ++i)
    text += (i == 0 ? ": " : ", ") + Word(block, "facts.reason.", facts.stateReasons[i]);
  return text;
}

std::string MissingWords(unsigned block, const DeviceFacts& facts,
                         std::chrono::milliseconds limit) {
  switch (facts.missing) {
    case Missing::kNone:
      return "";
    case Missing::kIppError: {
      char status[8];
      std::snprintf(status, sizeof status, "0x%04x",
                    static_cast<unsigned>(facts.ippStatus) & 0xFFFFu);
      return Text(block, MissingKey(facts.missing), {status});
    }
    case Missing::kTimedOut:
      return Text(block, MissingKey(facts.missing), {std::to_string(limit.count() / 1000)});
    default:
      return Text(block, MissingKey(facts.missing));
  }
}

}  // namespace pradex
