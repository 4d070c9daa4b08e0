// The main window on Qt: a fixed-size dialog laid out like dialog template 30004, with the File
// menu in a menu bar, a thin view over the portable window logic (PradexDialog).
//
// Qt has no system menu, so the About item stands at the end of the File menu, after a
// separator of its own.
//
// Initialisation (the platform's WM_INITDIALOG) runs when the window is first shown, before it
// appears: it builds the menu, sets the texts and starts the first search. Search engine
// notifications arrive as SearchMessageEvents posted to the window.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPushButton>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/messages.h"
#include "platform/message_poster.h"
#include "platform/string_resources.h"
#include "platform/version_info.h"
#include "ui/browser_launch.h"
#include "ui/dialog_view.h"
#include "ui/pradex_dialog.h"
#include "ui/qt/about_dialog.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/qt_message_poster.h"
#include "ui/qt/qt_rich_text_control.h"
#include "ui/qt/reasons_dialog.h"
#include "ui/search_driver.h"
#include "ui/search_record.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QStatusBar;
class QTimer;

namespace pradex {

class PradexWindow : public QDialog, private DialogView {
  Q_OBJECT

 public:
  // Makes the search engine that reports through `poster`. The window owns what it returns and
  // destroys it before the window itself goes, so the engine must have joined every thread that
  // could still post when its destructor returns.
  using SearchFactory = std::function<std::unique_ptr<SearchDriver>(MessagePoster& poster)>;

  // What the modal run returns after Close (the platform's quit message).
  static constexpr int kQuitResult = -1;

  // `strings` gives UTF-8 texts; it, `versions` and `browser` must outlive the window.
  PradexWindow(StringResources& strings, VersionInfo& versions, BrowserLauncher& browser,
               const SearchFactory& makeSearch, QWidget* parent = nullptr);
  ~PradexWindow() override;

  void setVisible(bool visible) override;

  WindowHandle Handle() const { return poster.Handle(); }
  // The queue the engine posts through (and the window its own end markers).
  MessagePoster& Poster() { return poster; }
  const PradexDialog& Logic() const { return logic; }

  // The controls, for tests.
  QtRichTextControl* List() const { return list; }
  QPushButton* Button(int buttonId) const;
  // A File menu item (kStopMenuId, kRefreshMenuId, kCloseMenuId) or the About item
  // (kAboutCommandId); null before initialisation.
  QAction* Action(int commandId) const;
  QMenu* FileMenu() const { return fileMenu; }
  QWidget* ClientArea() const { return client; }
  QLabel* ProductLabel() const { return productLabel; }
  QWidget* BitmapPlaceholder() const { return placeholder; }
  const DialogUnits& Units() const { return units; }
  const QPixmap& Banner() const { return banner; }
  // The line under the client area that tells what went wrong outside the search (a page that
  // could not be opened).
  QStatusBar* StatusLine() const { return statusLine; }


  // Says in the status line that `url` could not be opened.
  void ShowLaunchFailure(const QString& url);

  // The language of the texts beyond the string table's (the status line, the details view,
  // the devices' facts):
  // a block of the string table, as LanguageChoice gives it. Finnish until set.
  void SetLanguage(unsigned block);

  // What the engine records of each run: the window shows the progress of a search from it and
  // offers the reasons when the search leaves printers unlisted. Both must outlive the window;
  // set them before the window is shown. Without them the window shows neither.
  void SetSearchRecord(RecordingSpooler* spooler, RecordingTrace* trace);
  // A thin bar in the status line while a search runs: probes ended of probes started so far.
  QProgressBar* Progress() const { return progress; }
  // The "Details" button in the status line, shown when a search has ended with printers of
  // the maker left unlisted; it opens the reasons view. A search that could not read the
  // spooler's printer list says why in the status line.
  QPushButton* DetailsButton() const { return detailsButton; }
  // The reasons view as the Details button shows it.
  std::unique_ptr<ReasonsDialog> MakeReasonsView();

  // The About box as the About item shows it.
  std::unique_ptr<AboutDialog> MakeAboutBox();

 protected:
  bool event(QEvent* event) override;

 private:
  // DialogView.
  void AddAboutItem(const std::string& text) override;
  void CreateFileMenu(const std::string& title, const std::string& stop, const std::string& refresh,
                      const std::string& close) override;
  void SetButtonText(int buttonId, const std::string& text) override;
  void SetProductLabel(const std::string& text) override;
  void EnableButton(int buttonId, bool enabled) override;
  void SetDefaultButton(int buttonId, bool isDefault) override;
  void FocusButton(int buttonId) override;
  void EnableMenuItem(int commandId, bool enabled) override;
  void RepaintList() override;
  void RepaintWindow() override;
  void PostQuit() override;
  void ShowAboutBox() override;
  void ShowDeviceFacts(const std::vector<FactsStage::Entry>& facts) override;

  void AppendAboutItem();
  // The progress bar, the Details button and the spooler's failure as the search and its
  // record stand now.
  void UpdateSearchIndicators();
  void ShowStatusTexts();
  QString Say(const Phrase& phrase) const;
  QPushButton* MakeButton(int buttonId, const QRect& geometry);

  StringResources& strings;
  VersionInfo& versions;
  // Destroyed after the engine: nothing posts once the engine has gone, and Detach makes sure.
  QtMessagePoster poster;
  DialogUnits units;
  QPixmap banner;
  QIcon icon;
  // Child widgets, owned by Qt.
  QWidget* client;
  QtRichTextControl* list;
  QPushButton* stopButton = nullptr;
  QPushButton* refreshButton = nullptr;
  QPushButton* closeButton = nullptr;
  QLabel* productLabel = nullptr;
  QPushButton* placeholder = nullptr;
  QMenuBar* menuBar = nullptr;
  QMenu* fileMenu = nullptr;
  QStatusBar* statusLine = nullptr;
  QProgressBar* progress = nullptr;
  QPushButton* detailsButton = nullptr;
  QTimer* indicatorTimer = nullptr;
  RecordingSpooler* spoolerRecord = nullptr;
  RecordingTrace* traceRecord = nullptr;
  std::map<int, QAction*> actions;
  std::string aboutText;
  bool initialised = false;
  unsigned language;
  // The status line's text of a spooler that failed, while it is shown.
  QString spoolerFailure;

  std::unique_ptr<SearchDriver> search;
  RecordedSearchDriver recorded;
  PradexDialog logic;
};

}  // namespace pradex
