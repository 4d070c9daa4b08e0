#include "ui/cli/facts_output.h"

#include "ui/cli/output.h"

namespace pradex::cli {

namespace {

using Missing = DeviceFacts::Missing;

std::string Level(const Supply& supply) {
  if (supply.level >= 0) return std::to_string(supply.level) + "%";
  return supply.level == Supply::kUnknown ? "unknown" : "not-reported";
}

std::string SupplyName(const Supply& supply) {
  const std::string& name = !supply.name.empty()   ? supply.name
                            : !supply.kind.empty() ? supply.kind
                                                   : std::string("supply");
  std::string field;
  for (const char c : EscapeForConsole(name)) {
    if (c == ';')
      field += "\\x3b";
    else if (c == '=')
      field += "\\x3d";
    else
      field += c;
  }
  return field;
}

}  // namespace

std::string FactsField(const DeviceFacts& facts) {
  if (!facts.Reported()) return "not-reported";
  std::string field;
  if (!facts.state.empty()) {
    field = "state=" + facts.state;
    for (std::size_t i = 0; i < facts.stateReasons.size(); ++i)
      field += (i == 0 ? "(" : ",") + facts.stateReasons[i];
    if (!facts.stateReasons.empty()) field += ")";
  }
  for (const Supply& supply : facts.supplies) {
    if (!field.empty()) field += "; ";
    field += SupplyName(supply) + "=" + Level(supply);
    if (supply.low) field += supply.fillsUp ? " nearly-full" : " low";
  }
  return field;
}

std::string FactsJson(const DeviceFacts& facts) {
  std::string json = std::string(", \"facts\": \"") + MissingKeyword(facts.missing) + "\"";
  if (!facts.Reported() || facts.state.empty()) {
    json += ", \"state\": null";
  } else {
    json += ", \"state\": {\"value\": " + JsonString(facts.state) + ", \"reasons\": [";
    for (std::size_t i = 0; i < facts.stateReasons.size(); ++i)
      json += (i == 0 ? "" : ", ") + JsonString(facts.stateReasons[i]);
    json += "]}";
  }
  if (!facts.Reported()) return json + ", \"supplies\": null";
  json += ", \"supplies\": [";
  for (std::size_t i = 0; i < facts.supplies.size(); ++i) {
    const Supply& supply = facts.supplies[i];
    json += std::string(i == 0 ? "" : ", ") + "{\"name\": " + JsonString(supply.name) +
            ", \"kind\": " + JsonString(supply.kind) +
            ", \"colour\": " + (supply.colour.empty() ? "null" : JsonString(supply.colour)) +
            ", \"level\": " + (supply.level >= 0 ? std::to_string(supply.level) : "null") +
            ", \"low\": " + (supply.low ? "true" : "false") + "}";
  }
  return json + "]";
}

}  // namespace pradex::cli
