// The program's version where the platform keeps no version resources: the project version the
// build was configured with.
#pragma once

#include <cstdint>
#include <string>

#include "platform/version_info.h"

namespace pradex {

class StaticVersionInfo : public VersionInfo {
 public:
  // Answers for the program's own executable, whatever name it is asked by.
  bool GetFileVersion(const std::string& fileName, std::uint32_t& versionMs,
                      std::uint32_t& versionLs) override;
};

// What --version prints: the package name and "major.minor.build" of the project version.
std::string VersionLine();

}  // namespace pradex
