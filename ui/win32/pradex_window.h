// The main window on Windows: dialog template 30004 driven by the portable window logic
// (PradexDialog), which sees the dialog through DialogView and the Rich Edit list through
// RichTextControl.
//
// The dialog's messages reach the logic as follows: WM_INITDIALOG -> OnInitDialog, the search
// engine's three messages -> HandleSearchMessage (before anything else), WM_COMMAND ->
// OnCommand (and the application object for the ids the window leaves), WM_SYSCOMMAND ->
// OnSystemCommand, EN_LINK of the list -> OnLinkNotify, whose answer is the notification's
// result. Painting, the minimised icon and the drag icon are the window's own.
#pragma once

#include <windows.h>

#include <richedit.h>

#include <string>

#include "ui/device_search_engine.h"
#include "ui/dialog_view.h"
#include "ui/pradex_dialog.h"
#include "ui/win32/framework.h"
#include "ui/win32/win32_platform.h"
#include "ui/win32/win32_rich_text_control.h"

namespace pradex::win32 {

class PradexWindow : public Dialog, private DialogView {
 public:
  // Constructs the search engine (which reads the proxy bypass list and opens its session) and
  // loads the icons and the banner. `platform` must outlive the window.
  explicit PradexWindow(Win32Platform& platform);
  ~PradexWindow() override;

  const PradexDialog& Logic() const { return logic; }

 protected:
  BOOL OnInitDialog() override;
  void BindControls() override;
  bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnDestroyWindow() override;

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

  void OnPaint();
  LRESULT OnLinkNotify(const ENLINK& link);
  // The bound Stop or Refresh button, or the control of another id (the Close button).
  HWND Button(int buttonId) const;

  Win32Platform& platform;
  HWND stopButton = nullptr;
  HWND refreshButton = nullptr;
  Win32RichTextControl deviceList;
  DeviceSearchEngine search;
  HWND bitmapPlaceholder = nullptr;
  HWND productLabel = nullptr;
  HMENU menuBar = nullptr;
  HMENU fileMenu = nullptr;
  PradexDialog logic;
  // Loaded once; like the label's enlarged font they live as long as the process.
  HICON icon = nullptr;
  HICON bigIcon = nullptr;
  HBITMAP bannerBitmap = nullptr;
  HFONT productFont = nullptr;
};

}  // namespace pradex::win32
