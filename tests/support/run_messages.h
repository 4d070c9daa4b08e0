// The messages of search runs as the window would see them, read from the queue that stands in
// for the window: one reader for the unit and the integration tests of the search.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/memory/queue_message_poster.h"
#include "search/device_search.h"
#include "search/search_messages.h"

namespace pradex::testsupport {

// How long a test waits for something that is due: only reached when the code under test hangs,
// so it may be generous (a sanitizer build on a loaded machine is slow, never this slow).
inline constexpr std::chrono::milliseconds kPatience{10000};
// Every probe message the end of the run counted.
inline constexpr int kAllProbes = -1;

// One message as the window would handle it; the printer name is read at arrival, while the
// search still owns the probe.
struct Arrival {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;  // the probe of a probe message
  std::string printer;
  std::chrono::steady_clock::time_point time;
};

struct RunMessages {
  int finishedMessages = 0;
  std::uintptr_t started = 0;  // wParam of WM_SEARCH_FINISHED
  std::vector<std::string> answered;
  std::vector<std::string> failed;
  int factsMessages = 0;  // WM_SEARCH_DEVICE_FACTS, which may also come after the end
  std::vector<Arrival> all;
  int ProbeMessages() const { return static_cast<int>(answered.size() + failed.size()); }
};

// The next message for `window`, waiting at most `timeout`.
inline std::optional<Arrival> NextMessage(QueueMessagePoster& poster, WindowHandle window,
                                          std::chrono::milliseconds timeout) {
  const auto message = poster.WaitForMessage(timeout);
  if (!message) return std::nullopt;
  Arrival arrival;
  arrival.window = message->window;
  arrival.message = message->message;
  arrival.wParam = message->wParam;
  arrival.lParam = message->lParam;
  arrival.time = std::chrono::steady_clock::now();
  EXPECT_EQ(message->window, window);
  switch (message->message) {
    case WM_SEARCH_FINISHED:
      EXPECT_EQ(message->lParam, 0);
      break;
    case WM_SEARCH_DEVICE_ANSWERED:
    case WM_SEARCH_PROBE_FAILED:
      EXPECT_EQ(message->wParam, 0u);
      arrival.printer = reinterpret_cast<ProbeRequest*>(message->lParam)->GetPrinterName();
      break;
    case WM_SEARCH_DEVICE_FACTS:
      break;
    default:
      ADD_FAILURE() << "unexpected message " << message->message;
  }
  return arrival;
}

// Reads messages until WM_SEARCH_FINISHED and `probeMessages` probe messages have come (as many
// as the end of the run counted when kAllProbes), or until `patience` passes.
inline RunMessages CollectRun(QueueMessagePoster& poster, WindowHandle window,
                              int probeMessages = kAllProbes,
                              std::chrono::milliseconds patience = kPatience) {
  RunMessages run;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  for (;;) {
    const int due = probeMessages == kAllProbes ? static_cast<int>(run.started) : probeMessages;
    if (run.finishedMessages > 0 && run.ProbeMessages() >= due) break;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    const auto arrival =
        NextMessage(poster, window, std::chrono::ceil<std::chrono::milliseconds>(deadline - now));
    if (!arrival) break;
    run.all.push_back(*arrival);
    if (arrival->message == WM_SEARCH_FINISHED) {
      ++run.finishedMessages;
      run.started = arrival->wParam;
    } else if (arrival->message == WM_SEARCH_DEVICE_ANSWERED) {
      run.answered.push_back(arrival->printer);
    } else if (arrival->message == WM_SEARCH_PROBE_FAILED) {
      run.failed.push_back(arrival->printer);
    } else if (arrival->message == WM_SEARCH_DEVICE_FACTS) {
      ++run.factsMessages;
    }
  }
  return run;
}

}  // namespace pradex::testsupport
