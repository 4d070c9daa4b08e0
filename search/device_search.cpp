#include "search/device_search.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <utility>

namespace pradex {

namespace {

using ProbeEnd = SearchTrace::ProbeEnd;
using PrinterVerdict = SearchTrace::PrinterVerdict;

// A host as two printers are compared by: no case, no trailing dot, no port.
std::string DeviceKey(std::string host) {
  if (host.empty()) return host;
  if (host.front() != '[')
    host = host.substr(0, host.find(':'));
  else
    host = host.substr(0, host.find(']') + 1);
  if (!host.empty() && host.back() == '.') host.pop_back();
  for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return host;
}

}  // namespace

// What the run knows of its lookups. The lookups' threads add what they found; the worker
// takes it from there.
struct DeviceSearch::RunLookups {
  struct Finished {
    PrinterPlan plan;
    bool offered = false;
  };
  std::mutex mutex;
  std::deque<Finished> finished;  // in the order they ended
  int running = 0;                // lookups not yet in `finished`, the offered list's included
  int installedRunning = 0;       // of those, the installed printers' own
  std::optional<std::vector<PrinterInfo>> offered;  // the offered list, once it came
  bool offeredTaken = false;
  bool walked = false;  // every installed printer has been planned

  // The run's stage, and the lookups planned but not yet handed to it: starting their threads
  // waits until the worker has started the probes it can start at once, or is about to wait.
  // Worker only.
  LookupStage* stage = nullptr;
  std::vector<std::function<void(LookupStage&)>> unsubmitted;

  // The installed printers' identities, which an offered printer must not repeat. Worker only.
  std::set<std::string> names;
  std::set<std::string> ports;
  std::set<std::string> hosts;

  void NoteInstalled(const PrinterInfo& entry) {
    if (entry.printerName) names.insert(*entry.printerName);
    if (entry.portName) ports.insert(*entry.portName);
  }
  void NoteAddress(const PortAddress& address) {
    if (address.outcome != PortAddress::Outcome::kFound) return;
    if (!address.host.empty()) hosts.insert(DeviceKey(address.host));
    if (!address.hostName.empty()) hosts.insert(DeviceKey(address.hostName));
  }
  bool Repeats(const PortAddress& address) const {
    if (address.outcome != PortAddress::Outcome::kFound) return false;
    return (!address.host.empty() && hosts.count(DeviceKey(address.host)) != 0) ||
           (!address.hostName.empty() && hosts.count(DeviceKey(address.hostName)) != 0);
  }
  bool HasWork() {
    std::lock_guard<std::mutex> lock(mutex);
    return !finished.empty() || running == 0 || OfferedDueLocked();
  }
  // An offered printer can be told from an installed one once every installed printer has its
  // address.
  bool OfferedDueLocked() const {
    return offered && !offeredTaken && walked && installedRunning == 0;
  }
};

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
    // No run comes for this ticket: the ones after it must not wait for it.
    {
      std::lock_guard<std::mutex> runLock(runMutex);
      givenUpTickets.insert(ticket);
      SkipGivenUpTicketsLocked();
    }
    runCv.notify_all();
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
  // Time-limit threads that have ended are joined at the end of every run, however it ended,
  // as well as at its start.
  ReapWatchdogs();
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
  // In ticket order: when two runs wait, the one issued first goes first.
  runCv.wait(lock, [&] { return closing || (!runInProgress && ticket == ticketsServed + 1); });
  if (ticket > ticketsServed) {
    if (closing) {
      givenUpTickets.insert(ticket);
    } else {
      ticketsServed = ticket;
    }
    SkipGivenUpTicketsLocked();
  }
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
    runStop = std::stop_source();
  }
  return true;
}

void DeviceSearch::SkipGivenUpTicketsLocked() {
  while (!givenUpTickets.empty() && *givenUpTickets.begin() <= ticketsServed + 1) {
    ticketsServed = std::max(ticketsServed, *givenUpTickets.begin());
    givenUpTickets.erase(givenUpTickets.begin());
  }
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
  platform.ports.Begin();
  const std::vector<PrinterInfo> printers = EnumerateLocalPrinters();
  // The prototype holds a PrinterRecord for the whole walk, which keeps the port list that the
  // first resolution reads cached until the last one.
  ProbeRequest prototype;
  CheckStop();
  RunLookups lookups;
  std::exception_ptr failure;
  {
    std::stop_token stop;
    {
      std::lock_guard<std::recursive_mutex> lock(stopLock);
      stop = runStop.get_token();
    }
    LookupStage stage(stop);
    lookups.stage = &stage;
    runLookups = &lookups;
    try {
      WalkPrinters(printers, lookups, prototype, started);
    } catch (...) {
      failure = std::current_exception();
    }
    runLookups = nullptr;
  }  // every lookup has ended here
  if (failure) {
    TraceUnfinished(lookups);
    std::rethrow_exception(failure);
  }
}

