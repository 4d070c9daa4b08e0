// The main window and the About box on Qt, over a search engine that the tests play: layout in
// dialog units, the Finnish texts, the states of the buttons and menu items, link clicks.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "search/search_messages.h"
#include "tests/qt/qt_test_support.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/artwork.h"
#include "ui/qt/dialog_units.h"

namespace pradex {
namespace {

using qttest::FakeSearchWindow;
using qttest::LinkRun;
using qttest::Links;
using qttest::Paragraphs;
using qttest::PointOnLine;
using qttest::Qt8;
using qttest::Utf8;
using Lines = std::vector<std::string>;

TEST(DialogUnits, ConvertEachValueWithRoundingLikeTheDialogManager) {
  const DialogUnits units(DialogBaseUnits{6, 13});
  EXPECT_EQ(units.Rect(13, 209, 50, 16), QRect(20, 340, 75, 26));  // 19.5 and 339.625 round up
  EXPECT_EQ(units.Size(206, 282), QSize(309, 458));                // 458.25 rounds down
  const DialogUnits odd(DialogBaseUnits{7, 15});
  EXPECT_EQ(odd.X(1), 2);  // 1.75
  EXPECT_EQ(odd.X(2), 4);  // 3.5, half up
  EXPECT_EQ(odd.Y(4), 8);  // 7.5
  EXPECT_EQ(odd.Y(3), 6);  // 5.625
}

TEST(DialogUnits, TheWindowIsLaidOutInTheDesktopFontAndGrowsWithIt) {
  const QFont desktop = QApplication::font();
  EXPECT_EQ(DialogFont(), desktop);
  QSize normal;
  {
    FakeSearchWindow f;
    normal = f.window.ClientArea()->size();
  }
  QFont larger = desktop;
  larger.setPointSizeF(desktop.pointSizeF() * 2);
  QApplication::setFont(larger);
  QSize enlarged;
  {
    FakeSearchWindow f;
    enlarged = f.window.ClientArea()->size();
  }
  QApplication::setFont(desktop);
  EXPECT_GT(enlarged.width(), normal.width() * 3 / 2);
  EXPECT_GT(enlarged.height(), normal.height() * 3 / 2);
}

class WindowTest : public testing::Test {
 protected:
  void Show() {
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
  }
  QPushButton* Button(int id) { return f.window.Button(id); }
  QAction* Action(int id) { return f.window.Action(id); }
  Lines List() { return Paragraphs(*f.window.List()); }
  bool WaitForIdle() {
    return QTest::qWaitFor([this] { return f.window.Logic().IsIdle(); }, 5000);
  }
  // Searching state: Stop available, Refresh not.
  void ExpectSearchingControls() {
    EXPECT_TRUE(Button(kStopButtonId)->isEnabled());
    EXPECT_TRUE(Button(kStopButtonId)->isDefault());
    EXPECT_EQ(f.window.focusWidget(), Button(kStopButtonId));
    EXPECT_FALSE(Button(kRefreshButtonId)->isEnabled());
    EXPECT_FALSE(Button(kRefreshButtonId)->isDefault());
    EXPECT_TRUE(Action(kStopMenuId)->isEnabled());
    EXPECT_FALSE(Action(kRefreshMenuId)->isEnabled());
    EXPECT_TRUE(Button(kCloseButtonId)->isEnabled());
    EXPECT_TRUE(Action(kCloseMenuId)->isEnabled());
  }
  void ExpectIdleControls() {
    EXPECT_FALSE(Button(kStopButtonId)->isEnabled());
    EXPECT_FALSE(Button(kStopButtonId)->isDefault());
    EXPECT_TRUE(Button(kRefreshButtonId)->isEnabled());
    EXPECT_TRUE(Button(kRefreshButtonId)->isDefault());
    EXPECT_EQ(f.window.focusWidget(), Button(kRefreshButtonId));
    EXPECT_FALSE(Action(kStopMenuId)->isEnabled());
    EXPECT_TRUE(Action(kRefreshMenuId)->isEnabled());
    EXPECT_TRUE(Button(kCloseButtonId)->isEnabled());
    EXPECT_TRUE(Action(kCloseMenuId)->isEnabled());
  }

