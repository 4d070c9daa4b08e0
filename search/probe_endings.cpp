#include "search/device_search.h"

#include <optional>
#include <utility>

namespace pradex {

namespace {

using Clock = std::chrono::steady_clock;
using ProbeEnd = SearchTrace::ProbeEnd;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Reports of the HTTP client

void DeviceSearch::ProbeStatusCallback(HttpHandle /*handle*/, std::uintptr_t context,
                                       std::uint32_t status, const void* info,
                                       std::uint32_t infoLength) {
  if (context == 0) return;  // the session's own reports
  auto* probe = reinterpret_cast<ProbeRequest*>(context);
  DeviceSearch* owner = probe->search;
  if (!owner) return;
  const AsyncResult* result = (info != nullptr && infoLength >= sizeof(AsyncResult))
                                  ? static_cast<const AsyncResult*>(info)
                                  : nullptr;
  try {
    switch (status) {
      case kStatusHandleCreated:
        if (result) owner->OnHandleCreated(probe, static_cast<HttpHandle>(result->result));
        break;
      case kStatusRequestComplete:
        // A completion without its result cannot be judged; the time limit ends the probe.
        if (result) owner->OnRequestComplete(probe, result->error);
        break;
      case kStatusHandleClosing:
        owner->OnHandleClosing(probe);
        break;
      default:
        break;
    }
  } catch (...) {
    // Nothing may leave a callback of the client.
  }
}

void DeviceSearch::OnHandleCreated(ProbeRequest* probe, HttpHandle handle) {
  if (handle == 0) return;
  HttpHandle toClose = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    const HttpHandle known = probe->GetHandle();
    if (known == handle) return;  // reported twice: by a report and as OpenUrl's result
    if (known == 0) {
      probe->SetHandle(handle);
      // A probe that already ended (a stop, its time limit) still owns the handle: close it.
      if (!probe->IsActive()) toClose = TakeHandleToCloseLocked(probe);
    } else {
      toClose = handle;  // a second handle for one request is not kept
    }
  }
  if (toClose != 0) CloseRequest(toClose);
}

void DeviceSearch::OnRequestComplete(ProbeRequest* probe, std::uint32_t error) {
  HttpHandle handle = 0;
  std::uint64_t stopsBefore = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    // Read before the flag: a stop between the two is then seen by the flag test, and one
    // after it by the comparison in ReportCompletion.
    stopsBefore = StopsRequested();
    // With a stop requested the cut ends the probe; a probe that ended already stays ended.
    if (IsStopRequested() || !probe->IsActive()) return;
    handle = EndProbeLocked(probe);
  }
  const Completion completion = JudgeCompletion(error, handle);
  if (handle != 0) CloseRequest(handle);
  TraceProbe(ReportCompletion(probe, completion, stopsBefore));
}

DeviceSearch::Completion DeviceSearch::JudgeCompletion(std::uint32_t error, HttpHandle handle) {
  std::uint32_t status = 0;
  if (error != 0) return {ProbeEnd::kClientError, error};
  if (handle == 0 || !platform.http.QueryStatusCode(handle, &status)) {
    return {ProbeEnd::kStatusUnreadable, 0};
  }
  if (status != kStatusOk) return {ProbeEnd::kHttpStatus, status};
  return {ProbeEnd::kAnswered, kStatusOk};
}

SearchTrace::ProbeNote DeviceSearch::ReportCompletion(ProbeRequest* probe, Completion completion,
                                                      std::uint64_t stopsBefore) {
  std::lock_guard<std::recursive_mutex> lock(probeListLock);
  bool posted = false;
  // A stop while the status was read cut this probe (and a new run may have begun since):
  // nothing of it reaches the window or the results.
  if (StopsRequested() != stopsBefore) {
    // posted stays false
  } else if (completion.end == ProbeEnd::kAnswered) {
    if (RecordAnswer(probe->printer)) {
      posted = NotifyDeviceAnswered(probe);
    } else {
      // The name is listed already: the window still hears once of this counted probe, as a
      // failure, so that it lists no second link that would open the first device's page.
      posted = NotifyProbeFailed(probe);
      completion.end = ProbeEnd::kDuplicateName;
    }
  } else {
    posted = NotifyProbeFailed(probe);
  }
  if (!posted) completion = {ProbeEnd::kCutByStop, 0};
  return MakeProbeNote(*probe, completion.end, completion.code);
}

void DeviceSearch::OnHandleClosing(ProbeRequest* probe) {
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    probe->closingReported = true;
  }
  {
    std::lock_guard<std::mutex> lock(closeReportMutex);
    ++closeReportGeneration;
  }
  closeReportCv.notify_all();
}

// ---------------------------------------------------------------------------------------------
// Ending a probe: under probeListLock, exactly once, whichever way comes first

HttpHandle DeviceSearch::EndProbeLocked(ProbeRequest* probe) {
  probe->SetActive(false);
  WakeWatchdog(probe);
  if (probe->counted) AddPending(-1);
  return TakeHandleToCloseLocked(probe);
}

HttpHandle DeviceSearch::TakeHandleToCloseLocked(ProbeRequest* probe) {
  const HttpHandle handle = probe->GetHandle();
  if (handle == 0 || probe->handleClosed) return 0;
  probe->handleClosed = true;
  return handle;
}

void DeviceSearch::CloseRequest(HttpHandle handle) {
  try {
    platform.http.CloseHandle(handle);
  } catch (...) {
    // Called from time-limit threads and destruction: nothing may leave it.
  }
}

void DeviceSearch::WaitForCloseReports() {
  // A client may still report a closed request (a late completion, then "closing"); the
  // probes stay until it has, or until the wait runs out and removing the callback ends it.
  const Clock::time_point deadline = Clock::now() + timings.closeReportWait;
  std::unique_lock<std::mutex> lock(closeReportMutex);
  for (;;) {
    const std::uint64_t generation = closeReportGeneration;
    lock.unlock();
    bool waiting = false;
    {
      std::lock_guard<std::recursive_mutex> listGuard(probeListLock);
      for (const auto& probe : probes) {
        if (probe->handleClosed && !probe->closingReported) {
          waiting = true;
          break;
        }
      }
    }
    lock.lock();
    if (!waiting) return;
    if (!closeReportCv.wait_until(lock, deadline,
                                  [&] { return closeReportGeneration != generation; })) {
      return;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Trace

SearchTrace::ProbeNote DeviceSearch::MakeProbeNote(const ProbeRequest& probe, ProbeEnd end,
                                                   std::uint32_t code) const {
  SearchTrace::ProbeNote note;
  note.end = end;
  note.printerName = probe.printer.GetPrinterName();
  note.url = probe.printer.GetUrl();
  note.code = code;
  return note;
}

void DeviceSearch::TracePrinter(const SearchTrace::PrinterNote& note) {
  SearchTrace* observer = trace.load();
  if (!observer) return;
  try {
    observer->PrinterChecked(note);
  } catch (...) {
    // An observer's failure is not the search's.
  }
}

void DeviceSearch::TraceProbe(const SearchTrace::ProbeNote& note) {
  SearchTrace* observer = trace.load();
  if (!observer) return;
  try {
    observer->ProbeEnded(note);
  } catch (...) {
    // An observer's failure is not the search's.
  }
}

}  // namespace pradex
