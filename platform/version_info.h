// A file's version (GetFileVersionInfoA / VerQueryValueA root block).
#pragma once

#include <cstdint>
#include <string>

namespace pradex {

class VersionInfo {
 public:
  virtual ~VersionInfo() = default;
  // True and the VS_FIXEDFILEINFO dwFileVersionMS / dwFileVersionLS of `fileName`.
  virtual bool GetFileVersion(const std::string& fileName, std::uint32_t& versionMs,
                              std::uint32_t& versionLs) = 0;
};

}  // namespace pradex
