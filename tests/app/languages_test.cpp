// The choice of a language block: the codes users give, where the choice comes from, and the
// texts a chosen block shows.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>

#include "app/languages.h"
#include "app/messages.h"

namespace pradex {
namespace {

// Each code names the block whose heading in strings.txt carries the same language name, so
// that the codes cannot drift from the table the texts come from.
TEST(Languages, EveryCodeNamesTheBlockOfItsLanguageInTheStringTable) {
  std::ifstream file(std::string(PRADEX_RESOURCES_DIR) + "/strings.txt");
  ASSERT_TRUE(file.is_open());
  std::map<unsigned, std::string> headings;
  const std::regex heading(R"(^block (\d+) (.+)$)");
  for (std::string line; std::getline(file, line);) {
    std::smatch match;
    if (std::regex_match(line, match, heading)) {
      headings[static_cast<unsigned>(std::stoul(match[1]))] = match[2];
    }
  }
  ASSERT_EQ(headings.size(), 15u);
  std::set<unsigned> blocks;
  for (const LanguageBlock& language : LanguageBlocks()) {
    EXPECT_EQ(headings[language.block], language.name) << language.code;
    EXPECT_EQ(BlockOfLanguage(language.code), language.block) << language.code;
    blocks.insert(language.block);
  }
  EXPECT_EQ(blocks.size(), 15u);
  EXPECT_EQ(BlockOfLanguage("PT-br"), BlockOfLanguage("pt_BR")) << "case and hyphen are free";
  EXPECT_EQ(BlockOfLanguage("fi"), kLanguageBlock);
  for (const char* unknown : {"", "f", "fin", "pt", "zh", "fi ", "e n"}) {
    EXPECT_EQ(BlockOfLanguage(unknown), std::nullopt) << unknown;
  }
}

TEST(Languages, TheOptionComesFirstThenTheEnvironmentThenFinnish) {
  const unsigned english = *BlockOfLanguage("en");
  const unsigned swedish = *BlockOfLanguage("sv");
  struct Case {
    std::optional<std::string> option;
    const char* environment;
    unsigned block;
    bool error;
    bool warning;
  };
  const Case cases[] = {
      {std::nullopt, nullptr, kLanguageBlock, false, false},
      {std::nullopt, "", kLanguageBlock, false, false},
      {std::nullopt, "sv", swedish, false, false},
      {std::nullopt, "xx", kLanguageBlock, false, true},  // a stale setting still starts
      {"en", "sv", english, false, false},
      {"en", "xx", english, false, false},
      {"xx", "sv", swedish, true, false},  // the error is told in Swedish
      {"", nullptr, kLanguageBlock, true, false},
  };
  for (const Case& c : cases) {
    const std::string label = c.option.value_or("(none)") + " / " +
                              (c.environment == nullptr ? "(unset)" : c.environment);
    const LanguageChoice choice = ChooseLanguage(c.option, c.environment);
    EXPECT_EQ(choice.block, c.block) << label;
    EXPECT_EQ(!choice.error.empty(), c.error) << label;
    EXPECT_EQ(!choice.warning.empty(), c.warning) << label;
  }
}

TEST(Languages, AChosenBlockAnswersForTheMessagesOfTheBlockInUse) {
  EmbeddedStringResources table;
  LanguageStringResources english(table, *BlockOfLanguage("en"));
  EXPECT_EQ(LoadMessage(english, kStopMessage), "Stop");
  EXPECT_EQ(LoadMessage(english, kNoneFoundMessage), "No printers found.");
  LanguageStringResources finnish(table, kLanguageBlock);
  for (int n = 1; n <= 14; ++n) {
    EXPECT_EQ(LoadMessage(finnish, n), LoadMessage(table, n)) << n;
  }
  // Ids outside the block in use are passed through unchanged.
  std::string text;
  EXPECT_TRUE(english.Load(1105, text));
  std::string direct;
  table.Load(1105, direct);
  EXPECT_EQ(text, direct);
  EXPECT_FALSE(english.Load(515, text));
}

TEST(Languages, TheHelpListNamesEveryCodeInShortLines) {
  const std::string list = LanguageList("    ");
  for (const LanguageBlock& language : LanguageBlocks()) {
    EXPECT_NE(list.find(std::string(language.code) + " " + std::string(language.name)),
              std::string::npos)
        << language.code;
  }
  std::size_t start = 0;
  for (std::size_t end = list.find('\n'); end != std::string::npos;
       start = end + 1, end = list.find('\n', start)) {
    EXPECT_LE(end - start, 80u);
    EXPECT_EQ(list.compare(start, 4, "    "), 0);
  }
  EXPECT_EQ(start, list.size()) << "ends with a line break";
}

}  // namespace
}  // namespace pradex
