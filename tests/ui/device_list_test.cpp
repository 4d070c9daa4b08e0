#include "ui/device_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/ui/fake_rich_text.h"
#include "tests/ui/rich_text_contract.h"

namespace pradex {
namespace {

const std::string kSearching =
    "Etsitään tietokoneeseen yhdistettyjä verkkotulostimia, odota hetki...";
const std::string kFound =
    "Seuraavilla Tulostimet-kansion verkkotulostimilla on tila- ja määritystiedot.";

CharFormat LinkFormat() {
  CharFormat format = DefaultListFormat();
  format.heightTwips = 200;
  format.link = true;
  return format;
}

using Links = std::vector<std::string>;

Links LinkTexts(const FakeRichText& control) {
  Links texts;
  for (const auto& [range, text] : control.Links()) texts.push_back(text);
  return texts;
}

// The name every link stands on must be its whole own line: preceded and followed by a break.
void ExpectEachLinkOnItsOwnLine(const FakeRichText& control) {
  for (const auto& [range, text] : control.Links()) {
    ASSERT_GT(range.start, 0);
    EXPECT_TRUE(control.cells[range.start - 1].lineBreak) << text;
    ASSERT_LT(range.end, static_cast<long>(control.cells.size()));
    EXPECT_TRUE(control.cells[range.end].lineBreak) << text;
  }
}

class DeviceListTest : public testing::Test {
 protected:
  DeviceListTest() { list.Prepare(); }
  FakeRichText control;
  DeviceList list{control};
};

TEST(FakeRichTextTest, KeepsTheControlContract) {
  FakeRichText control;
  ExpectRichTextContract(control);
}

TEST_F(DeviceListTest, PrepareSetsTheDefaultFormatOnce) {
  EXPECT_EQ(control.defaultFormatCount, 1);
  const CharFormat& format = control.defaultFormat;
  EXPECT_TRUE(format.bold);
  EXPECT_FALSE(format.italic);
  EXPECT_FALSE(format.strikeout);
  EXPECT_FALSE(format.link);
  EXPECT_EQ(format.heightTwips, 180);
  EXPECT_EQ(format.color, 0u);
  EXPECT_EQ(format.faceName, "Arial");
  list.SetStatusText(kSearching, true);
  list.AddDevice("A");
  EXPECT_EQ(control.defaultFormatCount, 1);
}

TEST_F(DeviceListTest, TextLayoutWithAndWithoutNames) {
  list.SetStatusText(kSearching, true);
  EXPECT_EQ(control.Text(), "\r\n" + kSearching + "\r\n\r\n");
  list.SetStatusText(kFound, false);
  EXPECT_EQ(control.Text(), "\r\n" + kFound + "\r\n\r\n") << "no names yet";

  list.AddDevice("Office");
  EXPECT_EQ(control.Text(), "\r\n" + kFound + "\r\n\r\nOffice\r\n");
  list.SetStatusText(kSearching, true);
  EXPECT_EQ(control.Text(), "\r\n" + kSearching + "\r\n\r\n") << "names left out";
  EXPECT_TRUE(control.Links().empty());

  // A device added after a status set with the names left out brings the list back.
  list.AddDevice("Hall");
  EXPECT_EQ(control.Text(), "\r\n" + kSearching + "\r\n\r\nHall\r\nOffice\r\n");
  EXPECT_EQ(list.StatusText(), kSearching);

  list.Clear();
  EXPECT_TRUE(list.Names().empty());
  list.SetStatusText(kFound, false);
  EXPECT_EQ(control.Text(), "\r\n" + kFound + "\r\n\r\n");
}

TEST_F(DeviceListTest, NamesSortByteWise) {
  list.SetStatusText(kFound, false);
  for (const char* name : {"alpha", "Zeta", "beta", "Alpha", "_x", "10"}) list.AddDevice(name);
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"10", "Alpha", "Zeta", "_x", "alpha", "beta"}));
  EXPECT_EQ(control.Text(),
            "\r\n" + kFound + "\r\n\r\n10\r\nAlpha\r\nZeta\r\n_x\r\nalpha\r\nbeta\r\n");
  // Byte values above 127 sort after ASCII.
  list.AddDevice("Äänitys");
  EXPECT_EQ(list.Names().back(), "Äänitys");
}

TEST_F(DeviceListTest, EachNameIsALinkOnItsOwnLineAndNothingElseIs) {
  list.SetStatusText(kFound, false);
  list.AddDevice("Zeta");
  list.AddDevice("alpha");
  EXPECT_EQ(LinkTexts(control), (Links{"Zeta", "alpha"}));
  ExpectEachLinkOnItsOwnLine(control);
  for (long i = 0; i < control.TextLength(); ++i) {
    const CharFormat expected = control.cells[i].format.link ? LinkFormat() : DefaultListFormat();
    EXPECT_EQ(control.FormatAt(i), expected) << "position " << i;
  }
}

