#include "tests/wine/ui/host_window.h"

namespace pradex::win32 {

namespace {

constexpr const char* kHostClass = "PradexTestHost";

void RegisterHostClass() {
  static const bool registered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kHostClass;
    return RegisterClassA(&windowClass) != 0;
  }();
  (void)registered;
}

}  // namespace

HostWindow::HostWindow(int x, int y, int width, int height) {
  RegisterHostClass();
  window = CreateWindowExA(0, kHostClass, "Host", WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, width,
                           height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(window, SW_SHOWNOACTIVATE);
  UpdateWindow(window);
}

HostWindow::~HostWindow() {
  DestroyWindow(window);
}

}  // namespace pradex::win32
