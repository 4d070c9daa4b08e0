// The command line of the Qt program, after Qt has taken its own options (-platform, -style,
// ...) out of it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/phrase.h"

namespace pradex {

struct WindowOptions {
  bool help = false;
  bool version = false;
  std::optional<std::string> language;  // --language=CODE
  Phrase error;                         // empty when the command line is valid
};

// `arguments` without the program name.
WindowOptions ParseWindowCommandLine(const std::vector<std::string>& arguments);

// True when `arguments` ask for --help or --version, which need no display: the program
// answers them before it connects to one.
bool AsksForHelpOrVersion(const std::vector<std::string>& arguments);

std::string WindowUsageText();
std::string WindowHelpText();

}  // namespace pradex
