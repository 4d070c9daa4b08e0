// The Qt list control: the position rules of the device list, its formats, and the link presses
// it reports.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "tests/qt/qt_test_support.h"
#include "tests/ui/rich_text_contract.h"
#include "ui/device_list.h"
#include "ui/qt/qt_rich_text_control.h"

namespace pradex {
namespace {

using qttest::LinkRun;
using qttest::Links;
using qttest::Paragraphs;
using qttest::PointOnLine;

TEST(QtRichTextControl, KeepsThePositionContractOfTheList) {
  QtRichTextControl control;
  ExpectRichTextContract(control);
}

TEST(QtRichTextControl, CountsCharactersNotBytesAndGivesLineBreaksBackAsCrLf) {
  QtRichTextControl control;
  control.SetDefaultFormat(DefaultListFormat());
  // "Käytävä" is 7 characters in 9 bytes; lone "\n" and "\r" are line breaks too.
  control.SetText("\r\nPäivitä\r\n\r\nKäytävä\nx\ry\r\n");
  EXPECT_EQ(control.TextLength(), 1 + 7 + 2 + 7 + 1 + 1 + 1 + 1 + 1);
  EXPECT_EQ(control.FindForward("KÄYTÄVÄ", 0), std::optional<TextRange>(TextRange{10, 17}));
  control.Select({8, 17});
  EXPECT_EQ(control.SelectedText(), "\r\n\r\nKäytävä");
  EXPECT_EQ(Paragraphs(control),
            (std::vector<std::string>{"", "Päivitä", "", "Käytävä", "x", "y", ""}));
}

TEST(QtRichTextControl, FindsANameThatHoldsANoBreakSpace) {
  QtRichTextControl control;
  // A queue name may hold U+00A0; the list must still find it on its line.
  control.SetText(
      "\r\nStatus\r\n\r\nOffice\xC2\xA0"
      "2\r\n");
  EXPECT_EQ(control.FindForward("Office\xC2\xA0"
                                "2",
                                0),
            std::optional<TextRange>(TextRange{9, 17}));
}

TEST(QtRichTextControl, CentresEveryParagraphAndUsesTheListFormats) {
  QtRichTextControl control;
  DeviceList list(control);
  list.Prepare();
  list.SetStatusText("Status", false);
  list.AddDevice("Zeta");
  list.AddDevice("alpha");
  // Rebuilt twice: the formats must hold after every SetText.
  list.SetStatusText("Found", false);

  EXPECT_EQ(Paragraphs(control), (std::vector<std::string>{"", "Found", "", "Zeta", "alpha", ""}));
  for (QTextBlock block = control.document()->begin(); block.isValid(); block = block.next()) {
    EXPECT_EQ(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter)
        << "paragraph \"" << block.text().toStdString() << "\"";
  }
  EXPECT_EQ(Links(control), (std::vector<LinkRun>{{"Zeta", "Zeta"}, {"alpha", "alpha"}}));

  QTextCursor status(control.document());
  status.setPosition(2);  // inside "Found"
  const QTextCharFormat plain = status.charFormat();
  EXPECT_FALSE(plain.isAnchor());
  EXPECT_EQ(plain.fontWeight(), QFont::Bold);
  // The desktop's font and colours: its size for the status text, no face or colour forced.
  const qreal desktopPoints = control.font().pointSizeF();
  EXPECT_DOUBLE_EQ(plain.fontPointSize(), desktopPoints);
  EXPECT_FALSE(plain.hasProperty(QTextFormat::FontFamilies));
  EXPECT_FALSE(plain.hasProperty(QTextFormat::ForegroundBrush));

  QTextCursor name(control.document());
  name.setPosition(control.FindForward("Zeta", 0)->start + 1);
  const QTextCharFormat link = name.charFormat();
  EXPECT_TRUE(link.isAnchor());
  EXPECT_TRUE(link.fontUnderline());
  EXPECT_EQ(link.fontWeight(), QFont::Bold);
  EXPECT_DOUBLE_EQ(link.fontPointSize(), desktopPoints * 10 / 9) << "a name is 10 points to 9";
  EXPECT_EQ(link.foreground().color(), control.palette().color(QPalette::Link));
  EXPECT_EQ(control.palette().color(QPalette::Base), QApplication::palette().color(QPalette::Base));
}

// The list control with a handler that records what it is told.
class LinkPresses : public testing::Test {
 protected:
  LinkPresses() {
    control.resize(300, 300);
    list.Prepare();
    list.SetStatusText("Status text", false);
    list.AddDevice("Office");
    list.AddDevice("Hall");
    control.SetLinkHandler([this](LinkMouseEvent event, TextRange range) {
      reports.push_back({event, range});
      return event != LinkMouseEvent::kOther;
    });
    control.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&control));
  }

  struct Report {
    LinkMouseEvent event;
    TextRange range;
  };
  TextRange RangeOf(const std::string& name) { return *control.FindForward(name, 0); }

  QtRichTextControl control;
  DeviceList list{control};
  std::vector<Report> reports;
};

TEST_F(LinkPresses, LeftPressOnANameReportsTheWholeNameAndPlacesNoCaret) {
  QTest::mouseClick(control.viewport(), Qt::LeftButton, {}, PointOnLine(control, "Office"));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].event, LinkMouseEvent::kLeftButtonDown);
  EXPECT_EQ(reports[0].range, RangeOf("Office"));
  EXPECT_EQ(control.textCursor().position(), 0) << "the press must not move the caret";
  EXPECT_FALSE(control.textCursor().hasSelection());

  QTest::mouseClick(control.viewport(), Qt::LeftButton, {}, PointOnLine(control, "Hall"));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].range, RangeOf("Hall"));
}

TEST_F(LinkPresses, DoubleClickIsReportedAsSuch) {
  QTest::mouseDClick(control.viewport(), Qt::LeftButton, {}, PointOnLine(control, "Hall"));
  std::vector<LinkMouseEvent> events;
  for (const Report& report : reports) {
    EXPECT_EQ(report.range, RangeOf("Hall"));
    events.push_back(report.event);
  }
  EXPECT_NE(std::find(events.begin(), events.end(), LinkMouseEvent::kLeftButtonDoubleClick),
            events.end());
}

TEST_F(LinkPresses, OtherButtonsAndTextOutsideLinksAreNoLinkPress) {
  QTest::mouseClick(control.viewport(), Qt::RightButton, {}, PointOnLine(control, "Office"));
  QTest::mouseClick(control.viewport(), Qt::MiddleButton, {}, PointOnLine(control, "Office"));
  QTest::mouseClick(control.viewport(), Qt::LeftButton, {}, PointOnLine(control, "Status text"));
  for (const Report& report : reports) EXPECT_EQ(report.event, LinkMouseEvent::kOther);
  EXPECT_EQ(reports.size(), 2u) << "right and middle press on the link only";
}

TEST_F(LinkPresses, PointingHandOverALinkOnly) {
  const auto shape = [this] { return control.viewport()->cursor().shape(); };
  // On a display server the move arrives through the platform, after a round trip.
  QTest::mouseMove(control.viewport(), PointOnLine(control, "Office"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return shape() == Qt::PointingHandCursor; }, 2000));
  QTest::mouseMove(control.viewport(), PointOnLine(control, "Status text"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return shape() != Qt::PointingHandCursor; }, 2000));
  EXPECT_EQ(shape(), Qt::IBeamCursor);
}

}  // namespace
}  // namespace pradex
