#include "app/about_box.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/static_version_info.h"
#include "tests/ui/ui_fakes.h"

namespace pradex {
namespace {

struct VersionCase {
  std::uint32_t ms;
  std::uint32_t ls;
  const char* text;
};

TEST(GetVersionTextTest, ShowsTheFirstThreePartsOfTheFileVersion) {
  const VersionCase cases[] = {
      {0x00010003, 0x0004000A, "1.3.4"},
      {0xFFFFFFFF, 0xFFFFFFFF, "65535.65535.65535"},
      {0x00020000, 0x00000007, "2.0.0"},
      {0x00000000, 0x00000000, "0.0.0"},
      {0x8000FFFF, 0x7FFF0001, "32768.65535.32767"},
  };
  for (const VersionCase& c : cases) {
    FakeVersionInfo versions;
    versions.versions["Pradex.exe"] = {c.ms, c.ls};
    EXPECT_EQ(GetVersionText(versions, "Pradex.exe"), c.text);
  }
}

TEST(GetVersionTextTest, NoVersionIsAnEmptyText) {
  FakeVersionInfo versions;
  versions.versions["Pradex.exe"] = {0x00010003, 0x0004000A};
  EXPECT_EQ(GetVersionText(versions, "Other.exe"), "");
}

TEST(AboutBoxTextsTest, FillsTheFourControlsInOrder) {
  FakeStrings strings;
  PutFinnishMessages(strings);
  FakeVersionInfo versions;
  versions.versions["Pradex.exe"] = {0x00010003, 0x0004000A};
  const auto texts = AboutBoxTexts(strings, versions);
  EXPECT_EQ(versions.asked, std::vector<std::string>{"Pradex.exe"});
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].controlId, 1);
  EXPECT_EQ(texts[0].text, "OK");
  EXPECT_EQ(texts[1].controlId, 20005);
  EXPECT_EQ(texts[1].text, "Pradex ");
  EXPECT_EQ(texts[2].controlId, 20000);
  EXPECT_EQ(texts[2].text, "Copyright (C) Pradex");
  EXPECT_EQ(texts[3].controlId, 20004);
  EXPECT_EQ(texts[3].text, "Versio 1.3.4");
}

TEST(AboutBoxTextsTest, WithoutVersionOrMessagesTheTextsStayEmpty) {
  FakeStrings strings;
  PutFinnishMessages(strings);
  FakeVersionInfo versions;  // the executable has another name
  EXPECT_EQ(AboutBoxTexts(strings, versions)[3].text, "Versio ");

  FakeStrings none;
  const auto texts = AboutBoxTexts(none, versions);
  for (const auto& control : texts) EXPECT_EQ(control.text, control.controlId == 20004 ? " " : "");
}

TEST(StaticVersionInfoTest, GivesTheProjectVersion) {
  StaticVersionInfo versions;
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
  ASSERT_TRUE(versions.GetFileVersion("Pradex.exe", ms, ls));
  const std::string full = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                           std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
  EXPECT_EQ(full, PRADEX_TEST_PROJECT_VERSION);
  EXPECT_EQ(GetVersionText(versions, kAboutVersionFileName), full.substr(0, full.rfind('.')));
}

}  // namespace
}  // namespace pradex
