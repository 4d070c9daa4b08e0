#include "ui/qt/pradex_window.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/messages.h"
#include "app/texts.h"
#include "platform/win_codes.h"
#include "ui/qt/artwork.h"
#include "ui/qt/desktop_browser_launcher.h"

namespace pradex {

namespace {

// The enlarged font of the product label: the dialog font, 22 pixels high, weight 900.
constexpr int kProductFontPixels = 22;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog's client area below the menu bar. It paints the banner at the top-left corner of
// the hidden placeholder, at the banner's own size, its key colour left out so that the
// background shows through.
class BannerArea : public QWidget {
 public:
  BannerArea(QWidget* parent, QPixmap banner) : QWidget(parent), banner(std::move(banner)) {}
  void SetPlaceholder(QWidget* widget) { placeholder = widget; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (banner.isNull() || placeholder == nullptr) return;
    QPainter painter(this);
    painter.drawPixmap(placeholder->pos(), banner);
  }

 private:
  QPixmap banner;
  QWidget* placeholder = nullptr;
};

}  // namespace

PradexWindow::PradexWindow(StringResources& strings, VersionInfo& versions,
                           BrowserLauncher& browser, const SearchFactory& makeSearch,
                           QWidget* parent)
    : QDialog(parent),
      strings(strings),
      versions(versions),
      poster(this),
      units(BaseUnitsOf(DialogFont())),
      banner(BannerBitmap()),
      icon(ProgramIcon()),
      client(new BannerArea(this, banner)),
      list(new QtRichTextControl(client)),
      language(kLanguageBlock),
      search(makeSearch(poster)),
      recorded(*search),
      logic(*this, *list, recorded, browser, strings, poster) {
  setWindowTitle(QStringLiteral("Pradex"));
  setWindowIcon(icon);

  // Template order; the tab order runs over the three buttons and then the list, whose links
  // are otherwise out of a keyboard user's reach.
  stopButton = MakeButton(kStopButtonId, units.Rect(13, 209, 50, 16));
  refreshButton = MakeButton(kRefreshButtonId, units.Rect(77, 209, 50, 16));
  closeButton = MakeButton(kCloseButtonId, units.Rect(141, 209, 50, 16));
  setTabOrder(stopButton, refreshButton);
  setTabOrder(refreshButton, closeButton);
  setTabOrder(closeButton, list);

  list->setGeometry(units.Rect(7, 7, 192, 195));
  list->SetLinkHandler(
      [this](LinkMouseEvent event, TextRange range) { return logic.OnLinkNotify(event, range); });

  productLabel = new QLabel(client);
  productLabel->setTextFormat(Qt::PlainText);
  productLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  productLabel->setWordWrap(true);
  productLabel->setGeometry(units.Rect(59, 232, 140, 43));
  QFont productFont = DialogFont();
  productFont.setPixelSize(kProductFontPixels);
  productFont.setWeight(QFont::Black);
  productLabel->setFont(productFont);

  // Only its position is used: the banner is painted there.
  placeholder = new QPushButton(client);
  placeholder->setGeometry(units.Rect(14, 234, 43, 29));
  placeholder->setFlat(true);
  placeholder->setEnabled(false);
  placeholder->setFocusPolicy(Qt::NoFocus);
  placeholder->hide();
  static_cast<BannerArea*>(client)->SetPlaceholder(placeholder);

  client->setFixedSize(units.Size(206, 282));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(client);
  statusLine = new QStatusBar(this);
  statusLine->setSizeGripEnabled(false);
  layout->addWidget(statusLine);
  progress = new QProgressBar(statusLine);
  // Quiet: no text, a few pixels high, the status text above stays what it always was.
  progress->setTextVisible(false);
  progress->setFixedSize(units.X(60), std::max(4, units.Y(3)));
  progress->hide();
  statusLine->addPermanentWidget(progress);
  detailsButton = new QPushButton(statusLine);
  detailsButton->setAutoDefault(false);
  detailsButton->hide();
  connect(detailsButton, &QPushButton::clicked, this, [this] { MakeReasonsView()->exec(); });
  statusLine->addPermanentWidget(detailsButton);
  ShowStatusTexts();
  // As high as the button needs, whether it shows or not: the window keeps its size.
  statusLine->setFixedHeight(detailsButton->sizeHint().height() + 4);
  setTabOrder(list, detailsButton);
  // Probes start and end on the engine's threads without a message of their own.
  indicatorTimer = new QTimer(this);
  indicatorTimer->setInterval(200);
  connect(indicatorTimer, &QTimer::timeout, this, &PradexWindow::UpdateSearchIndicators);
  // The client area keeps the template's size; the menu bar comes on top of it and the status
  // line below it.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  if (auto* desktop = dynamic_cast<DesktopBrowserLauncher*>(&browser)) {
    connect(desktop, &DesktopBrowserLauncher::LaunchFailed, this, &PradexWindow::ShowLaunchFailure);
  }
}

