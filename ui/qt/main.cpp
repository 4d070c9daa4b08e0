// The Linux desktop program: the main window over the real system (CUPS, libcurl, xdg-open).
#include <QApplication>
#include <clocale>
#include <memory>

#include "ui/linux/linux_platform.h"
#include "ui/browser_launch.h"
#include "ui/device_search_engine.h"
#include "ui/qt/pradex_window.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("pradex"));
  // Qt has taken the user's locale already; said once more so that it does not depend on that.
  std::setlocale(LC_ALL, "");

  pradex::LinuxPlatform platform;
  pradex::XdgBrowserLauncher browser(platform.launcher);
  {
    pradex::PradexWindow window(
        platform.utf8Strings, platform.versions, browser,
        [&platform](pradex::MessagePoster& poster) -> std::unique_ptr<pradex::SearchDriver> {
          return std::make_unique<pradex::DeviceSearchEngine>(
              platform.Search(poster), [&platform] { platform.resolver.Stop(); });
        });
    // The modal run lasts until the window closes; its result is not used.
    window.exec();
  }  // the window and its search engine go before the platform they use
  return 0;
}
