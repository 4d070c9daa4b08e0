// Posting notifications to the window (PostMessageA): asynchronous, never blocking, and
// delivered on the window's thread in posting order per sending thread.
#pragma once

#include <cstdint>

namespace pradex {

using WindowHandle = std::uintptr_t;

inline constexpr std::uint32_t kWmApp = 0x8000;

class MessagePoster {
 public:
  virtual ~MessagePoster() = default;
  virtual bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                    std::intptr_t lParam) = 0;
};

}  // namespace pradex
