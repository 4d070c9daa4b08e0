// The main window's controls as the window logic (PradexDialog) drives them. The Windows front
// end implements it over the dialog and its controls, the Linux front end over Qt widgets.
#pragma once

#include <string>
#include <vector>

#include "search/facts_stage.h"

namespace pradex {

// Command ids: the three buttons, the three items of the File menu, the About item of the
// system menu.
inline constexpr int kStopButtonId = 32771;
inline constexpr int kRefreshButtonId = 32772;
inline constexpr int kCloseButtonId = 32773;
inline constexpr int kRefreshMenuId = 32774;
inline constexpr int kStopMenuId = 32775;
inline constexpr int kCloseMenuId = 32776;
inline constexpr int kAboutCommandId = 16;

// The other controls of the window.
inline constexpr int kDeviceListId = 20006;
inline constexpr int kProductLabelId = 20001;
inline constexpr int kBitmapPlaceholderId = 20003;

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Initialisation.
  // Appends a separator and the item `text` with command kAboutCommandId to the system menu
  // (called only for a non-empty `text`; a window without a system menu adds nothing).
  virtual void AddAboutItem(const std::string& text) = 0;
  // Builds and attaches the menu bar: one pop-up titled `title` holding kStopMenuId `stop`,
  // kRefreshMenuId `refresh`, a separator and kCloseMenuId `close`, in this order.
  virtual void CreateFileMenu(const std::string& title, const std::string& stop,
                              const std::string& refresh, const std::string& close) = 0;
  // The text of button kStopButtonId, kRefreshButtonId or kCloseButtonId.
  virtual void SetButtonText(int buttonId, const std::string& text) = 0;
  // The product label's text (the label shows it in its enlarged bold font).
  virtual void SetProductLabel(const std::string& text) = 0;

  // Commands.
  virtual void EnableButton(int buttonId, bool enabled) = 0;
  // Makes the button the default push button (true) or a plain push button (false), redrawn.
  virtual void SetDefaultButton(int buttonId, bool isDefault) = 0;
  virtual void FocusButton(int buttonId) = 0;
  // Enables or greys the menu item kStopMenuId or kRefreshMenuId.
  virtual void EnableMenuItem(int commandId, bool enabled) = 0;

  // Repaints at once (UpdateWindow), so that a new text is on screen before the next step:
  // the list control alone, or the whole window.
  virtual void RepaintList() = 0;
  virtual void RepaintWindow() = 0;

  // Ends the window's modal run (PostQuitMessage(0)).
  virtual void PostQuit() = 0;
  // Shows the About box modally and returns when it has closed.
  virtual void ShowAboutBox() = 0;

  // What the listed devices have said about themselves so far (supplies, state), by printer
  // name; empty when a new search begins. A window that shows none ignores it.
  virtual void ShowDeviceFacts(const std::vector<FactsStage::Entry>& facts) { (void)facts; }
};

}  // namespace pradex
