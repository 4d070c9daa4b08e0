#include "platform/memory/queue_message_poster.h"

#include <iterator>

namespace pradex {

bool QueueMessagePoster::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    queue.push_back(PostedMessage{window, message, wParam, lParam});
    ++postCount;
  }
  arrived.notify_all();
  return true;
}

std::optional<PostedMessage> QueueMessagePoster::WaitForMessage(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex);
  if (!arrived.wait_for(lock, timeout, [this] { return !queue.empty(); })) return std::nullopt;
  PostedMessage message = queue.front();
  queue.pop_front();
  return message;
}

std::optional<PostedMessage> QueueMessagePoster::TryTake() {
  std::lock_guard<std::mutex> lock(mutex);
  if (queue.empty()) return std::nullopt;
  PostedMessage message = queue.front();
  queue.pop_front();
  return message;
}

std::vector<PostedMessage> QueueMessagePoster::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex);
  std::vector<PostedMessage> messages(std::make_move_iterator(queue.begin()),
                                      std::make_move_iterator(queue.end()));
  queue.clear();
  return messages;
}

std::size_t QueueMessagePoster::Size() const {
  std::lock_guard<std::mutex> lock(mutex);
  return queue.size();
}

std::size_t QueueMessagePoster::PostCount() const {
  std::lock_guard<std::mutex> lock(mutex);
  return postCount;
}

}  // namespace pradex