void PradexWindow::SetSearchRecord(RecordingSpooler* spooler, RecordingTrace* trace) {
  spoolerRecord = spooler;
  traceRecord = trace;
  recorded.SetRecord(spooler, trace);
  if (trace != nullptr) {
    indicatorTimer->start();
  } else {
    indicatorTimer->stop();
  }
  UpdateSearchIndicators();
}

void PradexWindow::SetLanguage(unsigned block) {
  language = block;
  ShowStatusTexts();
}

QString PradexWindow::Say(const Phrase& phrase) const {
  return FromUtf8(pradex::Say(language, phrase));
}

void PradexWindow::ShowStatusTexts() {
  progress->setAccessibleName(Say(Phrase::Of("window.progress-name")));
  detailsButton->setText(Say(Phrase::Of("window.details")));
  detailsButton->setToolTip(Say(Phrase::Of("window.details-tip")));
}

std::unique_ptr<ReasonsDialog> PradexWindow::MakeReasonsView() {
  Explanation explanation = spoolerRecord != nullptr && traceRecord != nullptr
                                ? BuildExplanation(*spoolerRecord, *traceRecord)
                                : Explanation{};
  return std::make_unique<ReasonsDialog>(explanation, language, this);
}

void PradexWindow::UpdateSearchIndicators() {
  // Before the first search there is nothing to count or explain.
  if (!initialised || spoolerRecord == nullptr || traceRecord == nullptr) {
    progress->hide();
    detailsButton->hide();
    return;
  }
  if (!logic.IsIdle()) {
    const SearchProgress now = traceRecord->Progress();
    progress->setRange(0, std::max(now.started, 1));
    progress->setValue(now.ended);
    progress->setToolTip(
        Say(Phrase::Of("window.progress-tip", {Phrase::Literal(std::to_string(now.ended)),
                                               Phrase::Literal(std::to_string(now.started))})));
    progress->show();
    detailsButton->hide();
    // A new search: the last one's failure is no longer the news.
    if (!spoolerFailure.isEmpty() && statusLine->currentMessage() == spoolerFailure)
      statusLine->clearMessage();
    spoolerFailure.clear();
    return;
  }
  progress->hide();
  // A stop that cut the spooler's answer short is no failure of the spooler.
  const auto enumeration = spoolerRecord->LastEnumeration();
  if (spoolerFailure.isEmpty() && enumeration && enumeration->result != kErrorSuccess &&
      enumeration->result != kErrorCancelled) {
    spoolerFailure =
        Say(Phrase::Of("window.spooler-unavailable", {SpoolerProblem(enumeration->result)}));
    statusLine->showMessage(spoolerFailure);
  }
  detailsButton->setVisible(
      ReasonsWanted(BuildExplanation(*spoolerRecord, *traceRecord), logic.List().Names().size()));
}

void PradexWindow::ShowLaunchFailure(const QString& url) {
  statusLine->showMessage(
      Say(Phrase::Of("window.launch-failed", {Phrase::Literal(url.toStdString())})));
}

PradexWindow::~PradexWindow() {
  // Destroying the window stops the search once more; the engine, destroyed next, waits for its
  // threads.
  search->Stop();
}

void PradexWindow::setVisible(bool visible) {
  if (visible && !initialised) {
    // Before the window appears, so that it is centred and shown with its menu, texts and
    // focus in place.
    initialised = true;
    logic.OnInitDialog(Handle());
    UpdateSearchIndicators();
  }
  QDialog::setVisible(visible);
}

