// Opening a device page the way the desktop opens links: QDesktopServices::openUrl, which goes
// through the desktop's portal or its URL handler, and xdg-open when that finds no way. A page
// that neither could open is reported, so that the window can say so.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <string>

#include "platform/process_launcher.h"
#include "ui/browser_launch.h"

namespace pradex {

class DesktopBrowserLauncher : public QObject, public BrowserLauncher {
  Q_OBJECT

 public:
  // Opens a URL through the desktop; true when it took the URL.
  using DesktopOpener = std::function<bool(const QUrl&)>;

  // `fallback` starts xdg-open; it must outlive the launcher.
  explicit DesktopBrowserLauncher(ProcessLauncher& fallback,
                                  DesktopOpener opener = OpenThroughDesktop);

  void LaunchBrowser(std::string url) override;

  static bool OpenThroughDesktop(const QUrl& url);

 signals:
  // Neither the desktop nor xdg-open could open `url`.
  void LaunchFailed(const QString& url);

 private:
  ProcessLauncher& fallback;
  DesktopOpener opener;
};

}  // namespace pradex
