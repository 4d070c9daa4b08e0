// Window notifications over PostMessageA. Without a window (0) nothing is posted and Post
// fails, where PostMessageA would post to the calling thread.
#pragma once

#include "platform/message_poster.h"

namespace pradex {

class Win32MessagePoster : public MessagePoster {
 public:
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override;
};

}  // namespace pradex
