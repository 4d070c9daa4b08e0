#include "platform/win32/win32_message_poster.h"

#include <windows.h>

namespace pradex {

bool Win32MessagePoster::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  // PostMessageA without a window posts to the calling thread's own queue and succeeds; here
  // that is a worker thread that never reads it, so the notification (and whatever its lParam
  // points to) would be lost while the caller believes it delivered.
  if (window == 0) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  return PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

}  // namespace pradex