QPushButton* PradexWindow::MakeButton(int buttonId, const QRect& geometry) {
  auto* button = new QPushButton(client);
  button->setGeometry(geometry);
  // Like a push button of a Windows dialog: the focused button acts on Enter.
  button->setAutoDefault(true);
  connect(button, &QPushButton::clicked, this, [this, buttonId] {
    logic.OnCommand(buttonId);
    UpdateSearchIndicators();
  });
  return button;
}

QPushButton* PradexWindow::Button(int buttonId) const {
  switch (buttonId) {
    case kStopButtonId:
      return stopButton;
    case kRefreshButtonId:
      return refreshButton;
    case kCloseButtonId:
      return closeButton;
    default:
      return nullptr;
  }
}

QAction* PradexWindow::Action(int commandId) const {
  const auto it = actions.find(commandId);
  return it == actions.end() ? nullptr : it->second;
}

std::unique_ptr<AboutDialog> PradexWindow::MakeAboutBox() {
  return std::make_unique<AboutDialog>(strings, versions, icon, this);
}

bool PradexWindow::event(QEvent* event) {
  if (event->type() == SearchMessageEvent::EventType()) {
    const auto* message = static_cast<const SearchMessageEvent*>(event);
    logic.HandleSearchMessage(message->message, message->wParam, message->lParam);
    UpdateSearchIndicators();
    return true;
  }
  return QDialog::event(event);
}

void PradexWindow::AddAboutItem(const std::string& text) {
  aboutText = text;
  if (fileMenu != nullptr) AppendAboutItem();
}

void PradexWindow::AppendAboutItem() {
  if (aboutText.empty() || actions.count(kAboutCommandId) != 0) return;
  fileMenu->addSeparator();
  // The "&" of the text marks the access key, in Qt as on Windows.
  QAction* about = fileMenu->addAction(FromUtf8(aboutText));
  connect(about, &QAction::triggered, this,
          [this] { logic.OnSystemCommand(static_cast<unsigned>(kAboutCommandId)); });
  actions[kAboutCommandId] = about;
}

void PradexWindow::CreateFileMenu(const std::string& title, const std::string& stop,
                                  const std::string& refresh, const std::string& close) {
  if (menuBar == nullptr) {
    menuBar = new QMenuBar(this);
    layout()->setMenuBar(menuBar);
  }
  fileMenu = menuBar->addMenu(FromUtf8(title));
  const auto add = [this](int commandId, const std::string& text) {
    QAction* action = fileMenu->addAction(FromUtf8(text));
    connect(action, &QAction::triggered, this, [this, commandId] {
      logic.OnCommand(commandId);
      UpdateSearchIndicators();
    });
    actions[commandId] = action;
  };
  add(kStopMenuId, stop);
  add(kRefreshMenuId, refresh);
  fileMenu->addSeparator();
  add(kCloseMenuId, close);
  AppendAboutItem();
}

void PradexWindow::SetButtonText(int buttonId, const std::string& text) {
  if (QPushButton* button = Button(buttonId)) button->setText(FromUtf8(text));
}

void PradexWindow::SetProductLabel(const std::string& text) {
  productLabel->setText(FromUtf8(text));
}

void PradexWindow::EnableButton(int buttonId, bool enabled) {
  if (QPushButton* button = Button(buttonId)) button->setEnabled(enabled);
}

void PradexWindow::SetDefaultButton(int buttonId, bool isDefault) {
  if (QPushButton* button = Button(buttonId)) button->setDefault(isDefault);
}

void PradexWindow::FocusButton(int buttonId) {
  if (QPushButton* button = Button(buttonId)) button->setFocus(Qt::OtherFocusReason);
}

void PradexWindow::EnableMenuItem(int commandId, bool enabled) {
  if (QAction* action = Action(commandId)) action->setEnabled(enabled);
}

void PradexWindow::RepaintList() {
  list->viewport()->repaint();
}

void PradexWindow::RepaintWindow() {
  repaint();
}

void PradexWindow::PostQuit() {
  // Like the quit message: the modal run ends once the current event has been handled.
  QMetaObject::invokeMethod(
      this, [this] { done(kQuitResult); }, Qt::QueuedConnection);
}

void PradexWindow::ShowDeviceFacts(const std::vector<FactsStage::Entry>& facts) {
  list->SetDeviceFacts(facts, language);
}

void PradexWindow::ShowAboutBox() {
  const std::unique_ptr<AboutDialog> box = MakeAboutBox();
  box->exec();
}

}  // namespace pradex
