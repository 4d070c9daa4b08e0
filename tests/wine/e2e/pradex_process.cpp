#include "tests/wine/e2e/pradex_process.h"

#include <richedit.h>

#include <vector>

#include "tests/wine/wine_test_support.h"
#include "ui/dialog_view.h"

namespace pradex::winetest {

namespace {

struct DialogSearch {
  DWORD processId;
  const char* caption;
  HWND found;
};

struct WindowsOf {
  DWORD processId;
  HWND main;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowsOf*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId == search->processId && window != search->main && IsWindowVisible(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<DialogSearch*>(parameter);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  char className[16] = {};
  GetClassNameA(window, className, sizeof(className));
  if (processId == search->processId && std::string(className) == "#32770" &&
      WindowText(window) == search->caption && IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

PradexProcess::~PradexProcess() {
  End();
}

void PradexProcess::End() {
  if (info.hProcess == nullptr) return;
  if (Running()) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, 10000);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  info = PROCESS_INFORMATION{};
}

bool PradexProcess::Start(const std::string& exe) {
  const std::string folder = exe.substr(0, exe.find_last_of('\\'));
  std::string commandLine = "\"" + exe + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  return CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &info) != FALSE;
}

bool PradexProcess::Running() const {
  return info.hProcess != nullptr && WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
}

HWND PradexProcess::WaitForDialog(const char* caption, int timeoutMs) const {
  DialogSearch search{info.dwProcessId, caption, nullptr};
  WaitFor(
      [&] {
        EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeoutMs);
  return search.found;
}

std::vector<HWND> PradexProcess::OtherWindows(HWND main) const {
  WindowsOf search{info.dwProcessId, main, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool PradexProcess::WaitForExit(int timeoutMs, DWORD& exitCode) {
  if (info.hProcess == nullptr) return false;
  if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
    return false;
  }
  return GetExitCodeProcess(info.hProcess, &exitCode) != FALSE;
}

std::string MainWindowProbe::Text(int id) const {
  return WindowText(Item(id));
}

std::string MainWindowProbe::ListText() const {
  return WindowText(Item(kDeviceListId));
}

bool MainWindowProbe::Idle() const {
  return !Enabled(kStopButtonId) && Enabled(kRefreshButtonId);
}

void MainWindowProbe::ClickButton(int id) const {
  SendMessageA(Item(id), BM_CLICK, 0, 0);
}

bool MainWindowProbe::ClickListLine(const std::string& line) const {
  const std::string text = ListText();
  const std::size_t at = text.find("\r\n" + line + "\r\n");
  if (at == std::string::npos) return false;
  // The control counts each line break as one position (and every character of the ANSI code
  // page as one).
  const std::size_t start = at + 2;
  long position = 0;
  for (std::size_t i = 0; i < start; ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) ++position;
  }
  // Past the first character, so that the point lies well inside the name.
  const LRESULT point = SendMessageA(Item(kDeviceListId), EM_POSFROMCHAR, position + 1, 0);
  const int x = static_cast<short>(LOWORD(point));
  const int y = static_cast<short>(HIWORD(point)) + 4;
  PostMessageA(Item(kDeviceListId), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  PostMessageA(Item(kDeviceListId), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
  return true;
}

std::string ListText(const std::string& status, std::initializer_list<std::string> names) {
  std::string text = "\r\n" + status + "\r\n\r\n";
  for (const std::string& name : names) text += name + "\r\n";
  return text;
}

}  // namespace pradex::winetest
