// The string table of this test program (UTF-8 source, UTF-16 resources) read as 8-bit text.
#include "platform/win32/win32_string_resources.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace pradex {
namespace {

TEST(ConversionCodePageTest, ConvertsThroughTheThreadsAnsiCodePageOnCurrentSystems) {
  EXPECT_EQ(ConversionCodePage(), static_cast<unsigned>(CP_THREAD_ACP));
  EXPECT_EQ(ConversionCodePage(), ConversionCodePage());  // chosen once
}

TEST(ConversionCodePageTest, ChoiceFollowsTheSystemVersionThenTheLocaleThenTheAnsiCodePage) {
  // Windows NT from version 5 on.
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_NT, 5, "1253", 1252), 3u);
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_NT, 10, nullptr, 1252), 3u);
  // Windows NT 4 and the Windows 95 family: the thread locale's code page.
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_NT, 4, "1253", 1252), 1253u);
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_WINDOWS, 4, "932", 1252), 932u);
  // No answer from the locale, or 0: the ANSI code page.
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_WINDOWS, 4, "0", 1250), 1250u);
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_NT, 3, nullptr, 1250), 1250u);
  EXPECT_EQ(ChooseConversionCodePage(VER_PLATFORM_WIN32_NT, 4, "", 1250), 1250u);
}

class Win32StringResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The expected bytes below are those of code page 1252, which the test environment uses.
    ASSERT_EQ(GetACP(), 1252u);
  }
  Win32StringResources strings;
};

TEST_F(Win32StringResourcesTest, LoadsMessagesAsAnsiText) {
  std::string text;
  ASSERT_TRUE(strings.Load(505, text));
  EXPECT_EQ(text, "Pys\xE4yt\xE4");
  ASSERT_TRUE(strings.Load(503, text));
  EXPECT_EQ(text, "Tulostimia ei l\xF6ydy.");
  ASSERT_TRUE(strings.Load(510, text));
  EXPECT_EQ(text, "Pradex ");  // the trailing space is part of the text
  ASSERT_TRUE(strings.Load(514, text));
  EXPECT_NE(text.find("haun.  Odota"), std::string::npos) << text;
}

TEST_F(Win32StringResourcesTest, CharactersOutsideTheCodePageBecomeTheDefaultCharacter) {
  std::string text;
  ASSERT_TRUE(strings.Load(900, text));
  EXPECT_EQ(text, "????????");
}

TEST_F(Win32StringResourcesTest, LongTextsAreNotCut) {
  std::string text;
  ASSERT_TRUE(strings.Load(901, text));
  EXPECT_EQ(text.size(), 26u * 11u + 3u);
  EXPECT_EQ(text.substr(text.size() - 4), " end");
}

TEST_F(Win32StringResourcesTest, MissingIdGivesFalseAndAnEmptyText) {
  std::string text = "previous";
  EXPECT_FALSE(strings.Load(999, text));
  EXPECT_TRUE(text.empty());
}

TEST_F(Win32StringResourcesTest, ReadsTheTableOfTheModuleItIsGiven) {
  Win32StringResources own(reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr)));
  std::string text;
  ASSERT_TRUE(own.Load(511, text));
  EXPECT_EQ(text, "Versio");

  Win32StringResources other(reinterpret_cast<std::uintptr_t>(GetModuleHandleA("kernel32.dll")));
  EXPECT_FALSE(other.Load(505, text));
}

}  // namespace
}  // namespace pradex
