// Records the status reports of HttpClient requests: each request's context is a Recorder. For
// the tests of every HttpClient, real and fake.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/http_client.h"

namespace pradex::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Report {
  HttpHandle handle = 0;
  std::uint32_t status = 0;
  std::uintptr_t result = 0;
  std::uint32_t error = 0;
  std::thread::id thread;
  Clock::time_point time;
};

class Recorder {
 public:
  std::uintptr_t Context() { return reinterpret_cast<std::uintptr_t>(this); }

  // Notifies under the lock: a waiter may destroy the recorder as soon as it sees the report.
  void Add(const Report& report) {
    std::lock_guard lock(mutex);
    reports.push_back(report);
    changed.notify_all();
  }

  std::vector<Report> Reports() const {
    std::lock_guard lock(mutex);
    return reports;
  }

  std::vector<std::uint32_t> Statuses() const {
    std::vector<std::uint32_t> statuses;
    for (const Report& report : Reports()) statuses.push_back(report.status);
    return statuses;
  }

  // The first report with `status`, waiting at most `timeout` for it.
  bool WaitFor(std::uint32_t status, milliseconds timeout, Report* found = nullptr) const {
    std::unique_lock lock(mutex);
    const bool seen = changed.wait_for(lock, timeout, [&] { return Find(status) != nullptr; });
    if (seen && found) *found = *Find(status);
    return seen;
  }

  // The request handle that the 60 report carried (0 before it).
  HttpHandle Handle() const {
    std::lock_guard lock(mutex);
    const Report* created = Find(kStatusHandleCreated);
    return created ? static_cast<HttpHandle>(created->result) : 0;
  }

 private:
  const Report* Find(std::uint32_t status) const {
    for (const Report& report : reports)
      if (report.status == status) return &report;
    return nullptr;
  }

  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  std::vector<Report> reports;
};

// Reports of the session itself (context 0).
inline Recorder& SessionReports() {
  static Recorder recorder;
  return recorder;
}

inline void RecordingCallback(HttpHandle handle, std::uintptr_t context, std::uint32_t status,
                              const void* info, std::uint32_t length) {
  Report report;
  report.handle = handle;
  report.status = status;
  report.thread = std::this_thread::get_id();
  report.time = Clock::now();
  if (info && length >= sizeof(AsyncResult)) {
    const auto* result = static_cast<const AsyncResult*>(info);
    report.result = result->result;
    report.error = result->error;
  }
  Recorder& recorder = context ? *reinterpret_cast<Recorder*>(context) : SessionReports();
  recorder.Add(report);
}

}  // namespace pradex::testing
