// The Linux desktop program: the main window over the real system (CUPS, libcurl, the desktop's
// way of opening links).
#include <QApplication>
#include <QPushButton>
#include <QStringList>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/languages.h"
#include "app/static_version_info.h"
#include "app/texts.h"
#include "ui/device_search_engine.h"
#include "ui/dialog_view.h"
#include "ui/linux/linux_platform.h"
#include "ui/qt/desktop_browser_launcher.h"
#include "ui/qt/pradex_window.h"
#include "ui/qt/termination_signals.h"
#include "ui/qt/window_options.h"
#include "ui/search_record.h"

namespace {

constexpr int kExitUsage = 2;

// Standard error takes the texts in UTF-8: a desktop's locale is, and Qt writes its own so.
int UsageError(unsigned block, const std::string& error) {
  const std::string text = "pradex: " + error + "\n" + pradex::WindowUsageText() +
                           pradex::Text(block, "usage.try-help", {"pradex"}) + "\n";
  std::fputs(text.c_str(), stderr);
  return kExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace pradex;
  {
    // Answered before Qt looks for a display, so that they work on a console too.
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (AsksForHelpOrVersion(arguments)) {
      const WindowOptions options = ParseWindowCommandLine(arguments);
      const std::string text = options.help ? WindowHelpText() : VersionLine() + "\n";
      return std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    }
  }

  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName(QStringLiteral(PRADEX_APP_ID));
  // Qt has taken the user's locale already; said once more so that it does not depend on that.
  std::setlocale(LC_ALL, "");

  // What is left once Qt has taken its own options.
  std::vector<std::string> arguments;
  const QStringList all = QCoreApplication::arguments();
  for (qsizetype i = 1; i < all.size(); ++i) arguments.push_back(all[i].toStdString());
  const WindowOptions options = ParseWindowCommandLine(arguments);
  const LanguageChoice language = ChooseLanguage(options.language, std::getenv(kLanguageVariable));
  if (!options.error.empty()) return UsageError(language.block, Say(language.block, options.error));
  if (!language.error.empty()) return UsageError(language.block, language.error);
  if (!language.warning.empty()) std::fputs(("pradex: " + language.warning + "\n").c_str(), stderr);

  LinuxPlatform platform;
  LanguageStringResources strings(platform.utf8Strings, language.block);
  DesktopBrowserLauncher browser(platform.launcher);
  int endSignal = 0;
  {
    // What each search met, for the window's progress bar, its reasons view and the status line
    // that tells why the printers could not be listed. Both outlive the window's engine.
    RecordingSpooler recordedSpooler(platform.spooler);
    RecordingTrace trace;
    PradexWindow window(strings, platform.versions, browser,
                        [&](MessagePoster& poster) -> std::unique_ptr<SearchDriver> {
                          auto engine = std::make_unique<DeviceSearchEngine>(
                              SearchPlatform{recordedSpooler, platform.settings, platform.http,
                                             poster, platform.resolver},
                              &platform.ipp);
                          engine->Search().SetTrace(&trace);
                          return engine;
                        });
    window.SetLanguage(language.block);
    window.SetSearchRecord(&recordedSpooler, &trace);
    // SIGTERM (a logout, a service manager) or SIGINT ends the program the way Close does.
    TerminationSignals termination([&window](int) {
      // A modal box in front, such as About, is closed first, as a user would close it.
      for (int boxes = 0; boxes < 8; ++boxes) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == &window) break;
        modal->close();
      }
      window.Button(kCloseButtonId)->click();
    });
    // The modal run lasts until the window closes; its result is not used.
    window.exec();
    endSignal = termination.Received();
  }  // the window and its search engine go before the platform they use
  // After a signal, the status a shell reports for a process that the signal ended: 130 for
  // SIGINT, 143 for SIGTERM.
  const int status = endSignal != 0 ? 128 + endSignal : 0;
  // A DNS-SD daemon that hangs still holds a call the search gave up on: the window is gone, so
  // the program ends without waiting for it.
  if (platform.resolver.CallsLeftBehind() > 0) std::_Exit(status);
  return status;
}
