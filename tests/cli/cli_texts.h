// What the console tests share: the texts of the string table's block in use that the console
// prints, written as u8 literals so that they are UTF-8 whatever the execution character set,
// and the splitting of its output into lines and fields.
#pragma once

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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

// The same in English, for the tests that compare the English reasons of --explain.
inline const std::string kNoneFoundEnglish = "No printers found.";
inline const std::string kFoundEnglish =
    "The following network devices from your Printers Folder have status and configuration "
    "information. Click on a name below to view.";

// The printed lines, and the tab-separated fields of one line.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

}  // namespace pradex::test
