// The command line of pradex-cli.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/phrase.h"

namespace pradex::cli {

struct CliOptions {
  bool json = false;      // the result as one JSON object
  bool explain = false;   // also why each printer of the spooler was or was not listed
  bool supplies = false;  // a third column: what each device says about itself
  bool help = false;
  bool version = false;
  std::optional<std::string> language;  // --language=CODE
};

struct ParsedCommandLine {
  CliOptions options;
  Phrase error;  // empty when the command line is valid
};

// Exit statuses.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitOutputFailed = 1;
inline constexpr int kExitUsage = 2;
// The spooler's printer list could not be read (no CUPS server, no or no sane answer): unlike
// a machine without such printers, nothing is known about the devices.
inline constexpr int kExitSpoolerUnavailable = 3;
// An interrupted search exits with 128 + the signal's number, as a shell reports a process
// that the signal ended: 130 for SIGINT, 143 for SIGTERM.
inline constexpr int kExitSignalBase = 128;

// Whether the devices are asked what they say about themselves: only when it is shown, so
// that the plain listing costs nothing more.
inline bool AsksDevices(const CliOptions& options) {
  return options.supplies || options.json || options.explain;
}

// `arguments` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The short text for standard error after a usage error.
std::string UsageText();
// The text of --help.
std::string HelpText();

}  // namespace pradex::cli
