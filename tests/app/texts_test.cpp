// The texts of the Linux programs: phrases put into a language, placeholders filled, and a
// table for every language the string table has.
#include "app/texts.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/languages.h"
#include "app/messages.h"
#include "app/text_table.h"
#include "tests/app/test_text.h"

namespace pradex {
namespace {

using test::Utf8;

constexpr unsigned kEnglish = 1;

TEST(Texts, PhrasesNestAndFillTheirPlaceholdersInTheChosenLanguage) {
  // A literal is shown as it is, even one that looks like a placeholder.
  const Phrase step =
      Phrase::Of("port.step", {Phrase::Of("port.print-server", {Phrase::Literal("{1}")}),
                               Phrase::Of("port.lookup-failed")});
  EXPECT_EQ(Say(kEnglish, step), "print server {1}: the lookup failed");
  EXPECT_EQ(Say(kLanguageBlock, step), Utf8(u8"tulostuspalvelin {1}: haku epäonnistui"));
  EXPECT_EQ(Say(99, step), Say(kEnglish, step)) << "a block without texts shows English";
  EXPECT_EQ(Text(kEnglish, "probe.http-status", {"404"}), "the device answered 404");
  // Slips show: a missing argument keeps its placeholder, an unknown key comes out as itself.
  EXPECT_EQ(Text(kEnglish, "client-error.explained", {"x"}), "x (HTTP client error {2})");
  EXPECT_EQ(Say(kEnglish, Phrase::Of("no.such-key", {Phrase::Literal("a")})), "no.such-key");
  EXPECT_FALSE(HasText("no.such-key"));
}

TEST(Texts, EveryLanguageOfTheStringTableHasItsTexts) {
  for (const LanguageBlock& language : LanguageBlocks()) {
    const auto texts = TextLanguages();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const TextLanguage& t) {
      return t.code == language.code && t.texts.size() == TextKeys().size();
    })) << language.code;
  }
}

}  // namespace
}  // namespace pradex
