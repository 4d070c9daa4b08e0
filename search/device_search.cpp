#include "search/device_search.h"

#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "discovery/port_cache.h"
#include "platform/url_host.h"

namespace pradex {

namespace {

using Clock = std::chrono::steady_clock;
using ProbeEnd = SearchTrace::ProbeEnd;
using PrinterVerdict = SearchTrace::PrinterVerdict;

}  // namespace

bool IsSafeUrlHost(const std::string& address) {
  // The grammar every address source shares. Browsers do not take zone ids in URLs, so a
  // link-local address with one cannot be listed as a link.
  const UrlHostKind kind = ClassifyUrlHostAndPort(address);
  return kind != UrlHostKind::kInvalid && kind != UrlHostKind::kIpv6WithZone;
}

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
// Worker entry

std::uint32_t SearchThreadEntry(void* params) {
  const auto* block = static_cast<const SearchThreadParams*>(params);
  if (block && block->search) block->search->Run(block->window);
  return 0;
}

struct DeviceSearch::Worker {
  SearchThreadParams params;
  std::thread thread;
  std::atomic<bool> done{false};
};

// ---------------------------------------------------------------------------------------------
// Life

DeviceSearch::DeviceSearch(const SearchPlatform& platformIn)
    : platform(platformIn), proxyGuard(platformIn.registry, platformIn.http) {
  OpenSession();  // a failure is retried by the next run
}

DeviceSearch::~DeviceSearch() {
  {
    std::lock_guard<std::mutex> lock(runMutex);
    closing = true;
  }
  runCv.notify_all();
  Stop();
  JoinWorkers();
  {
    // A Run entered by a thread of the caller's own still runs on this object.
    std::unique_lock<std::mutex> lock(runMutex);
    runCv.wait(lock, [this] { return runCallsInside == 0; });
  }
  // The worker may have started a request after the stop; cut what is still active.
  Stop();
  // A time-limit thread that took a request's handle just before the stop closes it before the
  // session goes, so that no handle is closed after its session.
  JoinWatchdogs();
  WaitForCloseReports();
  HttpHandle closedSession = 0;
  {
    std::lock_guard<std::recursive_mutex> lock(sessionLock);
    closedSession = session;
    session = 0;
  }
  if (closedSession != 0) {
    // Once the callback is removed no report runs any more, so the probes can go.
    platform.http.SetStatusCallback(closedSession, nullptr);
    platform.http.CloseHandle(closedSession);
  }
  ClearProbes();
  // The members follow; the proxy guard undoes this program's change after the session closed.
}

bool DeviceSearch::Start(WindowHandle windowHandle) {
  std::lock_guard<std::mutex> lock(workersMutex);
  for (auto it = workers.begin(); it != workers.end();) {
    if ((*it)->done.load()) {
      (*it)->thread.join();
      it = workers.erase(it);
    } else {
      ++it;
    }
  }
  std::uint64_t ticket = 0;
  {
    // The run's ticket is issued here, on the caller's thread, so that a Stop right after
    // Start covers this run even before its thread has begun.
    std::lock_guard<std::mutex> runLock(runMutex);
    if (closing) return false;
    ticket = ++ticketsIssued;
  }
  try {
    workers.reserve(workers.size() + 1);
    auto worker = std::make_unique<Worker>();
    worker->params = SearchThreadParams{this, windowHandle};
    Worker* raw = worker.get();
    worker->thread = std::thread([raw, ticket] {
      raw->params.search->RunWithTicket(raw->params.window, ticket);
      raw->done.store(true);
    });
    workers.push_back(std::move(worker));
    return true;
  } catch (...) {
    return false;
  }
}

void DeviceSearch::JoinWorkers() {
  std::vector<std::unique_ptr<Worker>> all;
  {
    std::lock_guard<std::mutex> lock(workersMutex);
    all.swap(workers);
  }
  for (auto& worker : all) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

void DeviceSearch::SetTrace(SearchTrace* observer) {
  trace.store(observer);
}

// ---------------------------------------------------------------------------------------------
// The run

int DeviceSearch::Run(WindowHandle windowHandle) {
  return RunWithTicket(windowHandle, 0);
}

int DeviceSearch::RunWithTicket(WindowHandle windowHandle, std::uint64_t issued) {
  // A run that a Stop covered before its turn came neither searches nor touches the flag or the
  // results, which may belong to a later run by then.
  bool covered = false;
  {
    std::unique_lock<std::mutex> lock(runMutex);
    ++runCallsInside;
    const std::uint64_t ticket = issued != 0 ? issued : ++ticketsIssued;
    runCv.wait(lock, [this] { return !runInProgress || closing; });
    if (closing) {
      PostFinished(windowHandle, 0);
      --runCallsInside;
      runCv.notify_all();
      return 0;
    }
    runInProgress = true;
    covered = ticket <= stopCoversTicket;
    if (!covered) {
      std::lock_guard<std::recursive_mutex> stopGuard(stopLock);
      stopRequested = false;
    }
  }

  int started = 0;
  try {
    if (!covered) RunSteps(windowHandle, started);
  } catch (const stop_thread&) {
    // Stopped by the user or by an error: the count so far is what the window gets.
  } catch (...) {
    // Out of memory and the like end the run the same way; the window still hears of it.
  }
  {
    // Every probe message is posted under the probe-list lock after a look at the stop flag;
    // passing through the lock here lets one that saw no stop yet finish posting first, so that
    // after a stop nothing of this run follows its end-of-run message.
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
  }
  PostFinished(windowHandle, started);

  std::lock_guard<std::mutex> lock(runMutex);
  runInProgress = false;
  --runCallsInside;
  runCv.notify_all();
  return started;
}

void DeviceSearch::RunSteps(WindowHandle windowHandle, int& started) {
  {
    std::lock_guard<std::recursive_mutex> lock(resultsLock);
    results.clear();
  }
  {
    std::lock_guard<std::recursive_mutex> lock(windowLock);
    window = windowHandle;
  }
  // pendingCount is not reset: it counts the probes still out, also those of an earlier run
  // that has not been stopped, so that never more than 3 are out at once.

  if (IsSessionMissing()) OpenSession();
  if (IsSessionMissing()) throw stop_thread(kStopByError);

  CheckStop();
  std::vector<PrinterInfo> printers;
  const long enumerated = platform.spooler.EnumPrinters(printers);
  CheckStop();
  if (enumerated != kErrorSuccess) throw stop_thread(kStopByError);
  if (printers.empty()) throw stop_thread(kStopByError);
  CheckStop();

  // The prototype holds a PrinterRecord for the whole walk, which keeps the port list that the
  // first resolution reads cached until the last one.
  ProbeRequest prototype;
  std::string address;
  const DiscoveryPlatform discovery{platform.spooler, platform.registry, platform.deviceIo};
  CheckStop();

  for (const PrinterInfo& entry : printers) {
    CheckStop();
    ReapWatchdogs();

    SearchTrace::PrinterNote note;
    note.printerName = entry.printerName.value_or("");
    note.driverName = entry.driverName.value_or("");
    note.portName = entry.portName.value_or("");

    if (!IsMakerModel(note.driverName)) {
      note.verdict = PrinterVerdict::kNotMaker;
      TracePrinter(note);
      continue;
    }
    address.clear();
    if (!ResolvePortAddress(discovery, entry, address)) {
      note.verdict = PrinterVerdict::kPortNotResolved;
      TracePrinter(note);
      continue;
    }
    note.address = address;
    // An address that would break out of the host part of the URL is no address.
    if (!IsSafeUrlHost(address)) {
      note.verdict = ClassifyUrlHostAndPort(address) == UrlHostKind::kIpv6WithZone
                         ? PrinterVerdict::kZoneIdAddress
                         : PrinterVerdict::kUnsafeAddress;
      TracePrinter(note);
      continue;
    }
    // BrimLine first: a name of both families gets the BrimLine page.
    if (IsBrimLineModel(note.driverName)) {
      note.url = "http://" + address + kBrimLineUrlPath;
    } else if (IsGlowMarkModel(note.driverName)) {
      note.url = "http://" + address + kGlowMarkUrlPath;
    } else {
      note.verdict = PrinterVerdict::kNeitherFamily;
      TracePrinter(note);
      continue;
    }

    try {
      prototype.printer.SetModelName(note.driverName);
      prototype.printer.SetPrinterName(note.printerName);
      prototype.printer.SetPortName(note.portName);
      prototype.printer.SetUrl(note.url);
    } catch (const std::invalid_argument&) {
      // An entry without a printer or port name cannot be listed; the others still can.
      note.verdict = PrinterVerdict::kNotRegistered;
      TracePrinter(note);
      continue;
    }
    prototype.search = this;
    prototype.SetActive(true);

    // Wait for a free slot before registering, so that a stop here leaves no probe behind.
    while (IsAtProbeLimit()) {
      CheckStop();
      WaitForFreeSlot();
      CheckStop();
    }
    ProbeRequest* probe = RegisterProbe(prototype);
    if (!probe) {
      note.verdict = PrinterVerdict::kNotRegistered;
      TracePrinter(note);
      continue;
    }
    note.verdict = PrinterVerdict::kProbing;
    TracePrinter(note);
    if (StartProbe(probe)) ++started;
  }
}

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
    probe->SetActive(false);
    WakeWatchdog(probe);
    if (probe->counted) {
      probe->counted = false;
      AddPending(-1);
    }
    toClose = TakeHandleToClose(probe);
    note = MakeProbeNote(*probe, ProbeEnd::kNotStarted, error);
  }
  if (toClose != 0) CloseRequest(toClose);
  TraceProbe(*note);
  return false;
}

