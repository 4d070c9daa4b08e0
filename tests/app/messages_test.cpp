#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/messages.h"
#include "tests/app/test_text.h"

namespace pradex {
namespace {

using test::Utf8;

// Records the ids asked for; knows only the ids it was given.
class RecordingStrings : public StringResources {
 public:
  bool Load(unsigned id, std::string& text) override {
    requested.push_back(id);
    const auto it = texts.find(id);
    if (it == texts.end()) {
      text.clear();
      return false;
    }
    text = it->second;
    return true;
  }

  std::map<unsigned, std::string> texts;
  std::vector<unsigned> requested;
};

TEST(LoadMessage, LoadsIdFiveHundredPlusN) {
  RecordingStrings strings;
  strings.texts = {{505, "five"}, {105, "english"}, {514, "fourteen"}};
  EXPECT_EQ(LoadMessage(strings, 5), "five");
  EXPECT_EQ(LoadMessage(strings, 14), "fourteen");
  EXPECT_EQ(strings.requested, (std::vector<unsigned>{505, 514}));
}

TEST(LoadMessage, ShowsTheFinnishBlockOfTheBuiltInTable) {
  EmbeddedStringResources strings;
  EXPECT_EQ(LoadMessage(strings, 5), Utf8(u8"Pysäytä"));
  EXPECT_EQ(LoadMessage(strings, 11), "Versio");
  EXPECT_EQ(LoadMessage(strings, 10), "Pradex ");
}

TEST(LoadMessage, MissingMessageIsEmptyAndFalse) {
  RecordingStrings strings;
  std::string text = "left over";
  EXPECT_FALSE(LoadMessage(strings, 3, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(LoadMessage(strings, 3), "");

  EmbeddedStringResources table;
  text = "left over";
  EXPECT_FALSE(LoadMessage(table, 15, text));  // id 515
  EXPECT_EQ(text, "");
  EXPECT_EQ(LoadMessage(table, 0), "");  // id 500
}

TEST(LoadMessage, NumberThatWouldWrapAroundIsNotLookedUp) {
  RecordingStrings strings;
  strings.texts = {{0xFFFFFFFFu, "wrapped"}, {4294966796u, "wrapped"}};
  std::string text = "left over";
  EXPECT_FALSE(LoadMessage(strings, -501, text));
  EXPECT_EQ(text, "");
  EXPECT_EQ(LoadMessage(strings, -1000), "");
  EXPECT_TRUE(strings.requested.empty());
}

TEST(EmbeddedStringResources, FindsEveryIdOfTheTableAndNoOther) {
  EmbeddedStringResources strings;
  std::string text;
  for (const auto& entry : EmbeddedStringTable()) {
    ASSERT_TRUE(strings.Load(entry.id, text)) << entry.id;
    EXPECT_EQ(text, entry.text);
  }
  for (const unsigned id : {0u, 1u, 100u, 115u, 199u, 200u, 1500u, 1515u, 1601u, 65535u}) {
    text = "left over";
    EXPECT_FALSE(strings.Load(id, text)) << id;
    EXPECT_EQ(text, "") << id;
  }
}

}  // namespace
}  // namespace pradex
