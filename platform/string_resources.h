// The program's string table, as 8-bit text in the conversion code page.
#pragma once

#include <string>

namespace pradex {

class StringResources {
 public:
  virtual ~StringResources() = default;
  // The text with this id, converted to 8-bit text; false and an empty text when missing.
  virtual bool Load(unsigned id, std::string& text) = 0;
};

}  // namespace pradex
