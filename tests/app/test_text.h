// Expected texts written as u8 literals, which are UTF-8 whatever the execution character set.
#pragma once

#include <string>
#include <string_view>

namespace pradex::test {

inline std::string Utf8(std::u8string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace pradex::test
