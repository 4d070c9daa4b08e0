// What the listed devices said about themselves, under their links: supply bars in their
// colours with levels and marks, the state, what a screen reader reads, the links as before; in
// Finnish and German, at the desktop's scale and at 200 % (CMakeLists.txt runs it again).
#include <gtest/gtest.h>

#include <QAccessible>
#include <QDir>
#include <QTest>
#include <QTextFrame>
#include <algorithm>
#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/qt/qt_test_support.h"
#include "ui/facts_words.h"

namespace pradex {
namespace {

using qttest::Qt8;
using Lines = std::vector<std::string>;

class DeviceFactsShown : public testing::TestWithParam<std::pair<unsigned, std::string>> {};

TEST_P(DeviceFactsShown, UnderTheirLinksInBarsAndWordsForEyesAndScreenReaders) {
  const auto& [block, code] = GetParam();
  qttest::FakeSearchWindow f(block);
  f.window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  f.window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
  const DeviceFacts office{DeviceFacts::Missing::kNone,
                           "stopped",
                           {"media-jam"},
                           {{"Black Toner", "toner", "#000000", 80, 10, -1, false, false},
                            {"Cyan Toner", "toner", "#00ffff", 7, 10, -1, false, true},
                            {"", "wasteToner", "", Supply::kUnknown, -1, -1, true, false}},
                           ""};
  f.search.facts = {{"Office", office}, {"Silent", {}}};  // Silent reports nothing
  // The facts come before the names are listed: they wait for them.
  f.Post(WM_SEARCH_DEVICE_FACTS, 1, 0);
  f.search.urls["Silent"] = "http://127.0.80.2/";
  for (const std::string name : {"Silent", "Office"}) {
    f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe(name));
  }
  f.Post(WM_SEARCH_FINISHED, 2, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.Logic().IsIdle(); }, 10000));
  // Facts told again replace those shown.
  f.Post(WM_SEARCH_DEVICE_FACTS, 1, 0);
  QCoreApplication::sendPostedEvents();
  QtRichTextControl* list = f.window.List();

  Lines shown{f.Message(4), "Office", StateWords(block, office)};
  QString spoken = Qt8(StateWords(block, office));
  for (const Supply& supply : office.supplies) {
    const SupplyWords words = WordSupply(block, supply);
    const std::string mark = words.mark.empty() ? "" : " " + words.mark;
    shown.insert(shown.end(), {words.name, "\uFFFC", words.level + mark});
    spoken += "\n" + Qt8(words.line);
  }
  shown.push_back("Silent");
  Lines lines = qttest::Paragraphs(*list);
  std::erase(lines, "");
  EXPECT_EQ(lines, shown) << "the facts, a bar per supply, under Office alone";
  const QImage shot = list->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const auto* pixels = reinterpret_cast<const QRgb*>(shot.constBits());
  const auto* end = pixels + shot.width() * shot.height();
  EXPECT_NE(std::find(pixels, end, qRgb(0, 255, 255)), end) << "no cyan bar";

  QAccessibleInterface* links = QAccessible::queryAccessibleInterface(list);
  ASSERT_EQ(links->childCount(), 2);
  EXPECT_EQ(links->child(0)->text(QAccessible::Name), "Office");
  EXPECT_EQ(links->child(0)->text(QAccessible::Description), spoken);
  EXPECT_EQ(links->child(1)->text(QAccessible::Description), "");

  // The links answer the keyboard and the mouse as before.
  list->setFocus(Qt::TabFocusReason);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->FocusedLink(), 1);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, qttest::PointOnLine(*list, "Silent"));
  EXPECT_EQ(f.browser.launched, Lines{"http://127.0.80.2/"});

  const QString shotDir = Qt8(PRADEX_SCREENSHOT_DIR "/screenshots");
  ASSERT_TRUE(QDir().mkpath(shotDir));
  const std::string scale = std::to_string(static_cast<int>(f.window.devicePixelRatioF() * 100));
  EXPECT_TRUE(f.window.grab().save(shotDir + Qt8("/window-" + code + "-" + scale + ".png")));

  QTest::mouseClick(f.window.Button(kRefreshButtonId), Qt::LeftButton);
  EXPECT_TRUE(list->document()->rootFrame()->childFrames().isEmpty()) << "a new search clears them";
}

INSTANTIATE_TEST_SUITE_P(Languages, DeviceFactsShown,
                         testing::Values(std::pair{5u, std::string("fi")},
                                         std::pair{3u, std::string("de")}),
                         [](const auto& info) { return info.param.second; });

}  // namespace
}  // namespace pradex