  FakeSearchWindow f;
};

TEST_F(WindowTest, IsLaidOutFromTheTemplateInDialogUnitsAndFixedInSize) {
  Show();
  const DialogUnits& units = f.window.Units();
  QWidget* client = f.window.ClientArea();
  EXPECT_EQ(client->size(), units.Size(206, 282));
  EXPECT_EQ(client->size(), QSize(units.X(206), units.Y(282)));
  EXPECT_GT(client->y(), 0) << "the menu bar stands above the client area";
  EXPECT_EQ(f.window.size(),
            QSize(client->width(), f.window.StatusLine()->geometry().bottom() + 1));
  EXPECT_EQ(f.window.StatusLine()->y(), client->y() + client->height());
  EXPECT_EQ(f.window.minimumSize(), f.window.maximumSize());
  EXPECT_EQ(f.window.size(), f.window.minimumSize());

  EXPECT_EQ(Button(kStopButtonId)->geometry(), units.Rect(13, 209, 50, 16));
  EXPECT_EQ(Button(kRefreshButtonId)->geometry(), units.Rect(77, 209, 50, 16));
  EXPECT_EQ(Button(kCloseButtonId)->geometry(), units.Rect(141, 209, 50, 16));
  EXPECT_EQ(f.window.List()->geometry(), units.Rect(7, 7, 192, 195));
  EXPECT_EQ(f.window.ProductLabel()->geometry(), units.Rect(59, 232, 140, 43));
  EXPECT_EQ(f.window.BitmapPlaceholder()->geometry(), units.Rect(14, 234, 43, 29));
  EXPECT_FALSE(f.window.BitmapPlaceholder()->isVisible());
}

TEST_F(WindowTest, ShowsTheFinnishTextsTheMenuAndTheAboutItemAtItsEnd) {
  Show();
  EXPECT_EQ(f.window.windowTitle(), QStringLiteral("Pradex"));
  EXPECT_EQ(Button(kStopButtonId)->text(), QStringLiteral("Pysäytä"));
  EXPECT_EQ(Button(kRefreshButtonId)->text(), QStringLiteral("Päivitä"));
  EXPECT_EQ(Button(kCloseButtonId)->text(), QStringLiteral("Sulje"));
  EXPECT_EQ(f.window.FileMenu()->title(), QStringLiteral("Tiedosto"));

  Lines items;
  for (QAction* action : f.window.FileMenu()->actions()) {
    items.push_back(action->isSeparator() ? "-" : Utf8(action->text()));
  }
  EXPECT_EQ(items, (Lines{"Pysäytä", "Päivitä", "-", "Sulje", "-", f.Message(1)}));
  EXPECT_EQ(Action(kAboutCommandId), f.window.FileMenu()->actions().back());
  EXPECT_EQ(Action(kAboutCommandId)->text(),
            QStringLiteral("&Tietoja Pradexin Windows-versiosta..."));

  QLabel* label = f.window.ProductLabel();
  EXPECT_EQ(label->text(), QStringLiteral("Pradex "));
  EXPECT_EQ(label->font().pixelSize(), 22);
  EXPECT_EQ(label->font().weight(), QFont::Black);
  EXPECT_EQ(QFontInfo(label->font()).family(), QFontInfo(DialogFont()).family());

  const QList<QSize> sizes = f.window.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));
  EXPECT_TRUE(sizes.contains(QSize(48, 48)));
}

