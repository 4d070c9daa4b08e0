#include "search/device_search.h"

#include <new>
#include <utility>

#include "search/printer_plan.h"

namespace pradex {

namespace {

using ProbeEnd = SearchTrace::ProbeEnd;
using PrinterVerdict = SearchTrace::PrinterVerdict;

}  // namespace

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
  bool covered = false;
  if (!EnterRun(windowHandle, issued, covered)) return 0;

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
  LeaveRun();
  return started;
}

bool DeviceSearch::EnterRun(WindowHandle windowHandle, std::uint64_t issued, bool& covered) {
  std::unique_lock<std::mutex> lock(runMutex);
  ++runCallsInside;
  const std::uint64_t ticket = issued != 0 ? issued : ++ticketsIssued;
  runCv.wait(lock, [this] { return !runInProgress || closing; });
  if (closing) {
    PostFinished(windowHandle, 0);
    --runCallsInside;
    runCv.notify_all();
    return false;
  }
  runInProgress = true;
  // A run that a Stop covered before its turn came neither searches nor touches the flag or the
  // results, which may belong to a later run by then.
  covered = ticket <= stopCoversTicket;
  if (!covered) {
    std::lock_guard<std::recursive_mutex> stopGuard(stopLock);
    stopRequested = false;
  }
  return true;
}

void DeviceSearch::LeaveRun() {
  std::lock_guard<std::mutex> lock(runMutex);
  runInProgress = false;
  --runCallsInside;
  runCv.notify_all();
}

void DeviceSearch::RunSteps(WindowHandle windowHandle, int& started) {
  BeginRun(windowHandle);
  EnsureSession();
  const std::vector<PrinterInfo> printers = EnumerateLocalPrinters();
  // The prototype holds a PrinterRecord for the whole walk, which keeps the port list that the
  // first resolution reads cached until the last one.
  ProbeRequest prototype;
  const DiscoveryPlatform discovery{platform.spooler, platform.registry, platform.deviceIo};
  CheckStop();
  for (const PrinterInfo& entry : printers) {
    CheckStop();
    ReapWatchdogs();
    if (ProbePrinter(discovery, entry, prototype)) ++started;
  }
}

void DeviceSearch::BeginRun(WindowHandle windowHandle) {
  {
    std::lock_guard<std::recursive_mutex> lock(resultsLock);
    results.clear();
  }
  std::lock_guard<std::recursive_mutex> lock(windowLock);
  window = windowHandle;
  // pendingCount is not reset: it counts the probes still out, also those of an earlier run
  // that has not been stopped, so that never more than 3 are out at once.
}

void DeviceSearch::EnsureSession() {
  if (IsSessionMissing()) OpenSession();
  if (IsSessionMissing()) throw stop_thread(kStopByError);
}

std::vector<PrinterInfo> DeviceSearch::EnumerateLocalPrinters() {
  CheckStop();
  std::vector<PrinterInfo> printers;
  const long enumerated = platform.spooler.EnumPrinters(printers);
  CheckStop();
  if (enumerated != kErrorSuccess) throw stop_thread(kStopByError);
  if (printers.empty()) throw stop_thread(kStopByError);
  CheckStop();
  return printers;
}

bool DeviceSearch::ProbePrinter(const DiscoveryPlatform& discovery, const PrinterInfo& entry,
                                ProbeRequest& prototype) {
  SearchTrace::PrinterNote note = PlanPrinter(discovery, entry);
  if (note.verdict != PrinterVerdict::kProbing) {
    TracePrinter(note);
    return false;
  }
  ProbeRequest* probe = nullptr;
  if (FillPrototype(prototype, note)) {
    // Wait for a free slot before registering, so that a stop here leaves no probe behind.
    while (IsAtProbeLimit()) {
      CheckStop();
      WaitForFreeSlot();
      CheckStop();
    }
    probe = RegisterProbe(prototype);
  }
  if (!probe) {
    note.verdict = PrinterVerdict::kNotRegistered;
    TracePrinter(note);
    return false;
  }
  TracePrinter(note);
  return StartProbe(probe);
}

bool DeviceSearch::FillPrototype(ProbeRequest& prototype, const SearchTrace::PrinterNote& note) {
  try {
    prototype.printer.SetModelName(note.driverName);
    prototype.printer.SetPrinterName(note.printerName);
    prototype.printer.SetPortName(note.portName);
    prototype.printer.SetUrl(note.url);
  } catch (const std::invalid_argument&) {
    // An entry without a printer or port name cannot be listed; the others still can.
    return false;
  }
  prototype.search = this;
  prototype.SetActive(true);
  return true;
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
      const HttpHandle handle = EndProbeLocked(probe.get());
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

}  // namespace pradex
