// Device pages open the desktop's way, xdg-open when the desktop finds none, and a page that
// cannot be opened is said so in the window's status line.
#include <gtest/gtest.h>

#include <QStatusBar>
#include <QTest>
#include <QUrl>
#include <string>
#include <vector>

#include "search/search_messages.h"
#include "tests/qt/qt_test_support.h"
#include "ui/qt/desktop_browser_launcher.h"

namespace pradex {
namespace {

using qttest::ForwardingDriver;
using qttest::PointOnLine;
using qttest::Utf8;

class DesktopLaunch : public testing::Test {
 protected:
  // Opens the page of the one device listed with a click, the desktop answering `desktopTakes`
  // and xdg-open starting when `xdgStarts`.
  void ClickDevice(bool desktopTakes, bool xdgStarts) {
    xdg.startSucceeds = xdgStarts;
    DesktopBrowserLauncher browser(xdg, [&](const QUrl& url) {
      desktopUrls.push_back(Utf8(url.toString()));
      return desktopTakes;
    });
    PradexWindow window(strings, versions, browser, [this](MessagePoster&) {
      return std::make_unique<ForwardingDriver>(search);
    });
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    search.urls["Office"] = kUrl;
    ASSERT_TRUE(window.Poster().Post(window.Handle(), WM_SEARCH_DEVICE_ANSWERED, 0,
                                     search.Probe("Office")));
    ASSERT_TRUE(window.Poster().Post(window.Handle(), WM_SEARCH_FINISHED, 1, 0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Logic().IsIdle(); }, 10000));
    QTest::mouseClick(window.List()->viewport(), Qt::LeftButton, {},
                      PointOnLine(*window.List(), "Office"));
    statusLine = Utf8(window.StatusLine()->currentMessage());
  }

  static constexpr const char* kUrl = "http://127.0.80.40/?type=supplies";
  EmbeddedStringResources strings;
  StaticVersionInfo versions;
  FakeSearchDriver search;
  RecordingProcessLauncher xdg;
  std::vector<std::string> desktopUrls;
  std::string statusLine;
};

TEST_F(DesktopLaunch, TheDesktopOpensThePageFirst) {
  ClickDevice(true, true);
  EXPECT_EQ(desktopUrls, std::vector<std::string>{kUrl});
  EXPECT_TRUE(xdg.calls.empty());
  EXPECT_EQ(statusLine, "");
}

TEST_F(DesktopLaunch, XdgOpenTakesOverWhenTheDesktopFindsNoWay) {
  ClickDevice(false, true);
  ASSERT_EQ(xdg.calls.size(), 1u);
  EXPECT_EQ(xdg.calls[0].program, "xdg-open");
  EXPECT_EQ(xdg.calls[0].arguments, kUrl);
  EXPECT_EQ(statusLine, "");
}

TEST_F(DesktopLaunch, APageThatCannotBeOpenedIsToldInTheStatusLine) {
  ClickDevice(false, false);
  EXPECT_NE(statusLine.find(kUrl), std::string::npos) << statusLine;
}

}  // namespace
}  // namespace pradex
