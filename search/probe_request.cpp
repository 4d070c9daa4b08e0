#include "search/device_search.h"

#include <optional>
#include <system_error>
#include <utility>

namespace pradex {

namespace {

using Clock = std::chrono::steady_clock;
using ProbeEnd = SearchTrace::ProbeEnd;

}  // namespace

// ---------------------------------------------------------------------------------------------
// ProbeRequest

ProbeRequest::ProbeRequest(const ProbeRequest& other)
    : requestHandle(other.GetHandle()),
      printer(other.printer),
      search(other.search),
      active(other.IsActive()) {}

ProbeRequest::~ProbeRequest() {
  if (watchdog.joinable()) watchdog.join();
}

bool ProbeRequest::IsActive() const {
  std::lock_guard<std::recursive_mutex> lock(activeLock);
  return active;
}

HttpHandle ProbeRequest::GetHandle() const {
  std::lock_guard<std::recursive_mutex> lock(handleLock);
  return requestHandle;
}

void ProbeRequest::SetActive(bool isActive) {
  std::lock_guard<std::recursive_mutex> lock(activeLock);
  active = isActive;
}

void ProbeRequest::SetHandle(HttpHandle handle) {
  std::lock_guard<std::recursive_mutex> lock(handleLock);
  requestHandle = handle;
}

// ---------------------------------------------------------------------------------------------
// Start

bool DeviceSearch::StartProbe(ProbeRequest* probe) {
  const std::string url = probe->printer.GetUrl();
  // The session stays as it is from arming the time limit until the request has gone out.
  std::unique_lock<std::recursive_mutex> sessionGuard(sessionLock);
  bool armed = false;
  {
    std::lock_guard<std::recursive_mutex> listGuard(probeListLock);
    if (!probe->IsActive()) return false;  // cut by a stop since it was registered
    armed = ArmWatchdog(probe);
    if (armed) {
      // Counted before the request goes out, as its reports may arrive before OpenUrl returns.
      probe->counted = true;
      AddPending(1);
    } else {
      // Without its time limit a probe could stay outstanding for ever: not started.
      probe->SetActive(false);
    }
  }
  if (!armed) {
    sessionGuard.unlock();
    TraceProbe(MakeProbeNote(*probe, ProbeEnd::kNotStarted, 0));
    return false;
  }

  std::uint32_t lastError = 0;
  HttpHandle handle = 0;
  bool failed = false;
  try {
    handle = platform.http.OpenUrl(session, url.c_str(), kProbeRequestFlags,
                                   reinterpret_cast<std::uintptr_t>(probe), &lastError);
  } catch (...) {
    failed = true;
  }
  sessionGuard.unlock();

  if (failed) return AbandonUnstarted(probe, 0);
  if (handle == 0 && lastError == static_cast<std::uint32_t>(kErrorIoPending)) return true;
  if (handle != 0) {
    // Completed at once: handled like a completion without error, so it counts and reports.
    OnHandleCreated(probe, handle);
    OnRequestComplete(probe, 0);
    return true;
  }
  return AbandonUnstarted(probe, lastError);
}

bool DeviceSearch::ArmWatchdog(ProbeRequest* probe) {
  {
    std::lock_guard<std::mutex> lock(probe->wakeMutex);
    probe->wakeSignalled = false;
  }
  const Clock::time_point deadline = Clock::now() + timings.probeLimit;
  try {
    probe->watchdog = std::thread(&DeviceSearch::ProbeWatchdog, this, probe, deadline);
  } catch (...) {
    return false;
  }
  return true;
}

bool DeviceSearch::AbandonUnstarted(ProbeRequest* probe, std::uint32_t error) {
  HttpHandle toClose = 0;
  std::optional<SearchTrace::ProbeNote> note;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    // Finished meanwhile (a report inside the call, or a stop): whatever was posted for it
    // belongs to a counted probe.
    if (!probe->IsActive()) return probe->counted;
    toClose = EndProbeLocked(probe);
    probe->counted = false;  // the run does not count it
    note = MakeProbeNote(*probe, ProbeEnd::kNotStarted, error);
  }
  if (toClose != 0) CloseRequest(toClose);
  TraceProbe(*note);
  return false;
}

// ---------------------------------------------------------------------------------------------
// The time limit

void DeviceSearch::ProbeWatchdog(ProbeRequest* probe, Clock::time_point deadline) {
  bool woken = false;
  {
    std::unique_lock<std::mutex> lock(probe->wakeMutex);
    woken = probe->wakeCv.wait_until(lock, deadline, [probe] { return probe->wakeSignalled; });
  }
  if (!woken) OnProbeTimedOut(probe);
  probe->watchdogEnded.store(true);
}

void DeviceSearch::OnProbeTimedOut(ProbeRequest* probe) {
  HttpHandle toClose = 0;
  std::optional<SearchTrace::ProbeNote> note;
  try {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    if (!probe->IsActive()) return;
    toClose = EndProbeLocked(probe);
    const bool posted = NotifyProbeFailed(probe);
    note = MakeProbeNote(*probe, posted ? ProbeEnd::kTimedOut : ProbeEnd::kCutByStop,
                         posted ? static_cast<std::uint32_t>(timings.probeLimit.count()) : 0);
  } catch (...) {
    // The probe has ended all the same.
  }
  if (toClose != 0) CloseRequest(toClose);
  if (note) TraceProbe(*note);
}

void DeviceSearch::WakeWatchdog(ProbeRequest* probe) {
  {
    std::lock_guard<std::mutex> lock(probe->wakeMutex);
    probe->wakeSignalled = true;
  }
  probe->wakeCv.notify_all();
}

void DeviceSearch::ReapWatchdogs() {
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    for (auto& probe : probes) {
      if (probe->watchdog.joinable() && probe->watchdogEnded.load()) {
        ended.push_back(std::move(probe->watchdog));
      }
    }
  }
  for (auto& thread : ended) thread.join();
}

void DeviceSearch::JoinWatchdogs() {
  std::vector<std::thread> watchdogs;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    for (auto& probe : probes) {
      WakeWatchdog(probe.get());
      if (probe->watchdog.joinable()) watchdogs.push_back(std::move(probe->watchdog));
    }
  }
  // A time-limit thread may still want probeListLock for its last step: joined outside it.
  for (auto& thread : watchdogs) thread.join();
}

}  // namespace pradex
