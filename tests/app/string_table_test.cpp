#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "app/messages.h"
#include "tests/app/test_text.h"

namespace pradex {
namespace {

using test::Utf8;

constexpr unsigned kBlocks = 15;
constexpr unsigned kMessages = 14;

std::string Text(unsigned id) {
  for (const auto& entry : EmbeddedStringTable()) {
    if (entry.id == id) return std::string(entry.text);
  }
  ADD_FAILURE() << "no text with id " << id;
  return {};
}

TEST(StringTable, HoldsExactlyFourteenMessagesInEachOfFifteenBlocksInIdOrder) {
  const auto table = EmbeddedStringTable();
  ASSERT_EQ(table.size(), kBlocks * kMessages);
  std::size_t i = 0;
  for (unsigned block = 1; block <= kBlocks; ++block) {
    for (unsigned n = 1; n <= kMessages; ++n, ++i) {
      EXPECT_EQ(table[i].id, block * 100 + n) << "entry " << i;
      EXPECT_FALSE(table[i].text.empty()) << "id " << table[i].id;
    }
  }
}

// The texts of resources/strings.txt, read here on their own (id to text), to hold the built
// table against: what the build makes of the file must be what the file says.
std::map<unsigned, std::string> SourceTexts() {
  std::ifstream file(std::string(PRADEX_RESOURCES_DIR) + "/strings.txt", std::ios::binary);
  std::map<unsigned, std::string> texts;
  std::string line;
  while (std::getline(file, line)) {
    const auto open = line.find(" \"");
    if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        open == std::string::npos)
      continue;
    const auto close = line.rfind('"');
    std::string text;
    for (std::size_t i = open + 2; i < close; ++i) {
      if (line[i] == '\\' && i + 1 < close) ++i;  // \" and \\ stand for the character after
      text += line[i];
    }
    EXPECT_TRUE(texts.emplace(std::stoul(line.substr(0, open)), text).second) << line;
  }
  return texts;
}

TEST(StringTable, HoldsExactlyTheTextsOfTheSourceFile) {
  const std::map<unsigned, std::string> source = SourceTexts();
  ASSERT_EQ(source.size(), kBlocks * kMessages);
  std::map<unsigned, std::string> built;
  for (const auto& entry : EmbeddedStringTable()) built.emplace(entry.id, entry.text);
  EXPECT_EQ(built, source);
  // UTF-8 bytes as written, and the label's trailing space kept.
  EXPECT_EQ(Text(505), "Pys\xC3\xA4yt\xC3\xA4");
  EXPECT_EQ(Text(510), "Pradex ");
}

TEST(StringTable, CancellingTextKeepsTwoSpacesBetweenItsSentences) {
  for (const unsigned id : {114u, 514u}) {
    const std::string text = Text(id);
    const auto gap = text.find(".  ");
    ASSERT_NE(gap, std::string::npos) << "id " << id << ": " << text;
    // Exactly two spaces, then the second sentence, which ends the text.
    EXPECT_NE(text[gap + 3], ' ') << "id " << id;
    EXPECT_EQ(text.find(".  ", gap + 1), std::string::npos) << "id " << id;
    EXPECT_EQ(text.back(), '.') << "id " << id;
  }
}

TEST(StringTable, EveryBlockNamesTheProductWhereTheEnglishTextDoes) {
  for (unsigned block = 1; block <= kBlocks; ++block) {
    for (const unsigned n : {1u, 9u, 14u}) {
      const unsigned id = block * 100 + n;
      EXPECT_NE(Text(id).find("Pradex"), std::string::npos) << "id " << id << ": " << Text(id);
    }
    EXPECT_EQ(Text(block * 100 + 10).rfind("Pradex", 0), 0u) << "block " << block;
  }
}

TEST(StringTable, AboutItemHasAnAccessKeyInEveryBlock) {
  for (unsigned block = 1; block <= kBlocks; ++block) {
    const std::string text = Text(block * 100 + 1);
    const auto amp = text.find('&');
    ASSERT_NE(amp, std::string::npos) << "block " << block << ": " << text;
    ASSERT_LT(amp + 1, text.size());
    EXPECT_NE(text[amp + 1], '&') << "block " << block;
    EXPECT_NE(text[amp + 1], ' ') << "block " << block;
    EXPECT_EQ(text.find('&', amp + 1), std::string::npos) << "block " << block;
  }
}

TEST(StringTable, CopyrightLineIsTheSameInEveryBlock) {
  const std::string english = Text(113);
  EXPECT_EQ(english.rfind(Utf8(u8"Copyright © "), 0), 0u) << english;
  EXPECT_NE(english.find("Pradex"), std::string::npos);
  for (unsigned block = 2; block <= kBlocks; ++block) {
    EXPECT_EQ(Text(block * 100 + 13), english) << "block " << block;
  }
}

TEST(StringTable, OtherBlocksAreTranslated) {
  // Each language has its own searching, nothing-found and device-list texts.
  for (const unsigned n : {2u, 3u, 4u, 14u}) {
    std::set<std::string> texts;
    for (unsigned block = 1; block <= kBlocks; ++block) texts.insert(Text(block * 100 + n));
    EXPECT_EQ(texts.size(), kBlocks) << "message " << n;
  }
}

}  // namespace
}  // namespace pradex
