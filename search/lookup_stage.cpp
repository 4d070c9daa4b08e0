#include "search/lookup_stage.h"

#include <utility>

namespace pradex {

LookupStage::LookupStage(std::stop_token runStop, int inFlightIn, int perGroupIn,
                         ThreadStarter starterIn)
    : forward(std::move(runStop), std::function<void()>([this] { cut.request_stop(); })),
      inFlight(inFlightIn < 1 ? 1 : inFlightIn),
      perGroup(perGroupIn < 1 ? 1 : perGroupIn),
      starter(std::move(starterIn)) {
  if (!starter) starter = [](std::function<void()> body) { return std::thread(std::move(body)); };
}

LookupStage::~LookupStage() {
  cut.request_stop();
  // Threads start only under the lock, and a thread of the stage never starts another, so once
  // the queue is drained the list is final.
  std::vector<std::thread> all;
  {
    std::lock_guard<std::mutex> lock(mutex);
    all.swap(threads);
  }
  for (std::thread& thread : all)
    if (thread.joinable()) thread.join();
  // A task queued behind a thread that has now ended still runs here, cut at once.
  std::deque<Queued> left;
  {
    std::lock_guard<std::mutex> lock(mutex);
    left.swap(queue);
  }
  for (Queued& queued : left) queued.task(cut.get_token());
}

bool LookupStage::EligibleLocked(const std::string& group) const {
  if (running >= inFlight) return false;
  if (group.empty()) return true;
  const auto it = groupCount.find(group);
  return it == groupCount.end() || it->second < perGroup;
}

bool LookupStage::Submit(const std::string& group, Task task) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!EligibleLocked(group)) {
    // A running thread of the stage takes it when one of its kind ends.
    queue.push_back(Queued{group, std::move(task)});
    return true;
  }
  ++running;
  if (!group.empty()) ++groupCount[group];
  try {
    threads.reserve(threads.size() + 1);
    Queued first{group, task};
    threads.push_back(
        starter([this, first = std::move(first)]() mutable { Serve(std::move(first)); }));
    return true;
  } catch (...) {
    --running;
    if (!group.empty()) --groupCount[group];
    if (running == 0) return false;
    // Another thread is at work and takes this one in its turn.
    queue.push_back(Queued{group, std::move(task)});
    return true;
  }
}

void LookupStage::Serve(Queued current) {
  for (;;) {
    current.task(cut.get_token());
    std::lock_guard<std::mutex> lock(mutex);
    --running;
    if (!current.group.empty()) --groupCount[current.group];
    auto next = queue.begin();
    while (next != queue.end() && !EligibleLocked(next->group)) ++next;
    if (next == queue.end()) return;
    current = std::move(*next);
    queue.erase(next);
    ++running;
    if (!current.group.empty()) ++groupCount[current.group];
  }
}

}  // namespace pradex
