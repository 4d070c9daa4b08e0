// A thread-safe first-in, first-out queue of posted messages, standing in for a window's message
// queue: for tests and for a console front end that handles the messages on its own thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/message_poster.h"

namespace pradex {

struct PostedMessage {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

class QueueMessagePoster : public MessagePoster {
 public:
  // Appends the message and wakes a waiting reader; never blocks for long, always true.
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override;

  // The oldest message, waiting at most `timeout` for one to arrive; nullopt on time-out.
  std::optional<PostedMessage> WaitForMessage(std::chrono::milliseconds timeout);
  // The oldest message if there is one.
  std::optional<PostedMessage> TryTake();
  // Every queued message, oldest first; the queue is empty afterwards.
  std::vector<PostedMessage> TakeAll();
  std::size_t Size() const;
  // Messages posted since construction.
  std::size_t PostCount() const;

 private:
  mutable std::mutex mutex;
  std::condition_variable arrived;
  std::deque<PostedMessage> queue;
  std::size_t postCount = 0;
};

}  // namespace pradex
