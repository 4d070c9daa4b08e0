// The lookups of one search run (the address behind a port that must be asked of someone),
// each on a thread of the stage while the run goes on probing: at most kLookupsInFlight at
// once, and at most kLookupsPerGroup of one group (one server) at once, the rest queued in the
// order they came.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace pradex {

inline constexpr int kLookupsInFlight = 16;
inline constexpr int kLookupsPerGroup = 4;

class LookupStage {
 public:
  // Given the stop token of the run it serves, and the threads it may start.
  using ThreadStarter = std::function<std::thread(std::function<void()>)>;
  explicit LookupStage(std::stop_token runStop, int inFlight = kLookupsInFlight,
                       int perGroup = kLookupsPerGroup, ThreadStarter starter = {});
  // Cuts the lookups still running (a stop for them) and waits for every one: each ends within
  // its resolver's limit, and soon after a stop.
  ~LookupStage();
  LookupStage(const LookupStage&) = delete;
  LookupStage& operator=(const LookupStage&) = delete;

  using Task = std::function<void(std::stop_token)>;
  // Queues `task`; it runs once on a thread of the stage. An empty `group` belongs to no group.
  // False when no thread could be started to run it and none is running: then it never runs.
  bool Submit(const std::string& group, Task task);

 private:
  struct Queued {
    std::string group;
    Task task;
  };
  bool EligibleLocked(const std::string& group) const;
  void Serve(Queued first);

  std::stop_source cut;
  std::stop_callback<std::function<void()>> forward;
  const int inFlight;
  const int perGroup;
  ThreadStarter starter;
  std::mutex mutex;
  std::deque<Queued> queue;               // guarded by mutex
  std::map<std::string, int> groupCount;  // running per group; guarded by mutex
  int running = 0;                        // guarded by mutex
  std::vector<std::thread> threads;       // guarded by mutex
};

}  // namespace pradex
