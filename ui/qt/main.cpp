// The Linux desktop program: the main window over the real system (CUPS, libcurl, xdg-open).
#include <QApplication>
#include <QPushButton>
#include <clocale>
#include <memory>

#include "ui/browser_launch.h"
#include "ui/device_search_engine.h"
#include "ui/dialog_view.h"
#include "ui/linux/linux_platform.h"
#include "ui/qt/pradex_window.h"
#include "ui/qt/termination_signals.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral("pradex"));
  // Qt has taken the user's locale already; said once more so that it does not depend on that.
  std::setlocale(LC_ALL, "");

  pradex::LinuxPlatform platform;
  pradex::XdgBrowserLauncher browser(platform.launcher);
  int endSignal = 0;
  {
    pradex::PradexWindow window(
        platform.utf8Strings, platform.versions, browser,
        [&platform](pradex::MessagePoster& poster) -> std::unique_ptr<pradex::SearchDriver> {
          return std::make_unique<pradex::DeviceSearchEngine>(platform.Search(poster));
        });
    // SIGTERM (a logout, a service manager) or SIGINT ends the program the way Close does.
    pradex::TerminationSignals termination([&window](int) {
      // A modal box in front, such as About, is closed first, as a user would close it.
      for (int boxes = 0; boxes < 8; ++boxes) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == &window) break;
        modal->close();
      }
      window.Button(pradex::kCloseButtonId)->click();
    });
    // The modal run lasts until the window closes; its result is not used.
    window.exec();
    endSignal = termination.Received();
  }  // the window and its search engine go before the platform they use
  // After a signal, the status a shell reports for a process that the signal ended: 130 for
  // SIGINT, 143 for SIGTERM.
  return endSignal != 0 ? 128 + endSignal : 0;
}
