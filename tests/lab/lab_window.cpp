// The Qt window on the lab's desktop, opened over the real engine and system the way the pradex
// program opens it. Once its first search has ended, each link of the list is activated as a
// user would, and the page it opens is printed: one "name<TAB>url" line per link, in list
// order. Exits 1 when the search does not end or a link does not open exactly one page.
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QThread>
#include <chrono>
#include <clocale>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/browser_launch.h"
#include "ui/device_search_engine.h"
#include "ui/linux/linux_platform.h"
#include "ui/qt/pradex_window.h"
#include "ui/qt/qt_rich_text_control.h"

namespace {

// Keeps the pages a click asks for instead of opening them.
class RecordingBrowser : public pradex::BrowserLauncher {
 public:
  void LaunchBrowser(std::string url) override { opened.push_back(std::move(url)); }
  std::vector<std::string> opened;
};

int Fail(const std::string& why) {
  std::fputs(("pradex-lab-window: " + why + "\n").c_str(), stderr);
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace pradex;
  QApplication application(argc, argv);
  std::setlocale(LC_ALL, "");

  LinuxPlatform platform;
  RecordingBrowser browser;
  std::string listing;
  {
    PradexWindow window(platform.utf8Strings, platform.versions, browser,
                        [&platform](MessagePoster& poster) -> std::unique_ptr<SearchDriver> {
                          return std::make_unique<DeviceSearchEngine>(platform.Search(poster));
                        });
    window.show();  // starts the first search

    // Only a guard against a hang: the lab's search ends within seconds.
    constexpr std::chrono::seconds kHangGuard{60};
    const QDeadlineTimer deadline(kHangGuard);
    while (!window.Logic().IsIdle()) {
      if (deadline.hasExpired()) return Fail("the search did not end");
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
      QThread::msleep(10);
    }

    QtRichTextControl& list = *window.List();
    const std::vector<TextRange> links = list.LinkRanges();
    for (std::size_t i = 0; i < links.size(); ++i) {
      const std::string name = list.RangeText(links[i]).toStdString();
      QTextCursor inside(list.document());
      inside.setPosition(static_cast<int>(links[i].start) + 1);
      const std::string href = inside.charFormat().anchorHref().toStdString();
      if (href != name) return Fail("the link \"" + name + "\" points at \"" + href + "\"");
      browser.opened.clear();
      list.ActivateLink(static_cast<int>(i));
      if (browser.opened.size() != 1)
        return Fail("the link \"" + name + "\" opened " + std::to_string(browser.opened.size()) +
                    " pages");
      listing += name + "\t" + browser.opened.front() + "\n";
    }
  }  // the window and its search engine go before the platform they use
  return std::fputs(listing.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}
