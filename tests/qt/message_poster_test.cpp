// Posting the search engine's messages as Qt events from other threads.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <cstdint>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "ui/qt/qt_message_poster.h"

namespace pradex {
namespace {

// Records the search messages it receives, and on which thread.
class Recorder : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != SearchMessageEvent::EventType()) return QObject::event(event);
    const auto* message = static_cast<SearchMessageEvent*>(event);
    received.push_back({message->message, message->wParam, message->lParam});
    onOwnThread = onOwnThread && QThread::currentThread() == thread();
    return true;
  }
  struct Message {
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
  };
  std::vector<Message> received;
  bool onOwnThread = true;
};

TEST(QtMessagePoster, DeliversOnTheReceiversThreadInPostingOrderOfEachThread) {
  Recorder recorder;
  QtMessagePoster poster(&recorder);
  constexpr int kPerThread = 500;
  std::vector<std::thread> threads;
  for (std::uint32_t sender = 1; sender <= 3; ++sender) {
    threads.emplace_back([&poster, sender] {
      for (int i = 0; i < kPerThread; ++i) {
        EXPECT_TRUE(poster.Post(poster.Handle(), 0x8000 + sender, static_cast<std::uintptr_t>(i),
                                -static_cast<std::intptr_t>(i)));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_TRUE(recorder.received.empty()) << "delivered by the event loop only";
  QCoreApplication::sendPostedEvents(&recorder);

  ASSERT_EQ(recorder.received.size(), 3u * kPerThread);
  EXPECT_TRUE(recorder.onOwnThread);
  std::map<std::uint32_t, std::uintptr_t> next;
  for (const Recorder::Message& message : recorder.received) {
    EXPECT_EQ(message.wParam, next[message.message]++) << "sender " << message.message;
    EXPECT_EQ(message.lParam, -static_cast<std::intptr_t>(message.wParam));
  }
}

TEST(QtMessagePoster, RefusesOtherWindowsAndEverythingAfterDetach) {
  Recorder recorder;
  QtMessagePoster poster(&recorder);
  EXPECT_FALSE(poster.Post(poster.Handle() + 1, 0x8001, 0, 0));
  EXPECT_TRUE(poster.Post(poster.Handle(), 0x8001, 7, 0));
  poster.Detach();
  EXPECT_FALSE(poster.Post(poster.Handle(), 0x8001, 8, 0));
  QCoreApplication::sendPostedEvents(&recorder);
  ASSERT_EQ(recorder.received.size(), 1u);
  EXPECT_EQ(recorder.received[0].wParam, 7u);
}

}  // namespace
}  // namespace pradex