void DeviceSearch::PostFinished(WindowHandle windowHandle, int started) {
  try {
    platform.poster.Post(windowHandle, WM_SEARCH_FINISHED, static_cast<std::uintptr_t>(started), 0);
  } catch (...) {
    // Posting never waits and has nothing to report.
  }
}

// ---------------------------------------------------------------------------------------------
// Stop

void DeviceSearch::Stop() {
  {
    std::lock_guard<std::mutex> runLock(runMutex);
    stopCoversTicket = ticketsIssued;
    std::lock_guard<std::recursive_mutex> stopGuard(stopLock);
    stopRequested = true;
    ++stopsRequested;
  }
  WakeSlotWaiter();

  std::vector<HttpHandle> toClose;
  std::vector<SearchTrace::ProbeNote> notes;
  const bool tracing = trace.load() != nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    for (auto& probe : probes) {
      if (!probe->IsActive()) continue;
      probe->SetActive(false);
      WakeWatchdog(probe.get());
      if (probe->counted) AddPending(-1);
      const HttpHandle handle = TakeHandleToClose(probe.get());
      if (handle != 0) toClose.push_back(handle);
      if (tracing) notes.push_back(MakeProbeNote(*probe, ProbeEnd::kCutByStop, 0));
    }
  }
  // Closed outside the lock: a client may wait in CloseHandle for a report that is itself
  // waiting for the lock.
  for (const HttpHandle handle : toClose) CloseRequest(handle);
  for (const auto& note : notes) TraceProbe(note);
}