TEST_F(DeviceListTest, ANameInTheStatusTextIsLinkedOnItsOwnLine) {
  // "verkkotulostimia" occurs in the status text, in another case too.
  list.SetStatusText(kSearching, true);
  list.AddDevice("VERKKOTULOSTIMIA");
  list.AddDevice("odota");
  EXPECT_EQ(LinkTexts(control), (Links{"VERKKOTULOSTIMIA", "odota"}));
  ExpectEachLinkOnItsOwnLine(control);
  // The status text line carries no link at all.
  for (long i = 1; !control.cells.at(i).lineBreak; ++i) EXPECT_FALSE(control.FormatAt(i).link);
}

TEST_F(DeviceListTest, ANameInsideThePreviousNameIsLinkedOnItsOwnLine) {
  list.SetStatusText(kFound, false);
  list.AddDevice("XY");
  list.AddDevice("AXY");   // sorts first, and holds "XY" from its second character
  list.AddDevice("AXYZ");  // holds "AXY" from its first
  EXPECT_EQ(list.Names(), (std::vector<std::string>{"AXY", "AXYZ", "XY"}));
  EXPECT_EQ(LinkTexts(control), (Links{"AXY", "AXYZ", "XY"}));
  ExpectEachLinkOnItsOwnLine(control);
}

TEST_F(DeviceListTest, DuplicateAndCaseDifferingNamesEachGetTheirLine) {
  list.SetStatusText(kFound, false);
  for (const char* name : {"printer", "Printer", "printer", "PRINTER"}) list.AddDevice(name);
  EXPECT_EQ(LinkTexts(control), (Links{"PRINTER", "Printer", "printer", "printer"}));
  ExpectEachLinkOnItsOwnLine(control);
}

TEST_F(DeviceListTest, PositionsComeFromTheControlNotFromBytes) {
  // Multi-byte characters in the status text and in the names: counting bytes would shift
  // every link.
  list.SetStatusText("ÄÄÄÄ ÖÖÖÖ", false);
  list.AddDevice("Tulostin ä");
  list.AddDevice("Tulostin ö");
  EXPECT_EQ(LinkTexts(control), (Links{"Tulostin ä", "Tulostin ö"}));
  ExpectEachLinkOnItsOwnLine(control);
}

TEST_F(DeviceListTest, EveryRebuildFormatsAllNamesAgainWhileTheControlIsDisabled) {
  list.SetStatusText(kFound, false);
  list.AddDevice("b");
  list.AddDevice("a");
  list.SetStatusText(kSearching, false);
  EXPECT_EQ(LinkTexts(control), (Links{"a", "b"}));
  EXPECT_EQ(control.changesWhileEnabled, 0);
  EXPECT_TRUE(control.enabled);
}

TEST_F(DeviceListTest, AnEmptyNameLeavesItsLineAndTheOthersAlone) {
  list.SetStatusText(kFound, false);
  list.AddDevice("b");
  list.AddDevice("");
  EXPECT_EQ(control.Text(), "\r\n" + kFound + "\r\n\r\n\r\nb\r\n");
  EXPECT_EQ(LinkTexts(control), (Links{"b"}));
  ExpectEachLinkOnItsOwnLine(control);
}

TEST_F(DeviceListTest, MarkLinkFormatsOnlyAWholeLineAtTheGivenStart) {
  control.SetText("\r\nab\r\n\r\nb\r\n");
  // "b" first occurs inside the status line: from its own line start it is found there.
  EXPECT_EQ(list.MarkLink("b", 0, 200, true, 5), 6);
  EXPECT_EQ(LinkTexts(control), (Links{"b"}));
  EXPECT_EQ(control.Selection(), (TextRange{5, 6}));

  control.SetText("\r\nab\r\n\r\nb\r\n");
  EXPECT_EQ(list.MarkLink("b", 0, 200, true, 1), -1) << "the match is not at the line start";
  EXPECT_EQ(list.MarkLink("zz", 0, 200, true, 5), -1);
  EXPECT_TRUE(control.Links().empty());

  CharFormat expected = DefaultListFormat();
  expected.heightTwips = 240;
  expected.color = 0x0000FF;
  EXPECT_EQ(list.MarkLink("b", 0x0000FF, 240, false, 5), 6);
  EXPECT_EQ(control.FormatAt(5), expected);
}

TEST_F(DeviceListTest, ReadLinkTextReadsTheRangeAndCollapsesTheSelection) {
  list.SetStatusText(kFound, false);
  list.AddDevice("Tulostin ä");
  const auto links = control.Links();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(list.ReadLinkText(links[0].first), "Tulostin ä");
  EXPECT_EQ(control.Selection(), (TextRange{0, 0}));
}

}  // namespace
}  // namespace pradex
