// A small application framework for the Windows program: the application object that the
// entry point hands over to, and modal dialogs over the dialog manager (DialogBoxParamA) whose
// messages reach virtual operations of a C++ object.
#pragma once

#include <windows.h>

namespace pradex::win32 {

class Dialog;

// The program's one application object. WinMain calls Run, which calls InitInstance; the
// program ends when it returns.
class Application {
 public:
  Application();
  virtual ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The one instance, or null before it is constructed.
  static Application* Current();

  // Keeps the module handle and calls InitInstance. Returns the process exit code, 0.
  int Run(HINSTANCE instance);

  HINSTANCE Instance() const { return instance; }
  // The window that is the program's main window while it runs modally; null otherwise.
  Dialog* MainWindow() const { return mainWindow; }
  void SetMainWindow(Dialog* window) { mainWindow = window; }

  // A command that the main window leaves unhandled. True when the application handled it.
  virtual bool OnCommand(int commandId);

 protected:
  // The program's start-up and its modal run; the result is not used to keep a message loop
  // going (there is none), so every program returns FALSE.
  virtual BOOL InitInstance() = 0;

 private:
  HINSTANCE instance = nullptr;
  Dialog* mainWindow = nullptr;
};

// A modal dialog made from a dialog template of the program's own resources.
//
// The dialog procedure hands every message after WM_INITDIALOG to WindowProc; a message that
// WindowProc leaves unhandled gets the dialog manager's default handling. WM_INITDIALOG goes
// to OnInitDialog, which binds the controls (BindControls) first. WM_DESTROY goes to
// OnDestroyWindow. IDOK and IDCANCEL end the modal run with their id.
//
// A dialog whose template does not make it visible at once and that OnInitDialog neither moves
// nor shows is centred over its owner (over the screen when it has none), once OnInitDialog
// has returned.
class Dialog {
 public:
  // `parent` null: the application's main window owns the dialog (when there is one), so that a
  // dialog opened from the main window is modal to it.
  explicit Dialog(int templateId, HWND parent = nullptr);
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog until it ends. The id that ended it (IDOK, IDCANCEL, or EndDialog's value);
  // -1 when the run met the quit message (the dialog manager puts that back in the queue) or
  // when the dialog could not be created.
  INT_PTR DoModal();

  // The dialog's window while it exists.
  HWND Handle() const { return window; }

 protected:
  // WM_INITDIALOG: binds the controls. The result: TRUE to let the dialog manager give the
  // focus to the first control, FALSE when the focus has been placed already.
  virtual BOOL OnInitDialog();
  // Binds the members that stand for controls to the dialog's controls; called by OnInitDialog.
  virtual void BindControls() {}
  // Every message after WM_INITDIALOG. True when handled; `result` is then its result.
  virtual bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // WM_DESTROY: the window is about to go.
  virtual void OnDestroyWindow() {}

  // The control `id` of the dialog (null when it has none).
  HWND Item(int id) const;
  // Centres the dialog over its owner, or over the work area of the screen when it has none
  // (or the owner is minimised or hidden), keeping the caption on the screen.
  void CenterWindow();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  int templateId;
  HWND parent;
  HWND window = nullptr;
};

}  // namespace pradex::win32
