#include <gtest/gtest.h>

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

TEST(StringTable, FinnishBlockHoldsTheTextsTheWindowShows) {
  const std::map<unsigned, std::string> expected = {
      {502, Utf8(u8"Etsitään tietokoneeseen yhdistettyjä verkkotulostimia, odota hetki...")},
      {503, Utf8(u8"Tulostimia ei löydy.")},
      {504, Utf8(u8"Seuraavilla Tulostimet-kansion verkkotulostimilla on tila- ja määritystiedot. "
                 u8"Voit tarkastella niitä napsauttamalla niiden alla näkyvää nimeä.")},
      {505, Utf8(u8"Pysäytä")},
      {506, Utf8(u8"Päivitä")},
      {507, "Sulje"},
      {508, "Tiedosto"},
      {510, "Pradex "},
      {511, "Versio"},
      {512, "OK"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(Text(id), text) << "id " << id;
  // The exact bytes of the Stop button's text, and the label's trailing space.
  EXPECT_EQ(Text(505), "Pys\xC3\xA4yt\xC3\xA4");
  ASSERT_EQ(Text(510).size(), 7u);
  EXPECT_EQ(Text(510).back(), ' ');
}

TEST(StringTable, EnglishBlockHoldsTheReferenceTexts) {
  const std::map<unsigned, std::string> expected = {
      {101, "&About Pradex for Windows..."},
      {102, "Searching for network printers connected to this computer, please wait..."},
      {103, "No printers found."},
      {104,
       "The following network devices from your Printers Folder have status and configuration "
       "information. Click on a name below to view."},
      {105, "Stop"},
      {106, "Refresh"},
      {107, "Close"},
      {108, "File"},
      {109, "Pradex for Windows"},
      {110, "Pradex"},
      {111, "Version"},
      {112, "OK"},
      {114, "The Pradex is cancelling the search for available printers.  Please wait."},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(Text(id), text) << "id " << id;
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
  // Spot checks of languages whose block could be mixed up.
  EXPECT_EQ(Text(305), "Anhalten");
  EXPECT_EQ(Text(1108), "Arkiv");
  EXPECT_EQ(Text(1211), Utf8(u8"バージョン"));
  EXPECT_EQ(Text(1312), Utf8(u8"확인"));
  EXPECT_EQ(Text(1406), Utf8(u8"刷新"));
  EXPECT_EQ(Text(1506), Utf8(u8"重新整理"));
}

}  // namespace
}  // namespace pradex
