// Reading registry text values into the fixed-size buffers of the discovery code.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace pradex {

using RegistryTextBuffer = std::array<std::uint8_t, kMaxPathBuffer>;

// The text of a value read into `buffer`: up to its first zero byte, but never past the
// length the read reported nor past the buffer. Values may be stored without a terminating
// zero, fill the buffer exactly, or hold binary data.
inline std::string RegistryText(const RegistryTextBuffer& buffer, std::uint32_t length) {
  const auto* begin = reinterpret_cast<const char*>(buffer.data());
  const auto* end = begin + std::min<std::size_t>(length, buffer.size());
  return std::string(begin, std::find(begin, end, '\0'));
}

// Reads `valueName` of the open key `key` as text into a zero-filled buffer of 260 bytes.
// False for any failed read, including a value too long for the buffer.
inline bool ReadRegistryText(Registry& registry, RegKey key, const char* valueName,
                             std::string& text) {
  RegistryTextBuffer buffer{};
  std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
  if (registry.QueryValue(key, valueName, nullptr, buffer.data(), &size) != kErrorSuccess) {
    return false;
  }
  text = RegistryText(buffer, size);
  return true;
}

}  // namespace pradex
