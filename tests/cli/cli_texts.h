// The texts of the string table's block in use that the console prints, written as u8 literals
// so that they are UTF-8 whatever the execution character set.
#pragma once

#include <string>
#include <string_view>

namespace pradex::test {

inline std::string Utf8(std::u8string_view text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

// Message 3: no printers found.
inline const std::string kNoneFoundText = Utf8(u8"Tulostimia ei löydy.");
// Message 4: the text above the listed devices.
inline const std::string kFoundText = Utf8(
    u8"Seuraavilla Tulostimet-kansion verkkotulostimilla on tila- ja määritystiedot. Voit "
    u8"tarkastella niitä napsauttamalla niiden alla näkyvää nimeä.");

}  // namespace pradex::test
