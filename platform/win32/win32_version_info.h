// File versions from version resources (GetFileVersionInfoA / VerQueryValueA).
#pragma once

#include "platform/version_info.h"

namespace pradex {

class Win32VersionInfo : public VersionInfo {
 public:
  // `fileName` is found as the loader finds modules when it has no folder.
  bool GetFileVersion(const std::string& fileName, std::uint32_t& versionMs,
                      std::uint32_t& versionLs) override;
};

}  // namespace pradex
