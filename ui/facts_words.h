// What a device said about itself, in words of the chosen language block: the window's supply
// lines and state, and why a device's facts are missing (--explain, the window's details).
#pragma once

#include <chrono>
#include <string>

#include "discovery/device_facts.h"

namespace pradex {

struct SupplyWords {
  std::string name;   // the device's name for it, else its kind ("toner"), else "supply"
  std::string level;  // "75 %", "level unknown", "level not reported"
  std::string mark;   // "low", "nearly full" (a receptacle), or ""
  // The whole line as a screen reader says it: "Black Toner: 75 %, low".
  std::string line;
};

SupplyWords WordSupply(unsigned block, const Supply& supply);

// The state when it is worth a word: "" for an idle device (or one that said nothing), else
// the state and its reasons, "stopped: paper jam, toner low"; reasons without a word of their
// own stand as the device sent them.
std::string StateWords(unsigned block, const DeviceFacts& facts);

// Why a device's facts are missing; "" when they were reported. `limit`: the time a device
// is given.
std::string MissingWords(unsigned block, const DeviceFacts& facts,
                         std::chrono::milliseconds limit = std::chrono::milliseconds(3000));

}  // namespace pradex
