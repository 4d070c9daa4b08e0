#include "app/static_version_info.h"

#ifndef PRADEX_VERSION_MAJOR
#error "the build defines PRADEX_VERSION_MAJOR .. PRADEX_VERSION_TWEAK from the project version"
#endif

#include "app/about_box.h"

namespace pradex {

bool StaticVersionInfo::GetFileVersion(const std::string&, std::uint32_t& versionMs,
                                       std::uint32_t& versionLs) {
  versionMs = (std::uint32_t{PRADEX_VERSION_MAJOR} << 16) | std::uint32_t{PRADEX_VERSION_MINOR};
  versionLs = (std::uint32_t{PRADEX_VERSION_PATCH} << 16) | std::uint32_t{PRADEX_VERSION_TWEAK};
  return true;
}

}  // namespace pradex

namespace pradex {

std::string VersionLine() {
  StaticVersionInfo versions;
  return "pradex " + GetVersionText(versions, "pradex");
}

}  // namespace pradex
