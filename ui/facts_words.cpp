#include "ui/facts_words.h"

namespace pradex {

// English until the text table carries these words.
SupplyWords WordSupply(unsigned block, const Supply& supply) {
  (void)block;
  SupplyWords words;
  words.name = !supply.name.empty() ? supply.name : !supply.kind.empty() ? supply.kind : "supply";
  if (supply.level >= 0)
    words.level = std::to_string(supply.level) + "%";
  else
    words.level = supply.level == Supply::kUnknown ? "level unknown" : "level not reported";
  if (supply.low) words.mark = supply.fillsUp ? "nearly full" : "low";
  words.line = words.name + ": " + words.level + (words.mark.empty() ? "" : ", " + words.mark);
  return words;
}

std::string StateWords(unsigned block, const DeviceFacts& facts) {
  (void)block;
  if (facts.state.empty() || (facts.state == "idle" && facts.stateReasons.empty())) return "";
  std::string text = facts.state == "processing" ? "printing" : facts.state;
  for (std::size_t i = 0; i < facts.stateReasons.size(); ++i)
    text += (i == 0 ? ": " : ", ") + facts.stateReasons[i];
  return text;
}

std::string MissingWords(unsigned block, const DeviceFacts& facts,
                         std::chrono::milliseconds limit) {
  (void)block;
  (void)limit;
  return facts.Reported() ? "" : "not reported";
}

}  // namespace pradex