void DeviceSearch::WalkPrinters(const std::vector<PrinterInfo>& printers, RunLookups& lookups,
                                ProbeRequest& prototype, int& started) {
  if (platform.ports.OffersPrinters()) {
    {
      std::lock_guard<std::mutex> lock(lookups.mutex);
      ++lookups.running;
    }
    lookups.unsubmitted.push_back([this, &lookups](LookupStage& stage) {
      const bool queued = stage.Submit("", [this, &lookups](std::stop_token stop) {
        std::vector<PrinterInfo> offered;
        try {
          offered = platform.ports.OfferedPrinters(stop);
        } catch (...) {
          // Without the offered printers the installed ones are still searched.
        }
        {
          std::lock_guard<std::mutex> lock(lookups.mutex);
          lookups.offered = std::move(offered);
          --lookups.running;
        }
        WakeSlotWaiter();
      });
      if (queued) return;
      std::lock_guard<std::mutex> lock(lookups.mutex);
      --lookups.running;
    });
  }
  for (const PrinterInfo& entry : printers) {
    CheckStop();
    ReapWatchdogs();
    // Printers whose lookup ended have waited already; they go first.
    TakeFinishedLookups(lookups, prototype, started);
    lookups.NoteInstalled(entry);
    PrinterPlan plan = PlanPrinter(platform.ports, entry);
    if (plan.address.outcome == PortAddress::Outcome::kNeedsLookup) {
      StartLookup(std::move(plan), entry, false, lookups);
      continue;
    }
    lookups.NoteAddress(plan.address);
    if (ProbePrinter(std::move(plan.note), prototype)) ++started;
  }
  {
    std::lock_guard<std::mutex> lock(lookups.mutex);
    lookups.walked = true;
  }
  for (;;) {
    CheckStop();
    TakeFinishedLookups(lookups, prototype, started);
    {
      std::lock_guard<std::mutex> lock(lookups.mutex);
      if (lookups.running == 0 && lookups.finished.empty() &&
          (!lookups.offered || lookups.offeredTaken))
        return;
    }
    WaitForLookups(lookups);
  }
}

void DeviceSearch::TakeFinishedLookups(RunLookups& lookups, ProbeRequest& prototype, int& started) {
  for (;;) {
    CheckStop();
    std::optional<RunLookups::Finished> next;
    std::optional<std::vector<PrinterInfo>> offered;
    {
      std::lock_guard<std::mutex> lock(lookups.mutex);
      if (!lookups.finished.empty()) {
        next = std::move(lookups.finished.front());
        lookups.finished.pop_front();
      } else if (lookups.OfferedDueLocked()) {
        lookups.offeredTaken = true;
        offered = std::move(lookups.offered);
        lookups.offered = std::vector<PrinterInfo>();
      } else {
        return;
      }
    }
    if (next) {
      if (!next->offered) lookups.NoteAddress(next->plan.address);
      if (next->offered && lookups.Repeats(next->plan.address)) continue;
      if (ProbePrinter(std::move(next->plan.note), prototype)) ++started;
      continue;
    }
    for (const PrinterInfo& entry : *offered) {
      CheckStop();
      // The installed queue's name wins; its own device URI is the same device.
      if ((entry.printerName && lookups.names.count(*entry.printerName) != 0) ||
          (entry.portName && lookups.ports.count(*entry.portName) != 0))
        continue;
      lookups.names.insert(entry.printerName.value_or(""));
      PrinterPlan plan = PlanPrinter(platform.ports, entry);
      if (plan.address.outcome == PortAddress::Outcome::kNeedsLookup) {
        StartLookup(std::move(plan), entry, true, lookups);
        continue;
      }
      if (lookups.Repeats(plan.address)) continue;
      if (ProbePrinter(std::move(plan.note), prototype)) ++started;
    }
  }
}

