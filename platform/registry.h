// The registry as the program uses it: the five operations, with Win32 result codes.
#pragma once

#include <cstdint>

#include "platform/win_codes.h"

namespace pradex {

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExA(parent, subKey, 0, access, result). `parent` is a root or an open key;
  // an empty or null `subKey` opens a new handle to `parent`. 0 and an open key, or an error
  // and *result = kNoKey.
  virtual long OpenKey(RegKey parent, const char* subKey, std::uint32_t access, RegKey* result) = 0;

  // RegQueryValueExA(key, valueName, nullptr, type, data, size). `valueName` null or "" is the
  // default value. With `data` null: 0 and *size = the value's length. With a buffer: 0 and the
  // bytes when *size is large enough, else kErrorMoreData; *size is the value's length in both.
  // No terminating zero is added to what is stored. `type` may be null.
  virtual long QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                          std::uint8_t* data, std::uint32_t* size) = 0;

  // RegSetValueExA(key, valueName, 0, type, data, size): creates or replaces the value.
  virtual long SetValue(RegKey key, const char* valueName, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) = 0;

  // RegEnumKeyA(key, index, name, nameSize): 0 and the zero-terminated name of subkey `index`,
  // kErrorNoMoreItems past the end, kErrorMoreData when the name does not fit.
  virtual long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) = 0;

  // RegCloseKey(key). Closing a root key is a no-op that succeeds.
  virtual long CloseKey(RegKey key) = 0;
};

// Closes an open key when it goes out of scope.
class ScopedRegKey {
 public:
  ScopedRegKey(Registry& registry, RegKey key = kNoKey) : owner(registry), handle(key) {}
  ~ScopedRegKey() { Reset(); }
  ScopedRegKey(const ScopedRegKey&) = delete;
  ScopedRegKey& operator=(const ScopedRegKey&) = delete;

  RegKey get() const { return handle; }
  RegKey* out() {
    Reset();
    return &handle;
  }
  void Reset() {
    if (handle != kNoKey) owner.CloseKey(handle);
    handle = kNoKey;
  }

 private:
  Registry& owner;
  RegKey handle;
};

}  // namespace pradex
