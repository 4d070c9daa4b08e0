// What each device said about itself, as pradex-cli prints it: the --supplies column and the
// JSON fields. Both are meant for scripts, so they use IPP's keywords and numbers, the same in
// every language (the window and --explain say it in words).
#pragma once

#include <string>

#include "discovery/device_facts.h"

namespace pradex::cli {

// The --supplies column, UTF-8: "not-reported" (the reason is in the JSON, MissingKeyword),
// else items joined by "; ": "state=STATE" with "(REASON,...)" when the device gives reasons, then
// one "NAME=LEVEL" per supply, LEVEL being "75%", "unknown" or "not-reported", followed by " low"
// or " nearly-full" when the device says so. NAME is the device's name for the supply, else
// its kind, else "supply"; in it, ';', '=' and what EscapeForConsole escapes are C escapes.
//   state=stopped(media-jam); Black Toner=75%; Cyan Toner=4% low; Waste Toner=unknown
std::string FactsField(const DeviceFacts& facts);

// The device's JSON members after "url": `, "facts": KEY, "state": {"value": STATE,
// "reasons": [...]} or null, "supplies": [{"name", "kind", "colour", "level", "low"}, ...] or
// null`; "level" is a number of percent or null, "colour" "#rrggbb" or null.
std::string FactsJson(const DeviceFacts& facts);

}  // namespace pradex::cli
