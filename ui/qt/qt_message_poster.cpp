#include "ui/qt/qt_message_poster.h"

#include <QCoreApplication>

namespace pradex {

QEvent::Type SearchMessageEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QtMessagePoster::QtMessagePoster(QObject* receiver)
    : handle(reinterpret_cast<WindowHandle>(receiver)), receiver(receiver) {}

QtMessagePoster::~QtMessagePoster() {
  Detach();
}

void QtMessagePoster::Detach() {
  std::lock_guard lock(mutex);
  receiver = nullptr;
}

bool QtMessagePoster::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
  // Held across postEvent, so that Detach cannot return while a post to the receiver is still
  // under way.
  std::lock_guard lock(mutex);
  if (receiver == nullptr || window != handle) return false;
  // Qt takes the event and appends it to the receiver thread's queue under its own lock: the
  // events of all posting threads keep their posting order.
  QCoreApplication::postEvent(receiver, new SearchMessageEvent(message, wParam, lParam));
  return true;
}

}  // namespace pradex
