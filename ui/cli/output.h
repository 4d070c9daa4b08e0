// The text pradex-cli prints: the plain listing and the JSON object, and the escaping that keeps
// user data (printer names) from breaking either or from reaching the terminal as control codes.
#pragma once

#include <string>
#include <string_view>

#include "ui/cli/console_search.h"

namespace pradex::cli {

// True for the names a C library gives plain 7-bit ASCII ("ANSI_X3.4-1968" in the "C" and
// "POSIX" locales, "ASCII", "US-ASCII", ...), in any case.
bool IsAsciiCodeset(std::string_view codeset);

// The encoding the console output is written in, given the locale's codeset: the locale's own,
// except plain ASCII, for which UTF-8 is written. A process gets plain ASCII when LANG is unset
// or "C" (as under cron, ssh without locale forwarding or a minimal container) while its
// terminal nearly always shows UTF-8; converting the Finnish texts to ASCII would turn every
// "ä" and "ö" into '?', so UTF-8 loses nothing there and is what the terminal expects.
std::string OutputCodeset(std::string_view localeCodeset);

// A name or URL from the system, as UTF-8, made safe for one field of a console line: control
// characters (C0, DEL, C1), the backslash and bytes that are not valid UTF-8 become C escapes
// ("\t", "\n", "\\", "\x1b", "\xc2\x9b"), so that every field stays on its line, contains no
// tab and cannot steer the terminal. Everything else is left as it is.
std::string EscapeForConsole(std::string_view utf8);

// `bytes` as a JSON string literal, quotes included. Valid UTF-8 is kept; '"', '\' and control
// characters are escaped (C1 controls, U+2028 and U+2029 too), and each byte that is not part
// of valid UTF-8 becomes U+FFFD, so that the result is always valid JSON in UTF-8.
std::string JsonString(std::string_view bytes);

// The plain listing in `codeset`: the status text (already in that codeset) on the first line,
// then "NAME\tURL" per device (with `supplies`, "NAME\tURL\tFACTS", see FactsField); with an
// explanation, an empty line, "spooler: ..." and one line "NAME\tREASON\tDETAIL" per printer
// of the spooler, in the language of `block` (with "\tsupplies: WHY NOT" added for a listed
// device that was asked and reported nothing).
std::string FormatText(const ConsoleOutcome& outcome, const std::string& codeset, unsigned block,
                       bool supplies = false);

// The progress line for a terminal, UTF-8: "pradex-cli: 3/12 devices checked".
std::string ProgressText(const SearchProgress& progress, unsigned block);

// The JSON object (the outcome's texts in UTF-8, those of the explanation in the language of
// `block`), ending with a line break. Keyword fields ("outcome", "verdict", ...) are the same
// in every language.
std::string FormatJson(const ConsoleOutcome& outcome, unsigned block);

// For standard error, UTF-8: after a search that could not read the spooler's printer list, one
// line that says why and where to learn more; "" after any other search.
std::string SpoolerProblemLine(const ConsoleOutcome& outcome, unsigned block);

// How a search ended, in words that do not depend on the language of the texts: "completed",
// "spooler-unavailable" or "interrupted" (which wins over the others).
const char* OutcomeKey(const ConsoleOutcome& outcome);

// The exit status: kExitOutputFailed when the output could not be written, else 128 +
// `stopSignal` for an interrupted search, kExitSpoolerUnavailable, or kExitCompleted.
int ExitStatus(const ConsoleOutcome& outcome, bool written, int stopSignal);

}  // namespace pradex::cli