TEST_F(WindowTest, PaintsTheBannerAtThePlaceholderWithItsKeyColourTransparent) {
  Show();
  const QImage raw(QStringLiteral(":/pradex/banner.bmp"));
  ASSERT_EQ(raw.size(), QSize(62, 46));
  const QImage shot = f.window.ClientArea()->grab().toImage();
  const QPoint origin = f.window.BitmapPlaceholder()->pos();
  const QColor background = f.window.ClientArea()->palette().color(QPalette::Window);
  int keyed = 0;
  for (int y = 0; y < raw.height(); ++y) {
    for (int x = 0; x < raw.width(); ++x) {
      const QColor source = raw.pixelColor(x, y);
      const QColor shown = shot.pixelColor(origin + QPoint(x, y));
      if (source == kBannerKeyColor) {
        ++keyed;
        ASSERT_EQ(shown, background) << "key colour at " << x << "," << y;
      } else {
        ASSERT_EQ(shown, source) << "banner pixel at " << x << "," << y;
      }
    }
  }
  EXPECT_GT(keyed, 0);
}

TEST_F(WindowTest, StartsSearchingWhenShownWithStopAsTheDefaultButton) {
  Show();
  EXPECT_EQ(f.search.startCalls, 1);
  EXPECT_EQ(f.search.lastWindow, f.window.Handle());
  ExpectSearchingControls();
  EXPECT_EQ(List(), (Lines{"", f.Message(2), "", ""}));
}

TEST_F(WindowTest, EngineMessagesFromAWorkerThreadFillTheListInOrder) {
  Show();
  const std::intptr_t zeta = f.search.Probe("Zeta");
  const std::intptr_t alpha = f.search.Probe("alpha");
  const std::intptr_t silent = f.search.Probe("Silent");
  std::thread worker([&] {
    // Answers before the end-of-run message drive the count below zero first.
    f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, alpha);
    f.Post(WM_SEARCH_FINISHED, 3, 0);
    f.Post(WM_SEARCH_PROBE_FAILED, 0, silent);
    f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, zeta);
  });
  worker.join();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(List(), (Lines{"", f.Message(4), "", "Zeta", "alpha", ""}));
  EXPECT_EQ(Links(*f.window.List()), (std::vector<LinkRun>{{"Zeta", "Zeta"}, {"alpha", "alpha"}}));
  ExpectIdleControls();
}

TEST_F(WindowTest, StopKeepsTheDevicesAndRefreshWaitsForTheStoppedRun) {
  Show();
  f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("Office"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return List().size() == 5; }, 5000));

  QTest::mouseClick(Button(kStopButtonId), Qt::LeftButton);
  EXPECT_EQ(f.search.stopCalls, 1);
  EXPECT_EQ(List(), (Lines{"", f.Message(4), "", "Office", ""}));
  ExpectIdleControls();

  QTest::mouseClick(Button(kRefreshButtonId), Qt::LeftButton);
  EXPECT_EQ(List(), (Lines{"", f.Message(2), "", ""})) << "the list is cleared at once";
  ExpectSearchingControls();
  QTest::qWait(50);
  EXPECT_EQ(f.search.startCalls, 1) << "no second run while the stopped one may still post";

  f.Post(WM_SEARCH_FINISHED, 1, 0);  // the stopped run ends
  ASSERT_TRUE(QTest::qWaitFor([&] { return f.search.startCalls == 2; }, 5000));
  f.Post(WM_SEARCH_FINISHED, 0, 0);  // the new run found no printer
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(List(), (Lines{"", f.Message(3), "", ""}));
  ExpectIdleControls();
}

TEST_F(WindowTest, ClickOnADeviceOpensItsPage) {
  Show();
  f.search.urls["Office"] = "http://127.0.80.40/?type=supplies";
  f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("Office"));
  f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("Unknown"));
  f.Post(WM_SEARCH_FINISHED, 2, 0);
  ASSERT_TRUE(WaitForIdle());

  QTest::mouseClick(f.window.List()->viewport(), Qt::LeftButton, {},
                    PointOnLine(*f.window.List(), "Office"));
  EXPECT_EQ(f.browser.launched, (Lines{"http://127.0.80.40/?type=supplies"}));
  EXPECT_EQ(f.search.lookups, (Lines{"Office"}));
  // A name the engine has no page for opens nothing.
  QTest::mouseClick(f.window.List()->viewport(), Qt::LeftButton, {},
                    PointOnLine(*f.window.List(), "Unknown"));
  EXPECT_EQ(f.search.lookups, (Lines{"Office", "Unknown"}));
  EXPECT_EQ(f.browser.launched.size(), 1u);
}

