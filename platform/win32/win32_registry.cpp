#include "platform/win32/win32_registry.h"

#include <windows.h>

#include <array>
#include <utility>

namespace pradex {
namespace {

// The predefined keys, by their 32-bit value in registry.h order (0x80000000 + index).
const std::array<HKEY, 7> kPredefinedKeys = {
    HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE, HKEY_USERS,
    HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG, HKEY_DYN_DATA,
};
constexpr RegKey kFirstPredefinedKey = 0x80000000u;

bool IsPredefined(RegKey key) {
  return key >= kFirstPredefinedKey && key - kFirstPredefinedKey < kPredefinedKeys.size();
}

HKEY ToHkey(RegKey key) {
  if (IsPredefined(key)) return kPredefinedKeys[key - kFirstPredefinedKey];
  return reinterpret_cast<HKEY>(key);
}

RegKey FromHkey(HKEY key) {
  for (std::size_t i = 0; i < kPredefinedKeys.size(); ++i) {
    if (kPredefinedKeys[i] == key) return kFirstPredefinedKey + i;
  }
  return reinterpret_cast<RegKey>(key);
}

}  // namespace

long Win32Registry::OpenKey(RegKey parent, const char* subKey, std::uint32_t access,
                            RegKey* result) {
  HKEY opened = nullptr;
  const LSTATUS status = RegOpenKeyExA(ToHkey(parent), subKey, 0, access, &opened);
  *result = status == ERROR_SUCCESS ? FromHkey(opened) : kNoKey;
  return status;
}

long Win32Registry::QueryValue(RegKey key, const char* valueName, std::uint32_t* type,
                               std::uint8_t* data, std::uint32_t* size) {
  DWORD valueType = 0;
  DWORD valueSize = size ? *size : 0;
  const LSTATUS status =
      RegQueryValueExA(ToHkey(key), valueName, nullptr, type ? &valueType : nullptr, data,
                       size ? &valueSize : nullptr);
  if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    if (type) *type = valueType;
    if (size) *size = valueSize;
  }
  return status;
}

long Win32Registry::SetValue(RegKey key, const char* valueName, std::uint32_t type,
                             const std::uint8_t* data, std::uint32_t size) {
  return RegSetValueExA(ToHkey(key), valueName, 0, type, data, size);
}

long Win32Registry::EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) {
  return RegEnumKeyA(ToHkey(key), index, name, nameSize);
}

long Win32Registry::CloseKey(RegKey key) {
  if (IsPredefined(key)) return ERROR_SUCCESS;  // the roots are never closed
  return RegCloseKey(ToHkey(key));
}

}  // namespace pradex
