// The registry over advapi32. The predefined roots of registry.h map to the real HKEY_* values
// (which are sign-extended on 64-bit Windows); every other RegKey is an HKEY cast to an integer.
#pragma once

#include "platform/registry.h"

namespace pradex {

class Win32Registry : public Registry {
 public:
  long OpenKey(RegKey parent, const char* subKey, std::uint32_t access, RegKey* result) override;
  long QueryValue(RegKey key, const char* valueName, std::uint32_t* type, std::uint8_t* data,
                  std::uint32_t* size) override;
  long SetValue(RegKey key, const char* valueName, std::uint32_t type, const std::uint8_t* data,
                std::uint32_t size) override;
  long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
  long CloseKey(RegKey key) override;
};

}  // namespace pradex