TEST_F(WindowTest, CloseButtonAndMenuItemEndTheModalRunAndStopTheSearch) {
  for (int id : {kCloseButtonId, kCloseMenuId}) {
    FakeSearchWindow g;
    QTimer::singleShot(0, &g.window, [&] {
      if (id == kCloseButtonId) {
        QTest::mouseClick(g.window.Button(kCloseButtonId), Qt::LeftButton);
      } else {
        g.window.Action(kCloseMenuId)->trigger();
      }
    });
    EXPECT_EQ(g.window.exec(), PradexWindow::kQuitResult) << id;
    EXPECT_GE(g.search.stopCalls, 1) << id;
    EXPECT_FALSE(g.window.isVisible()) << id;
  }
}

TEST_F(WindowTest, AboutBoxShowsTheVersionAndTheListGrowsBehindIt) {
  Show();
  std::map<std::string, std::string> seen;
  Lines listWhileOpen;
  QTimer::singleShot(0, &f.window, [&] {
    auto* box = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen["caption"] = Utf8(box->windowTitle());
    seen["product"] = Utf8(box->ProductLabel()->text());
    seen["version"] = Utf8(box->VersionLabel()->text());
    seen["copyright"] = Utf8(box->CopyrightLabel()->text());
    seen["ok"] = Utf8(box->OkButton()->text());
    seen["default"] = box->OkButton()->isDefault() ? "yes" : "no";
    // Notifications are still handled while the box is open.
    f.Post(WM_SEARCH_DEVICE_ANSWERED, 0, f.search.Probe("Office"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return List().size() == 5; }, 5000));
    listWhileOpen = List();
    QTest::mouseClick(box->OkButton(), Qt::LeftButton);
  });
  Action(kAboutCommandId)->trigger();
  EXPECT_EQ(seen["caption"], "About Pradex");
  EXPECT_EQ(seen["product"], "Pradex ");
  EXPECT_EQ(seen["version"], "Versio 1.3.4");
  EXPECT_EQ(seen["copyright"], f.Message(13));
  EXPECT_EQ(seen["ok"], "OK");
  EXPECT_EQ(seen["default"], "yes");
  EXPECT_EQ(listWhileOpen, (Lines{"", f.Message(2), "", "Office", ""}));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowTest, AboutBoxIsLaidOutFromItsTemplate) {
  const std::unique_ptr<AboutDialog> box = f.window.MakeAboutBox();
  const DialogUnits& units = box->Units();
  EXPECT_EQ(box->minimumSize(), units.Size(235, 58));
  EXPECT_EQ(box->maximumSize(), units.Size(235, 58));
  EXPECT_EQ(box->ProductLabel()->geometry(), units.Rect(41, 14, 119, 10));
  EXPECT_EQ(box->VersionLabel()->geometry(), units.Rect(41, 24, 108, 8));
  // Widened to the right margin so that the whole line shows.
  EXPECT_EQ(box->CopyrightLabel()->geometry(), units.Rect(41, 34, 119, 10));
  for (QLabel* label : {box->ProductLabel(), box->VersionLabel(), box->CopyrightLabel()}) {
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
        << label->text().toStdString();
  }
  EXPECT_EQ(box->OkButton()->geometry(), units.Rect(178, 7, 50, 16));
  EXPECT_EQ(box->IconLabel()->pos(), QPoint(units.X(11), units.Y(17)));
  EXPECT_FALSE(box->IconLabel()->pixmap().isNull());
  EXPECT_EQ(box->parentWidget(), &f.window);
  qttest::SaveScreenshot(box->grab().toImage(), "pradex-about");
}

}  // namespace
}  // namespace pradex
