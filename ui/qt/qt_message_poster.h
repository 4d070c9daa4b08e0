// The search engine's notifications as Qt events: each message becomes a SearchMessageEvent
// posted to the window's event queue, so that the window handles them on its own thread, one at
// a time, in the order they were posted.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <mutex>

#include "platform/message_poster.h"

namespace pradex {

class SearchMessageEvent : public QEvent {
 public:
  // The event type, registered with Qt on first use.
  static QEvent::Type EventType();

  SearchMessageEvent(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)
      : QEvent(EventType()), message(message), wParam(wParam), lParam(lParam) {}

  const std::uint32_t message;
  const std::uintptr_t wParam;
  const std::intptr_t lParam;
};

// Posts to one receiver, whose handle is the receiver's address. Post may be called from any
// thread. Once Detach has returned (the receiver's owner calls it before the receiver goes), no
// post reaches the receiver any more; events already queued are removed by Qt when the receiver
// is destroyed.
class QtMessagePoster : public MessagePoster {
 public:
  explicit QtMessagePoster(QObject* receiver);
  ~QtMessagePoster() override;
  QtMessagePoster(const QtMessagePoster&) = delete;
  QtMessagePoster& operator=(const QtMessagePoster&) = delete;

  // The handle that names the receiver in Post.
  WindowHandle Handle() const { return handle; }
  void Detach();

  // False when `window` is not the receiver's handle or the receiver has been detached.
  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override;

 private:
  const WindowHandle handle;
  std::mutex mutex;
  QObject* receiver;  // guarded by mutex; null once detached
};

}  // namespace pradex
