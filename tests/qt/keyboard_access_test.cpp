// The device links without a mouse: Tab, arrows and Enter open a page; screen readers see each
// link by its printer name; the window stays usable at the desktop's scale.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <cstdlib>
#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/qt/qt_test_support.h"

namespace pradex {
namespace {

using qttest::FakeSearchWindow;
using qttest::Qt8;
using qttest::Utf8;
using Lines = std::vector<std::string>;

// The window after a search that found three devices, each with its page.
class KeyboardAccess : public testing::Test {
 protected:
  void SetUp() override {
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    // Keys go to the active window; on a display server it becomes active after a round trip.
    f.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f.window));
    for (const std::string name : {"Gamma", "Alpha", "Beta"}) {
      f.search.urls[name] = "http://127.0.80.1/" + name;
      f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe(name));
    }
    f.Post(WM_SEARCH_FINISHED, 3, 0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return f.window.Logic().IsIdle(); }, 10000));
  }

  // Tabs from the focused button until the list has the focus; false if it never does.
  bool TabToList() {
    for (int i = 0; i < 8 && QApplication::focusWidget() != f.window.List(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    return QApplication::focusWidget() == f.window.List();
  }

  // The text the focus mark covers, "" when none is drawn.
  std::string MarkedText() {
    const auto marks = f.window.List()->extraSelections();
    return marks.size() == 1 ? Utf8(marks.front().cursor.selectedText()) : "";
  }

  FakeSearchWindow f;
};

TEST_F(KeyboardAccess, TabReachesTheListArrowsMoveAndEnterOpensTheFocusedDeviceOnce) {
  ASSERT_TRUE(TabToList()) << "Tab never reaches the list";
  QtRichTextControl* list = f.window.List();
  EXPECT_EQ(MarkedText(), "Alpha") << "the first link takes the focus";
  const QTextEdit::ExtraSelection mark = list->extraSelections().front();
  EXPECT_EQ(mark.format.background().color(), list->palette().color(QPalette::Highlight));

  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Down);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(MarkedText(), "Beta");
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(f.browser.launched, (Lines{"http://127.0.80.1/Beta"}));
  EXPECT_EQ(f.search.startCalls, 1) << "Enter also reached the default button (Refresh)";

  // A key held down repeats; only its first press opens.
  QTest::keyClick(list, Qt::Key_End);
  QTest::keyPress(list, Qt::Key_Space);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
  QApplication::sendEvent(list, &repeat);
  QTest::keyRelease(list, Qt::Key_Space);
  EXPECT_EQ(f.browser.launched, (Lines{"http://127.0.80.1/Beta", "http://127.0.80.1/Gamma"}));

  // Leaving the list takes the mark away.
  QTest::keyClick(list, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), list);
  EXPECT_EQ(MarkedText(), "");
}

TEST_F(KeyboardAccess, TheKeyboardGoesOnFromTheLinkLastClicked) {
  QtRichTextControl* list = f.window.List();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, qttest::PointOnLine(*list, "Gamma"));
  ASSERT_EQ(QApplication::focusWidget(), list);
  QTest::keyClick(list, Qt::Key_Up);
  EXPECT_EQ(MarkedText(), "Beta");
}

TEST_F(KeyboardAccess, ScreenReadersSeeEachLinkByItsPrinterName) {
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(f.window.List());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->role(), QAccessible::List);
  EXPECT_EQ(Utf8(list->text(QAccessible::Name)), f.Message(4));
  Lines names;
  for (int i = 0; i < list->childCount(); ++i) {
    QAccessibleInterface* link = list->child(i);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(list->indexOfChild(link), i);
    EXPECT_TRUE(list->rect().intersects(link->rect())) << i;
    names.push_back(Utf8(link->text(QAccessible::Name)));
  }
  EXPECT_EQ(names, (Lines{"Alpha", "Beta", "Gamma"}));

  ASSERT_TRUE(TabToList());
  QTest::keyClick(f.window.List(), Qt::Key_Down);
  ASSERT_NE(list->focusChild(), nullptr);
  EXPECT_EQ(Utf8(list->focusChild()->text(QAccessible::Name)), "Beta");
  EXPECT_TRUE(list->focusChild()->state().focused);

  QAccessibleActionInterface* action = list->child(2)->actionInterface();
  ASSERT_NE(action, nullptr);
  action->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(f.browser.launched, (Lines{"http://127.0.80.1/Gamma"}));
}

// Run at the desktop's scale and once more with QT_SCALE_FACTOR=2 (see CMakeLists.txt).
TEST_F(KeyboardAccess, WindowIsUsableAtTheDesktopScale) {
  ASSERT_TRUE(TabToList());
  QTest::keyClick(f.window.List(), Qt::Key_Down);
  const QImage shot = f.window.grab().toImage();
  const qreal scale = f.window.devicePixelRatioF();
  if (const char* factor = std::getenv("QT_SCALE_FACTOR")) {
    EXPECT_DOUBLE_EQ(scale, std::atof(factor)) << "the window does not follow the scale";
  }
  EXPECT_EQ(shot.size(), f.window.size() * scale);
  const std::string path = qttest::SaveScreenshot(
      shot, "pradex-window-" + std::to_string(static_cast<int>(scale * 100)) + "pct");
  RecordProperty("screenshot", path);

  for (int id : {kStopButtonId, kRefreshButtonId, kCloseButtonId}) {
    QPushButton* button = f.window.Button(id);
    EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width())
        << Utf8(button->text());
  }
  QLabel* label = f.window.ProductLabel();
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
}

}  // namespace
}  // namespace pradex
