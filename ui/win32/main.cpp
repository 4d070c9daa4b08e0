// The Windows program's entry point.
#include <windows.h>

#include "ui/win32/pradex_app.h"

namespace {

// The one application object, constructed before the entry point runs.
pradex::win32::PradexApp application;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return application.Run(instance);
}
