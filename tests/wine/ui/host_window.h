// A visible top-level window of the test thread that other windows can be children of.
#pragma once

#include <windows.h>

namespace pradex::win32 {

class HostWindow {
 public:
  // A popup window with a caption, at (x, y), `width` x `height` pixels, shown.
  HostWindow(int x, int y, int width, int height);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Handle() const { return window; }

 private:
  HWND window = nullptr;
};

}  // namespace pradex::win32
