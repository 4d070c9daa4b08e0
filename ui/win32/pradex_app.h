// The Windows program's application object: the start-up order, the main window's modal run,
// and the application's own command (exit).
#pragma once

#include "ui/win32/framework.h"

namespace pradex::win32 {

// The application's exit command (ID_APP_EXIT): closes the main window and ends the process.
inline constexpr int kAppExitCommand = 57602;

class PradexApp : public Application {
 public:
  bool OnCommand(int commandId) override;

 protected:
  // Common controls, Rich Edit 2.0, Windows Sockets 1.1 (the program ends silently without
  // them), the user's locale, then the main window's modal run. Returns FALSE.
  BOOL InitInstance() override;
};

}  // namespace pradex::win32
