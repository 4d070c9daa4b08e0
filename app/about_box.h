// The About box's texts: product name, version and copyright line.
#pragma once

#include <array>
#include <string>

#include "platform/string_resources.h"
#include "platform/version_info.h"

namespace pradex {

// The file whose version the About box shows: the program's own executable.
inline constexpr const char* kAboutVersionFileName = "Pradex.exe";

// Controls of the About box (dialog template 100).
inline constexpr int kAboutOkButtonId = 1;
inline constexpr int kAboutProductId = 20005;
inline constexpr int kAboutCopyrightId = 20000;
inline constexpr int kAboutVersionId = 20004;

// "major.minor.build" of the file's version (the fourth part is not shown), or "" when the file
// has no version.
std::string GetVersionText(VersionInfo& versions, const std::string& fileName);

struct AboutControlText {
  int controlId;
  std::string text;
};

// The texts OnInitDialog gives the About box's controls, in the order it sets them: the OK
// button, the product name, the copyright line, and the version label followed by one space and
// the version text of kAboutVersionFileName. A missing message is an empty text.
std::array<AboutControlText, 4> AboutBoxTexts(StringResources& strings, VersionInfo& versions);

}  // namespace pradex