bool DeviceSearch::CheckStop() {
  if (IsStopRequested()) throw stop_thread(kStopFromUser);
  return false;
}

// ---------------------------------------------------------------------------------------------
// Results and notifications

bool DeviceSearch::RecordAnswer(const PrinterRecord& record) {
  if (IsStopRequested()) return false;
  std::lock_guard<std::recursive_mutex> lock(resultsLock);
  return results.emplace(record.GetPrinterName(), record).second;
}

ProbeRequest* DeviceSearch::RegisterProbe(const ProbeRequest& prototype) {
  if (IsStopRequested()) return nullptr;
  try {
    auto probe = std::make_unique<ProbeRequest>(prototype);
    probe->search = this;
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    // Asked again under the lock: Stop cuts what is in the list once its flag is set.
    if (IsStopRequested()) return nullptr;
    probes.push_back(std::move(probe));
    return probes.back().get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::string DeviceSearch::LookupDeviceUrl(std::string printerName) {
  std::lock_guard<std::recursive_mutex> lock(resultsLock);
  const auto it = results.find(printerName);
  return it == results.end() ? std::string() : it->second.GetUrl();
}

DeviceSearch::ResultMap::const_iterator DeviceSearch::ResultsBegin() const {
  return results.cbegin();
}

DeviceSearch::ResultMap::const_iterator DeviceSearch::ResultsEnd() const {
  return results.cend();
}

WindowHandle DeviceSearch::CurrentWindow() {
  std::lock_guard<std::recursive_mutex> lock(windowLock);
  return window;
}

std::uint64_t DeviceSearch::StopsRequested() {
  std::lock_guard<std::recursive_mutex> lock(stopLock);
  return stopsRequested;
}

bool DeviceSearch::NotifyProbeFailed(ProbeRequest* probe) {
  if (IsStopRequested()) return false;
  platform.poster.Post(CurrentWindow(), WM_SEARCH_PROBE_FAILED, 0,
                       reinterpret_cast<std::intptr_t>(probe));
  return true;
}

bool DeviceSearch::NotifyDeviceAnswered(ProbeRequest* probe) {
  if (IsStopRequested()) return false;
  platform.poster.Post(CurrentWindow(), WM_SEARCH_DEVICE_ANSWERED, 0,
                       reinterpret_cast<std::intptr_t>(probe));
  return true;
}

// ---------------------------------------------------------------------------------------------
// Small state

bool DeviceSearch::OpenSession() {
  std::lock_guard<std::recursive_mutex> lock(sessionLock);
  if (session != 0) return true;
  const HttpHandle opened =
      platform.http.Open(kSearchAgent, kInternetOpenTypePreconfig, kInternetFlagAsync);
  if (opened == 0) return false;
  const std::uint32_t connectTimeout = kConnectTimeoutMs;
  platform.http.SetOption(opened, kInternetOptionConnectTimeout, &connectTimeout,
                          sizeof(connectTimeout));
  platform.http.SetStatusCallback(opened, &DeviceSearch::ProbeStatusCallback);
  session = opened;
  return true;
}

void DeviceSearch::ClearProbes() {
  JoinWatchdogs();
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    probes.clear();
    probes.shrink_to_fit();
  }
  std::lock_guard<std::recursive_mutex> lock(resultsLock);
  results.clear();
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

void DeviceSearch::AddPending(int delta) {
  {
    std::lock_guard<std::recursive_mutex> lock(pendingLock);
    pendingCount += delta;
  }
  if (delta < 0) WakeSlotWaiter();
}

int DeviceSearch::GetPendingCount() {
  std::lock_guard<std::recursive_mutex> lock(pendingLock);
  return pendingCount;
}

bool DeviceSearch::IsSessionMissing() {
  std::lock_guard<std::recursive_mutex> lock(sessionLock);
  return session == 0;
}

bool DeviceSearch::IsAtProbeLimit() {
  std::lock_guard<std::recursive_mutex> lock(pendingLock);
  return pendingCount >= kMaxOutstandingProbes;
}

bool DeviceSearch::IsStopRequested() {
  std::lock_guard<std::recursive_mutex> lock(stopLock);
  return stopRequested;
}

void DeviceSearch::WaitForFreeSlot() {
  std::unique_lock<std::mutex> lock(slotMutex);
  slotCv.wait_for(lock, timings.slotWait,
                  [this] { return !IsAtProbeLimit() || IsStopRequested(); });
}

void DeviceSearch::WakeSlotWaiter() {
  {
    // Taken and released so that a waiter between its test and its sleep cannot miss this.
    std::lock_guard<std::mutex> lock(slotMutex);
  }
  slotCv.notify_all();
}

// ---------------------------------------------------------------------------------------------
// Probe ends

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

HttpHandle DeviceSearch::TakeHandleToClose(ProbeRequest* probe) {
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

void DeviceSearch::WakeWatchdog(ProbeRequest* probe) {
  {
    std::lock_guard<std::mutex> lock(probe->wakeMutex);
    probe->wakeSignalled = true;
  }
  probe->wakeCv.notify_all();
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
      if (!probe->IsActive()) toClose = TakeHandleToClose(probe);
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
    // after it by the comparison below.
    stopsBefore = StopsRequested();
    // With a stop requested the cut ends the probe; a probe that ended already stays ended.
    if (IsStopRequested() || !probe->IsActive()) return;
    probe->SetActive(false);
    WakeWatchdog(probe);
    if (probe->counted) AddPending(-1);
    handle = TakeHandleToClose(probe);
  }

  ProbeEnd end = ProbeEnd::kAnswered;
  std::uint32_t code = 0;
  std::uint32_t status = 0;
  if (error != 0) {
    end = ProbeEnd::kClientError;
    code = error;
  } else if (handle == 0 || !platform.http.QueryStatusCode(handle, &status)) {
    end = ProbeEnd::kStatusUnreadable;
  } else if (status != kStatusOk) {
    end = ProbeEnd::kHttpStatus;
    code = status;
  } else {
    code = kStatusOk;
  }
  if (handle != 0) CloseRequest(handle);

  SearchTrace::ProbeNote note;
  {
    std::lock_guard<std::recursive_mutex> lock(probeListLock);
    bool posted = false;
    // A stop while the status was read cut this probe (and a new run may have begun since):
    // nothing of it reaches the window or the results.
    if (StopsRequested() != stopsBefore) {
      // posted stays false
    } else if (end == ProbeEnd::kAnswered) {
      if (RecordAnswer(probe->printer)) {
        posted = NotifyDeviceAnswered(probe);
      } else {
        // The name is listed already: the window still hears once of this counted probe, as a
        // failure, so that it lists no second link that would open the first device's page.
        posted = NotifyProbeFailed(probe);
        end = ProbeEnd::kDuplicateName;
      }
    } else {
      posted = NotifyProbeFailed(probe);
    }
    if (!posted) {
      end = ProbeEnd::kCutByStop;
      code = 0;
    }
    note = MakeProbeNote(*probe, end, code);
  }
  TraceProbe(note);
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
    probe->SetActive(false);
    if (probe->counted) AddPending(-1);
    toClose = TakeHandleToClose(probe);
    const bool posted = NotifyProbeFailed(probe);
    note = MakeProbeNote(*probe, posted ? ProbeEnd::kTimedOut : ProbeEnd::kCutByStop,
                         posted ? static_cast<std::uint32_t>(timings.probeLimit.count()) : 0);
  } catch (...) {
    // The probe has ended all the same.
  }
  if (toClose != 0) CloseRequest(toClose);
  if (note) TraceProbe(*note);
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
