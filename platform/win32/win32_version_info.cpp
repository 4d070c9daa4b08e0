#include "platform/win32/win32_version_info.h"

#include <windows.h>

namespace pradex {

bool Win32VersionInfo::GetFileVersion(const std::string& fileName, std::uint32_t& versionMs,
                                      std::uint32_t& versionLs) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &ignored);
  if (size == 0) return false;  // no version resource, or no such file
  const HLOCAL buffer = LocalAlloc(LMEM_FIXED, size);
  if (!buffer) return false;

  bool found = false;
  // The buffer is not zero-filled: only a resource that was read may be parsed.
  if (GetFileVersionInfoA(fileName.c_str(), 0, size, buffer)) {
    void* block = nullptr;
    UINT length = 0;
    if (VerQueryValueA(buffer, "\\", &block, &length) && block &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
      const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
      versionMs = fixed->dwFileVersionMS;
      versionLs = fixed->dwFileVersionLS;
      found = true;
    }
  }
  LocalFree(buffer);
  return found;
}

}  // namespace pradex
