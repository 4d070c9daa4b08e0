#include "ui/pradex_dialog.h"

#include "app/messages.h"
#include "search/search_messages.h"

namespace pradex {

namespace {

constexpr unsigned kSystemCommandMask = 0xFFF0;

}  // namespace

PradexDialog::PradexDialog(DialogView& view, RichTextControl& listControl, SearchDriver& search,
                           BrowserLauncher& browser, StringResources& strings,
                           MessagePoster& poster)
    : view(view),
      search(search),
      browser(browser),
      strings(strings),
      poster(poster),
      deviceList(listControl) {}

bool PradexDialog::OnInitDialog(WindowHandle ownWindow) {
  window = ownWindow;
  const std::string about = LoadMessage(strings, kAboutItemMessage);
  if (!about.empty()) view.AddAboutItem(about);
  deviceList.Prepare();

  const std::string stopText = LoadMessage(strings, kStopMessage);
  const std::string refreshText = LoadMessage(strings, kRefreshMessage);
  const std::string closeText = LoadMessage(strings, kCloseMessage);
  const std::string fileText = LoadMessage(strings, kFileMenuMessage);
  const std::string productText = LoadMessage(strings, kProductMessage);
  view.CreateFileMenu(fileText, stopText, refreshText, closeText);
  view.SetButtonText(kStopButtonId, stopText);
  view.SetButtonText(kRefreshButtonId, refreshText);
  view.SetButtonText(kCloseButtonId, closeText);
  view.SetProductLabel(productText);

  StartSearch();
  return false;
}

bool PradexDialog::OnCommand(int commandId) {
  switch (commandId) {
    case kStopButtonId:
    case kStopMenuId:
      // Only the command that is enabled acts: a Refresh during a search would start a second
      // run of the engine while the first is going on.
      if (!idle) StopSearch();
      return true;
    case kRefreshButtonId:
    case kRefreshMenuId:
      if (idle) StartSearch();
      return true;
    case kCloseButtonId:
    case kCloseMenuId:
      OnCloseCommand();
      return true;
    default:
      return false;
  }
}

bool PradexDialog::OnSystemCommand(unsigned commandId) {
  if ((commandId & kSystemCommandMask) != static_cast<unsigned>(kAboutCommandId)) return false;
  view.ShowAboutBox();
  return true;
}

bool PradexDialog::HandleSearchMessage(std::uint32_t message, std::uintptr_t wParam,
                                       std::intptr_t lParam) {
  AccountForLostEnds();
  switch (message) {
    case WM_SEARCH_FINISHED:
      if (abandonedEnds > 0) {
        // No worker of the search on screen runs yet, so this ends the stopped run or is the
        // window's own marker. Once both are in, everything that run posted has been passed
        // over and its worker has finished: the search on screen can have its worker now.
        if (--abandonedEnds > 0) return true;
        workerRunning = false;
        if (startDeferred) StartWorker();
        return true;
      }
      workerRunning = false;
      if (stopped) return false;
      // Unsigned addition: a count far out of range wraps instead of overflowing.
      outstandingProbes = static_cast<std::int32_t>(static_cast<std::uint32_t>(outstandingProbes) +
                                                    static_cast<std::uint32_t>(wParam));
      CheckSearchDone();
      return true;
    case WM_SEARCH_DEVICE_ANSWERED:
      if (stopped) return false;
      --outstandingProbes;
      anyFound = true;
      deviceList.AddDevice(search.PrinterNameOf(lParam));
      CheckSearchDone();
      return true;
    case WM_SEARCH_PROBE_FAILED:
      if (stopped) return false;
      --outstandingProbes;
      CheckSearchDone();
      return true;
    case WM_SEARCH_DEVICE_FACTS:
      // Also after the run's end and after a stop: the devices listed stay listed.
      view.ShowDeviceFacts(search.DeviceFacts());
      return true;
    default:
      return false;
  }
}

bool PradexDialog::OnLinkNotify(LinkMouseEvent event, TextRange range) {
  switch (event) {
    case LinkMouseEvent::kOther:
      return false;
    case LinkMouseEvent::kLeftButtonDoubleClick:
      // The press that began the double click has opened the page already.
      return true;
    case LinkMouseEvent::kLeftButtonDown:
    case LinkMouseEvent::kKeyActivate:
      break;
  }
  // The list lock is released before the search engine is asked for anything.
  const std::string name = deviceList.ReadLinkText(range);
  const std::string url = search.LookupDeviceUrl(name);
  // A text that no device of this search answered to (a URL the control itself made a link,
  // say) has no page to open.
  if (!url.empty()) browser.LaunchBrowser(url);
  return true;
}

void PradexDialog::StartSearch() {
  UpdateControls(false);
  deviceList.Clear();
  view.ShowDeviceFacts({});
  ShowSearching();
  anyFound = false;
  outstandingProbes = 0;
  // Nothing is counted until this search's own worker runs.
  stopped = true;
  AccountForLostEnds();
  if (abandonedEnds > 0) {
    // A stopped run may still be working, and what it posted may still be queued: the worker
    // starts when the last of its end messages arrives.
    startDeferred = true;
    return;
  }
  StartWorker();
}

void PradexDialog::StartWorker() {
  startDeferred = false;
  if (!search.StartWorker(window)) {
    ShowNoneFound();
    UpdateControls(true);
    // No search exists whose messages could be counted.
    stopped = true;
    return;
  }
  workerRunning = true;
  stopped = false;
}

void PradexDialog::StopSearch() {
  ShowCancelling();
  stopped = true;
  search.Stop();
  outstandingProbes = 0;
  startDeferred = false;
  AccountForLostEnds();
  if (abandonedEnds == 0) {
    // Probe messages the run posted before the stop may still be queued, and they may stand
    // behind its end-of-run message, which the window has not seen while the worker runs; after
    // the stop the run posts no probe message, only its end-of-run message if it has not yet.
    // So the window posts an end marker of its own behind whatever is queued, and the next
    // search waits for the marker and for the run's own end message. A marker that cannot be
    // posted is not waited for, or the next search would wait forever.
    if (poster.Post(window, WM_SEARCH_FINISHED, 0, 0)) ++abandonedEnds;
    if (workerRunning) ++abandonedEnds;
  }
  CheckSearchDone();
}

void PradexDialog::AccountForLostEnds() {
  const int lost = search.LostEndMessages();
  while (lostEndsSeen < lost) {
    ++lostEndsSeen;
    // Only the worker the window takes to be running can have lost its end.
    if (abandonedEnds > 0) {
      // After a stop the end marker, when it could be posted, is still to come: it stands
      // behind everything the stopped run posted.
      if (--abandonedEnds > 0) continue;
      workerRunning = false;
      if (startDeferred) StartWorker();
    } else {
      workerRunning = false;
    }
  }
}

void PradexDialog::OnCloseCommand() {
  stopped = true;
  startDeferred = false;
  search.Stop();
  view.PostQuit();
}

void PradexDialog::ShowStatus(int message, bool namesLeftOut) {
  deviceList.SetStatusText(LoadMessage(strings, message), namesLeftOut);
  view.RepaintList();
}

void PradexDialog::ShowSearching() {
  ShowStatus(kSearchingMessage, true);
}
void PradexDialog::ShowNoneFound() {
  ShowStatus(kNoneFoundMessage, true);
}
void PradexDialog::ShowFound() {
  ShowStatus(kFoundMessage, false);
}
void PradexDialog::ShowCancelling() {
  ShowStatus(kCancellingMessage, false);
}

void PradexDialog::CheckSearchDone() {
  // Exactly 0: a negative count means answers arrived before the end-of-run message.
  if (outstandingProbes != 0) return;
  if (anyFound) {
    ShowFound();
  } else {
    ShowNoneFound();
  }
  UpdateControls(true);
  stopped = true;
  view.RepaintWindow();
}

void PradexDialog::UpdateControls(bool idleState) {
  const int available = idleState ? kRefreshButtonId : kStopButtonId;
  const int unavailable = idleState ? kStopButtonId : kRefreshButtonId;
  view.SetDefaultButton(unavailable, false);
  view.EnableButton(unavailable, false);
  view.EnableButton(available, true);
  view.SetDefaultButton(available, true);
  view.FocusButton(available);
  view.EnableMenuItem(kRefreshMenuId, idleState);
  view.EnableMenuItem(kStopMenuId, !idleState);
  idle = idleState;
}

}  // namespace pradex
