// An IPP client whose answers are scripted per URI; a question to a held URI waits until the
// test releases it, its deadline passes or it is stopped. Counts questions under way.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ipp_client.h"

namespace pradex {

class FakeIppClient : public IppClient {
 public:
  // Unscripted URIs take no connection.
  void Answer(const std::string& uri, IppAnswer answer, bool held = false) {
    std::lock_guard<std::mutex> lock(mutex);
    scripted[uri] = Script{std::move(answer), held};
  }
  void ReleaseAll() {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto& [uri, script] : scripted) script.held = false;
    changed.notify_all();
  }
  // Waits until `count` questions are under way at once.
  bool WaitForHeld(std::size_t count, std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, patience, [&] { return underWay == count; });
  }
  std::vector<std::string> Asked() const {
    std::lock_guard<std::mutex> lock(mutex);
    return asked;
  }
  std::size_t MostAtOnce() const {
    std::lock_guard<std::mutex> lock(mutex);
    return mostAtOnce;
  }

  IppAnswer GetPrinterAttributes(const std::string& uri, std::span<const std::string_view>,
                                 std::chrono::steady_clock::time_point deadline,
                                 std::stop_token stop) override {
    std::unique_lock<std::mutex> lock(mutex);
    asked.push_back(uri);
    mostAtOnce = std::max(mostAtOnce, ++underWay);
    changed.notify_all();
    const bool released = changed.wait_until(lock, stop, deadline, [&] {
      const auto it = scripted.find(uri);
      return it == scripted.end() || !it->second.held;
    });
    --underWay;
    changed.notify_all();
    if (stop.stop_requested()) return IppAnswer{IppAnswer::Status::kStopped, 0, {}};
    if (!released) return IppAnswer{IppAnswer::Status::kTimedOut, 0, {}};
    const auto it = scripted.find(uri);
    return it == scripted.end() ? IppAnswer{} : it->second.answer;
  }

 private:
  struct Script {
    IppAnswer answer;
    bool held = false;
  };
  mutable std::mutex mutex;
  std::condition_variable_any changed;
  std::map<std::string, Script> scripted;
  std::vector<std::string> asked;
  std::size_t underWay = 0;
  std::size_t mostAtOnce = 0;
};

}  // namespace pradex
