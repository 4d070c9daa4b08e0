#include "platform/memory/queue_message_poster.h"

#include <iterator>

namespace pradex {

bool QueueMessagePoster::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(PostedMessage{window, message, wParam, lParam});
    ++postCount_;
  }
  arrived_.notify_all();
  return true;
}

std::optional<PostedMessage> QueueMessagePoster::WaitForMessage(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
  PostedMessage message = queue_.front();
  queue_.pop_front();
  return message;
}

std::optional<PostedMessage> QueueMessagePoster::TryTake() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  PostedMessage message = queue_.front();
  queue_.pop_front();
  return message;
}

std::vector<PostedMessage> QueueMessagePoster::TakeAll() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<PostedMessage> messages(std::make_move_iterator(queue_.begin()),
                                      std::make_move_iterator(queue_.end()));
  queue_.clear();
  return messages;
}

std::size_t QueueMessagePoster::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

std::size_t QueueMessagePoster::PostCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return postCount_;
}

}  // namespace pradex