void DeviceSearch::StartLookup(PrinterPlan plan, const PrinterInfo& entry, bool offered,
                               RunLookups& lookups) {
  {
    std::lock_guard<std::mutex> lock(lookups.mutex);
    ++lookups.running;
    if (!offered) ++lookups.installedRunning;
  }
  const std::string group = plan.address.lookupGroup;
  auto finish = [this, &lookups, offered](PrinterPlan done) {
    {
      std::lock_guard<std::mutex> lock(lookups.mutex);
      lookups.finished.push_back(RunLookups::Finished{std::move(done), offered});
      --lookups.running;
      if (!offered) --lookups.installedRunning;
    }
    WakeSlotWaiter();
  };
  auto task = [this, plan, entry, finish](std::stop_token stop) mutable {
    PortAddress address;
    try {
      address = platform.ports.Lookup(entry, stop);
    } catch (...) {
      address = PortAddress::NotFound(Phrase::Of("port.lookup-failed"));
    }
    if (address.outcome == PortAddress::Outcome::kNeedsLookup) address = PortAddress::NotFound();
    FinishPlan(plan, std::move(address));
    finish(std::move(plan));
  };
  lookups.unsubmitted.push_back([group, task, plan, finish](LookupStage& stage) mutable {
    if (stage.Submit(group, task)) return;
    FinishPlan(plan, PortAddress::NotFound(Phrase::Of("port.lookup-not-started")));
    finish(std::move(plan));
  });
}

void DeviceSearch::SubmitLookups() {
  if (!runLookups) return;
  std::vector<std::function<void(LookupStage&)>> submits;
  submits.swap(runLookups->unsubmitted);
  for (auto& submit : submits) submit(*runLookups->stage);
}

void DeviceSearch::WaitForLookups(RunLookups& lookups) {
  SubmitLookups();
  std::unique_lock<std::mutex> lock(slotMutex);
  slotCv.wait(lock, [&] { return IsStopRequested() || lookups.HasWork(); });
}

void DeviceSearch::TraceUnfinished(RunLookups& lookups) {
  std::deque<RunLookups::Finished> left;
  {
    std::lock_guard<std::mutex> lock(lookups.mutex);
    left.swap(lookups.finished);
  }
  for (RunLookups::Finished& item : left) {
    SearchTrace::PrinterNote& note = item.plan.note;
    // Looked up, but the run ended before its probe could start.
    if (note.verdict == PrinterVerdict::kProbing) note.verdict = PrinterVerdict::kNotRegistered;
    TracePrinter(note);
  }
}

void DeviceSearch::BeginRun(WindowHandle windowHandle) {
  {
    std::lock_guard<std::recursive_mutex> lock(resultsLock);
    results.clear();
  }
  // The earlier runs' probes go now: with their records gone the port list is read anew.
  ReleaseEndedProbes();
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
  std::stop_token stop;
  {
    std::lock_guard<std::recursive_mutex> lock(stopLock);
    stop = runStop.get_token();
  }
  const long enumerated = platform.spooler.EnumPrinters(printers, stop);
  CheckStop();
  if (enumerated != kErrorSuccess) throw stop_thread(kStopByError);
  if (printers.empty()) throw stop_thread(kStopByError);
  CheckStop();
  return printers;
}

bool DeviceSearch::ProbePrinter(SearchTrace::PrinterNote note, ProbeRequest& prototype) {
  if (note.verdict != PrinterVerdict::kProbing) {
    TracePrinter(note);
    return false;
  }
  ProbeRequest* probe = nullptr;
  if (FillPrototype(prototype, note)) {
    // Wait for a free slot before registering, so that a stop here leaves no probe behind.
    while (IsAtProbeLimit()) {
      CheckStop();
      SubmitLookups();
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
    prototype.printer.SetDevice(note.host, note.port, note.ippUri);
  } catch (const std::invalid_argument&) {
    // An entry without a printer or port name cannot be listed; the others still can.
    return false;
  }
  prototype.search = this;
  prototype.SetActive(true);
  return true;
}

void DeviceSearch::PostFinished(WindowHandle windowHandle, int started) {
  bool posted = false;
  try {
    posted = platform.poster.Post(windowHandle, WM_SEARCH_FINISHED,
                                  static_cast<std::uintptr_t>(started), 0);
  } catch (...) {
    // Posting never waits; a failure is counted below.
  }
  // A window that waits for this message can learn that it will never come.
  if (!posted) lostEndMessages.fetch_add(1);
}

// ---------------------------------------------------------------------------------------------
// Stop

void DeviceSearch::Stop() {
  std::stop_source cut;
  {
    std::lock_guard<std::mutex> runLock(runMutex);
    stopCoversTicket = ticketsIssued;
    std::lock_guard<std::recursive_mutex> stopGuard(stopLock);
    stopRequested = true;
    ++stopsRequested;
    cut = runStop;
  }
  // The run's lookups and its spooler call end too; outside the locks, since what they do on a
  // stop (shutting a socket, waking a poll) is theirs.
  cut.request_stop();
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
