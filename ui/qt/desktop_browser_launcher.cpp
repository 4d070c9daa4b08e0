#include "ui/qt/desktop_browser_launcher.h"

#include <QDesktopServices>
#include <utility>

namespace pradex {

DesktopBrowserLauncher::DesktopBrowserLauncher(ProcessLauncher& fallback, DesktopOpener opener)
    : fallback(fallback), opener(std::move(opener)) {}

bool DesktopBrowserLauncher::OpenThroughDesktop(const QUrl& url) {
  return QDesktopServices::openUrl(url);
}

void DesktopBrowserLauncher::LaunchBrowser(std::string url) {
  if (url.empty()) return;
  const QString text = QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size()));
  // Strict: a device URL that does not parse is not handed to the desktop in a mended form.
  const QUrl parsed(text, QUrl::StrictMode);
  if (parsed.isValid() && opener(parsed)) return;
  if (fallback.Start("xdg-open", url)) return;
  emit LaunchFailed(text);
}

}  // namespace pradex
