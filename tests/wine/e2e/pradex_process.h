// Pradex.exe as a process of its own, and its windows as another process sees them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pradex::winetest {

class PradexProcess {
 public:
  PradexProcess() = default;
  // Ends a program that is still running.
  ~PradexProcess();
  PradexProcess(const PradexProcess&) = delete;
  PradexProcess& operator=(const PradexProcess&) = delete;

  // Starts `exe` (a DOS path) in its own folder, with this process's environment.
  bool Start(const std::string& exe);
  bool Running() const;
  // The program's top-level dialog with this caption, once it is visible; null after the time.
  HWND WaitForDialog(const char* caption, int timeoutMs) const;
  // True, with the exit code, once the program has ended within the time.
  bool WaitForExit(int timeoutMs, DWORD& exitCode);
  // Ends the program if it still runs, and lets go of it.
  void End();
  // Its visible top-level windows other than `main` (an error box, for one).
  std::vector<HWND> OtherWindows(HWND main) const;

 private:
  PROCESS_INFORMATION info{};
};

// The main window's controls, read and worked through window messages.
class MainWindowProbe {
 public:
  explicit MainWindowProbe(HWND dialog) : dialog(dialog) {}
  HWND Handle() const { return dialog; }
  HWND Item(int id) const { return GetDlgItem(dialog, id); }
  std::string Text(int id) const;
  bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
  // The list's whole text, with a "\r\n" for each line break.
  std::string ListText() const;
  // Refresh available, Stop not.
  bool Idle() const;
  // A click as the mouse gives it (BM_CLICK), handled when this returns.
  void ClickButton(int id) const;
  // A left click in the list on the first character of the line that holds exactly `line`;
  // false when the list has no such line. Posted, not sent: a modal box that the click might
  // open cannot hold this process up.
  bool ClickListLine(const std::string& line) const;

 private:
  HWND dialog;
};

// The text a list shows: "\r\n", the status, "\r\n\r\n", then each name and "\r\n".
std::string ListText(const std::string& status, std::initializer_list<std::string> names);

}  // namespace pradex::winetest
