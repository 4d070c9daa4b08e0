// The main window's controls for a console: the window logic (PradexDialog) runs unchanged and
// the console reads back what it shows. Buttons, menus and painting have nothing to show.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/browser_launch.h"
#include "ui/dialog_view.h"
#include "ui/rich_text_control.h"

namespace pradex::cli {

class ConsoleDialogView : public DialogView {
 public:
  void AddAboutItem(const std::string&) override {}
  void CreateFileMenu(const std::string&, const std::string&, const std::string&,
                      const std::string&) override {}
  void SetButtonText(int, const std::string&) override {}
  void SetProductLabel(const std::string&) override {}
  void EnableButton(int, bool) override {}
  void SetDefaultButton(int, bool) override {}
  void FocusButton(int) override {}
  void EnableMenuItem(int, bool) override {}
  void RepaintList() override {}
  void RepaintWindow() override {}
  void PostQuit() override { quitPosted = true; }
  void ShowAboutBox() override {}

  bool QuitPosted() const { return quitPosted; }

 private:
  bool quitPosted = false;
};

// The list control as plain text. Positions follow the control rules of rich_text_control.h:
// each "\r\n" is one position, every other byte one position (the console's text is 8-bit
// text, so a byte is its character unit). Search ignores ASCII case and matches inside words.
// Formats are accepted and not kept: a console has no links to draw.
class ConsoleListControl : public RichTextControl {
 public:
  void SetText(const std::string& text) override;
  long TextLength() override;
  void Select(TextRange range) override;
  std::optional<TextRange> FindForward(const std::string& text, long from) override;
  void SetSelectionFormat(const CharFormat&) override {}
  void SetDefaultFormat(const CharFormat&) override {}
  std::string SelectedText() override;
  void SetEnabled(bool) override {}

  // The whole text as last set, with its "\r\n" line breaks.
  std::string Text() const;

 private:
  // One position each: a single byte, or "\r\n".
  static std::vector<std::string> Split(const std::string& text);

  std::vector<std::string> cells;
  TextRange selection;
};

// A console opens no browser.
class NoBrowserLauncher : public BrowserLauncher {
 public:
  void LaunchBrowser(std::string) override {}
};

}  // namespace pradex::cli
