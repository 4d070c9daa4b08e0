// The main window's logic: starts a search at initialisation and on every Refresh, counts the
// probes still outstanding from the search engine's notifications, and moves between the
// searching and the idle state, switching the status text, the buttons and the menu items.
//
// A front end owns one PradexDialog and forwards to it, on the window's thread:
//   - window initialisation                   -> OnInitDialog(its window handle)
//   - WM_COMMAND of a button or menu item     -> OnCommand(id)
//   - WM_SYSCOMMAND                           -> OnSystemCommand(id) (false: default handling)
//   - the three messages of search_messages.h -> HandleSearchMessage (false: default handling)
//   - a mouse message on a link of the list   -> OnLinkNotify
// The engine's messages and the window's own end marker (see StopSearch) must reach
// HandleSearchMessage through one queue, in the order they were posted.
#pragma once

#include <cstdint>
#include <string>

#include "platform/message_poster.h"
#include "platform/string_resources.h"
#include "ui/browser_launch.h"
#include "ui/device_list.h"
#include "ui/dialog_view.h"
#include "ui/rich_text_control.h"
#include "ui/search_driver.h"

namespace pradex {

// A mouse message on a link of the list control, as EN_LINK reports it, or the keyboard's
// counterpart of a press where the list offers one.
enum class LinkMouseEvent {
  kLeftButtonDown,         // WM_LBUTTONDOWN
  kLeftButtonDoubleClick,  // WM_LBUTTONDBLCLK
  kOther,                  // any other message: release, movement, other buttons
  kKeyActivate,            // Enter or Space on the focused link (the Linux list's keyboard access)
};

class PradexDialog {
 public:
  // `poster` must be the one the search engine posts its messages through.
  PradexDialog(DialogView& view, RichTextControl& listControl, SearchDriver& search,
               BrowserLauncher& browser, StringResources& strings, MessagePoster& poster);
  ~PradexDialog() = default;
  PradexDialog(const PradexDialog&) = delete;
  PradexDialog& operator=(const PradexDialog&) = delete;

  // The portable steps of dialog initialisation: About item, list format, menu, button and
  // label texts, then the first search. Returns false: the focus has been placed already.
  bool OnInitDialog(WindowHandle window);

  // A command of a button or the File menu; false for ids that are not the window's.
  bool OnCommand(int commandId);
  // A system command; true when it was the About item (the About box has been shown).
  bool OnSystemCommand(unsigned commandId);

  // One of the search engine's messages; true when the window acted on it, false when it is
  // left to the default handling (ignored).
  bool HandleSearchMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

  // A mouse message on a link of the list control; `range` is the run of consecutive
  // characters with the link effect under the mouse (ENLINK's chrg on Windows). Returns the
  // notification result: true when the control must not act on the message itself (no caret,
  // no selection by the click).
  bool OnLinkNotify(LinkMouseEvent event, TextRange range);

  void StartSearch();
  void StopSearch();
  void OnCloseCommand();

  // What the window shows and counts, for the front ends and tests.
  bool IsStopped() const { return stopped; }
  bool IsIdle() const { return idle; }
  bool AnyFound() const { return anyFound; }
  std::int32_t OutstandingProbes() const { return outstandingProbes; }
  const DeviceList& List() const { return deviceList; }

 protected:
  void ShowSearching();
  void ShowNoneFound();
  void ShowFound();
  void ShowCancelling();
  void CheckSearchDone();
  void UpdateControls(bool idleState);

 private:
  // Starts the worker of the search that StartSearch has shown.
  void StartWorker();
  void ShowStatus(int message, bool namesLeftOut);

  DialogView& view;
  SearchDriver& search;
  BrowserLauncher& browser;
  StringResources& strings;
  MessagePoster& poster;
  WindowHandle window = 0;

  // Set while the engine's notifications are not counted: after a stop, after the end of a
  // search, and while a search waits for its worker to start.
  bool stopped = false;
  bool anyFound = false;
  std::int32_t outstandingProbes = 0;  // may go below 0 for a while

  // Idle controls: Refresh available, Stop not.
  bool idle = true;
  // A worker has been started and its WM_SEARCH_FINISHED has not arrived yet.
  bool workerRunning = false;
  // End messages (WM_SEARCH_FINISHED) still to arrive that belong to no search on screen: the
  // stopped run's own, and the end marker the window posted behind everything that run had
  // posted before the stop. Until both are in, every notification belongs to that run.
  int abandonedEnds = 0;
  // The shown search starts its worker when that WM_SEARCH_FINISHED arrives.
  bool startDeferred = false;

  DeviceList deviceList;
};

}  // namespace pradex
