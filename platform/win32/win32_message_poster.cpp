#include "platform/win32/win32_message_poster.h"

#include <windows.h>

namespace pradex {

bool Win32MessagePoster::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  return PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

}  // namespace pradex
