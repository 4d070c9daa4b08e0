#include "ui/win32/pradex_app.h"

#include <winsock2.h>

#include <windows.h>

#include <commctrl.h>

#include <clocale>

#include "ui/win32/pradex_window.h"
#include "ui/win32/win32_platform.h"

namespace pradex::win32 {

namespace {

// The library that registers the Rich Edit 2.0 window classes ("RichEdit20A").
constexpr const char* kRichEdit2Library = "riched20.dll";
constexpr WORD kWinsockVersion = MAKEWORD(1, 1);

}  // namespace

BOOL PradexApp::InitInstance() {
  InitCommonControls();
  // Stays loaded for the life of the process: the main window's list is a Rich Edit 2.0 control.
  LoadLibraryA(kRichEdit2Library);

  // Windows Sockets 1.1 is a condition for starting; nothing of the program uses it itself.
  WSADATA sockets{};
  if (WSAStartup(kWinsockVersion, &sockets) != 0) return FALSE;
  if (sockets.wVersion != kWinsockVersion) {
    WSACleanup();
    return FALSE;
  }

  std::setlocale(LC_ALL, "");

  {
    // The adapters outlive the window, whose search engine uses them until it has gone.
    Win32Platform platform;
    PradexWindow window(platform);
    SetMainWindow(&window);
    // What ended the run does not matter: the program ends either way.
    window.DoModal();
    SetMainWindow(nullptr);
  }

  WSACleanup();
  return FALSE;
}

bool PradexApp::OnCommand(int commandId) {
  if (commandId != kAppExitCommand) return Application::OnCommand(commandId);
  if (const Dialog* mainWindow = MainWindow(); mainWindow != nullptr && mainWindow->Handle()) {
    SendMessageA(mainWindow->Handle(), WM_CLOSE, 0, 0);
  }
  ExitProcess(0);
}

}  // namespace pradex::win32
