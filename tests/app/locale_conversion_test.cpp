// Conversion of the UTF-8 table to the locale's 8-bit encoding (Linux).
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/messages.h"
#include "platform/posix/locale_string_resources.h"
#include "tests/app/test_text.h"

namespace pradex {
namespace {

using test::Utf8;

// Code points of UTF-8 text (the length it must have in a single-byte encoding).
std::size_t CodePoints(const std::string& text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

TEST(ConvertUtf8ToCodeset, Latin1GetsOneByteACharacter) {
  std::string out;
  ASSERT_TRUE(ConvertUtf8ToCodeset(Utf8(u8"Pysäytä"), "ISO-8859-1", out));
  EXPECT_EQ(out, "Pys\xE4yt\xE4");
  ASSERT_TRUE(ConvertUtf8ToCodeset(Utf8(u8"Copyright © 2026"), "ISO-8859-15", out));
  EXPECT_EQ(out, "Copyright \xA9 2026");
  ASSERT_TRUE(ConvertUtf8ToCodeset(Utf8(u8"Schließen ö"), "CP1252", out));
  EXPECT_EQ(out,
            "Schlie\xDF"
            "en \xF6");

  // Every text of the block in use fits Latin-1 as it is.
  for (unsigned id = 501; id <= 514; ++id) {
    std::string utf8;
    EmbeddedStringResources table;
    ASSERT_TRUE(table.Load(id, utf8));
    ASSERT_TRUE(ConvertUtf8ToCodeset(utf8, "ISO-8859-1", out)) << id;
    EXPECT_EQ(out.size(), CodePoints(utf8)) << id;
    EXPECT_EQ(out.find('?'), std::string::npos) << id;
  }
}

TEST(ConvertUtf8ToCodeset, Utf8PassesThroughUnchanged) {
  const std::string text = Utf8(u8"Pradex は利用可能なプリンター, Pysäytä");
  for (const char* codeset : {"UTF-8", "utf8", "utf-8", "UTF_8"}) {
    std::string out = "left over";
    ASSERT_TRUE(ConvertUtf8ToCodeset(text, codeset, out)) << codeset;
    EXPECT_EQ(out, text) << codeset;
  }
  EXPECT_TRUE(IsUtf8Codeset("UTF-8"));
  EXPECT_FALSE(IsUtf8Codeset("UTF-16"));
  EXPECT_FALSE(IsUtf8Codeset("ANSI_X3.4-1968"));
}

TEST(ConvertUtf8ToCodeset, WhatTheCodesetCannotShowBecomesQuestionMarks) {
  std::string out;
  // Text around the characters survives; each lost character is one '?'.
  ASSERT_TRUE(ConvertUtf8ToCodeset(Utf8(u8"a停止b"), "ISO-8859-1", out));
  EXPECT_EQ(out, "a??b");
  // Malformed input: a stray continuation byte, an invalid byte, a truncated sequence.
  ASSERT_TRUE(ConvertUtf8ToCodeset("x\x80y\xFFz\xC3", "ISO-8859-1", out));
  EXPECT_EQ(out, "x?y?z?");
  // Long text crosses the converter's buffer many times.
  std::string longText;
  for (int i = 0; i < 500; ++i) longText += Utf8(u8"ä停");
  ASSERT_TRUE(ConvertUtf8ToCodeset(longText, "ISO-8859-1", out));
  std::string expected;
  for (int i = 0; i < 500; ++i) expected += "\xE4?";
  EXPECT_EQ(out, expected);
}

TEST(ConvertUtf8ToCodeset, UnknownCodesetFailsAndLeavesTheOutput) {
  std::string out = "left over";
  EXPECT_FALSE(ConvertUtf8ToCodeset("abc", "NO-SUCH-CODESET-42", out));
  EXPECT_EQ(out, "left over");
}

TEST(LocaleStringResources, ConvertsTheTableToTheGivenCodeset) {
  EmbeddedStringResources table;
  LocaleStringResources latin1(table, "ISO-8859-1");
  std::string text;
  ASSERT_TRUE(latin1.Load(505, text));
  EXPECT_EQ(text, "Pys\xE4yt\xE4");
  EXPECT_EQ(LoadMessage(latin1, 6), "P\xE4ivit\xE4");
  EXPECT_EQ(LoadMessage(latin1, 10), "Pradex ");

  text = "left over";
  EXPECT_FALSE(latin1.Load(515, text));
  EXPECT_EQ(text, "");

  LocaleStringResources utf8(table, "UTF-8");
  EXPECT_EQ(LoadMessage(utf8, 5), Utf8(u8"Pysäytä"));

  // No converter: the UTF-8 text rather than nothing.
  LocaleStringResources unknown(table, "NO-SUCH-CODESET-42");
  EXPECT_EQ(LoadMessage(unknown, 5), Utf8(u8"Pysäytä"));
}

// The only test that touches the process-wide choice, so that it can fix the environment first.
TEST(LocaleStringResources, LocaleCodesetIsChosenOnceForTheProcess) {
  ASSERT_EQ(setenv("LC_ALL", "C.UTF-8", 1), 0);
  std::vector<const std::string*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &LocaleCodeset(); });
  for (auto& thread : threads) thread.join();
  for (const auto* codeset : seen) {
    ASSERT_EQ(codeset, seen.front());
    EXPECT_TRUE(IsUtf8Codeset(*codeset)) << *codeset;
  }

  // A later change of the environment does not change the choice.
  ASSERT_EQ(setenv("LC_ALL", "C", 1), 0);
  EXPECT_EQ(&LocaleCodeset(), seen.front());
  EXPECT_TRUE(IsUtf8Codeset(LocaleCodeset()));
  EmbeddedStringResources table;
  LocaleStringResources strings(table);
  EXPECT_EQ(LoadMessage(strings, 5), Utf8(u8"Pysäytä"));
  unsetenv("LC_ALL");
}

}  // namespace
}  // namespace pradex

#endif
