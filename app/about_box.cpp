#include "app/about_box.h"

#include <cstdint>

#include "app/messages.h"

namespace pradex {

std::string GetVersionText(VersionInfo& versions, const std::string& fileName) {
  std::uint32_t versionMs = 0;
  std::uint32_t versionLs = 0;
  if (!versions.GetFileVersion(fileName, versionMs, versionLs)) return "";
  return std::to_string(versionMs >> 16) + "." + std::to_string(versionMs & 0xFFFF) + "." +
         std::to_string(versionLs >> 16);
}

std::array<AboutControlText, 4> AboutBoxTexts(StringResources& strings, VersionInfo& versions) {
  const std::string ok = LoadMessage(strings, kOkMessage);
  const std::string product = LoadMessage(strings, kProductMessage);
  const std::string copyright = LoadMessage(strings, kCopyrightMessage);
  std::string version = LoadMessage(strings, kVersionLabelMessage);
  version += " ";
  version += GetVersionText(versions, kAboutVersionFileName);
  return {{{kAboutOkButtonId, ok},
           {kAboutProductId, product},
           {kAboutCopyrightId, copyright},
           {kAboutVersionId, version}}};
}

}  // namespace pradex
