// The device search: walks the spooler's printers, probes each device of the two printer
// families with an asynchronous HTTP GET, and tells the window through posted messages which
// devices answered.
//
// Protocol seen by the window (search/search_messages.h), per run:
//  - exactly one WM_SEARCH_FINISHED, wParam = the number of probes the run counted, posted by
//    the worker after every counted probe has been started, whatever ends the run (a stop, an
//    error, an exception);
//  - for every counted probe exactly one WM_SEARCH_DEVICE_ANSWERED or WM_SEARCH_PROBE_FAILED,
//    unless a stop intervenes; none for probes that were not counted;
//  - no per-probe message is posted once Stop has returned (until the next run).
// Runs on one object are serialised and served in the order of their tickets (issued by Start,
// or on entering Run), so the WM_SEARCH_FINISHED messages arrive in the order of the runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "discovery/printer_record.h"
#include "platform/http_client.h"
#include "platform/message_poster.h"
#include "platform/spooler.h"
#include "search/lookup_stage.h"
#include "search/printer_plan.h"
#include "search/proxy_settings_guard.h"
#include "search/search_messages.h"
#include "search/search_platform.h"
#include "search/search_trace.h"

namespace pradex {

inline constexpr const char* kSearchAgent = "InetSearch";
// INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT
inline constexpr std::uint32_t kProbeRequestFlags =
    kInternetFlagNoCacheWrite | kInternetFlagNoAutoRedirect;
static_assert(kProbeRequestFlags == 0x04200000);
inline constexpr std::uint32_t kConnectTimeoutMs = 7000;
inline constexpr std::uint32_t kProbeTimeLimitMs = 7000;  // per probe, from start to completion
inline constexpr std::uint32_t kSlotWaitMs = 1000;        // longest wait for a free probe slot
inline constexpr int kMaxOutstandingProbes = 3;
inline constexpr std::uint32_t kStatusOk = 200;
inline constexpr const char* kStopByError = "Stop requested by error";
inline constexpr const char* kStopFromUser = "Stop requested from user";

// Ends a run: "Stop requested by error" (the run cannot go on) or "Stop requested from user".
class stop_thread : public std::runtime_error {
 public:
  explicit stop_thread(const std::string& message) : std::runtime_error(message) {}
};

class DeviceSearch;

// One probe of one device. Registered probes belong to their DeviceSearch. A probe stays valid
// until its run and everything about it have ended and the next run of the object begins (or
// the object goes), so the pointer carried by a message stays readable while the window
// handles it: the window starts the next run only after it has handled the last one's messages.
class ProbeRequest {
 public:
  ProbeRequest() = default;
  // Copies the request handle, the printer record, the owner and the active flag.
  ProbeRequest(const ProbeRequest& other);
  ProbeRequest& operator=(const ProbeRequest&) = delete;
  ~ProbeRequest();

  bool IsActive() const;
  HttpHandle GetHandle() const;
  void SetActive(bool isActive);
  void SetHandle(HttpHandle handle);

  // Fixed once the probe is registered; safe to read from any thread.
  const PrinterRecord& GetPrinter() const { return printer; }
  std::string GetPrinterName() const { return printer.GetPrinterName(); }
  DeviceSearch* GetSearch() const { return search; }

 private:
  friend class DeviceSearch;

  HttpHandle requestHandle = 0;  // guarded by handleLock
  PrinterRecord printer;
  DeviceSearch* search = nullptr;
  bool active = false;  // guarded by activeLock; changed only under the owner's probeListLock
  mutable std::recursive_mutex handleLock;
  mutable std::recursive_mutex activeLock;

  // The owner's bookkeeping, guarded by its probeListLock.
  bool counted = false;          // in the run's count and in pendingCount
  bool requestIssued = false;    // a request may exist for it: OpenUrl was called and not refused
  int reporting = 0;             // completions between ending the probe and reporting it
  bool handleClosed = false;     // this program has closed requestHandle
  bool closingReported = false;  // the client reported the handle closing

  // The time limit: a thread per probe that waits on the probe's own wake-up.
  std::mutex wakeMutex;
  std::condition_variable wakeCv;
  bool wakeSignalled = false;  // guarded by wakeMutex
  std::thread watchdog;        // moved and joined under the owner's probeListLock
  std::atomic<bool> watchdogEnded{false};
};

// The block a worker thread is started with.
struct SearchThreadParams {
  DeviceSearch* search = nullptr;
  WindowHandle window = 0;
};

// Thread entry for a worker: runs `params->search->Run(params->window)`; returns 0.
std::uint32_t SearchThreadEntry(void* params);

class DeviceSearchTestHook;

class DeviceSearch {
 public:
  using ResultMap = std::map<std::string, PrinterRecord>;

  // Reads the user's proxy bypass list and opens the HTTP session; a session that cannot be
  // opened is tried again by the next run. `platform` must outlive the object.
  explicit DeviceSearch(const SearchPlatform& platform);
  // Stops the search, waits for a Run in progress (and for workers started by Start) to
  // return, closes every probe's request, removes the status callback, closes the session,
  // waits for every time-limit thread, frees the probes, and undoes this program's own change
  // to the proxy bypass list. After it returns nothing touches the object. A thread that calls
  // Run itself must have entered Run before destruction begins (or use Start).
  ~DeviceSearch();
  DeviceSearch(const DeviceSearch&) = delete;
  DeviceSearch& operator=(const DeviceSearch&) = delete;

  // One whole search on the calling (worker) thread; returns the number of probes counted.
  // Posts WM_SEARCH_FINISHED to `window` in every outcome.
  int Run(WindowHandle window);
  // Sets the stop flag (covering a Run that is waiting for its turn too), wakes a worker
  // waiting for a free slot, and cuts every active probe: its request is closed and no
  // message is posted for it. Returns at once; does not wait for the worker.
  void Stop();
  // Throws stop_thread("Stop requested from user") when a stop was requested; else false.
  bool CheckStop();
  // Adds the record under its printer name unless a stop was requested or the name is listed
  // already; true exactly when the map grew.
  bool RecordAnswer(const PrinterRecord& record);
  // A registered copy of `prototype` owned by this object, or null after a stop request or
  // when memory runs out.
  ProbeRequest* RegisterProbe(const ProbeRequest& prototype);
  // The device URL of the printer of that name that answered in the current (or last) run;
  // "" when there is none.
  std::string LookupDeviceUrl(std::string printerName);
  // Iteration over the results in name order; not guarded: only while no run is in progress.
  ResultMap::const_iterator ResultsBegin() const;
  ResultMap::const_iterator ResultsEnd() const;
  // Post WM_SEARCH_PROBE_FAILED / WM_SEARCH_DEVICE_ANSWERED for `probe` unless a stop was
  // requested; true when posted.
  bool NotifyProbeFailed(ProbeRequest* probe);
  bool NotifyDeviceAnswered(ProbeRequest* probe);
  // Opens the session (agent "InetSearch", preconfigured proxy, asynchronous) with a 7000 ms
  // connect time-out and the status callback; true when a session exists afterwards.
  bool OpenSession();
  // pendingCount += delta; a fall wakes a worker waiting for a free slot.
  void AddPending(int delta);
  bool IsSessionMissing();
  // True while 3 counted probes are outstanding.
  bool IsAtProbeLimit();
  bool IsStopRequested();

  // Starts a worker thread owned by this object that runs SearchThreadEntry for `window`;
  // false when no thread could be started (or the object is being destroyed). Workers that
  // have ended are joined here; the destructor joins the rest.
  bool Start(WindowHandle window);
  // The observer told about verdicts and probe ends; null for none. Set it before a run. It
  // must outlive this object: a call about a probe may still be under way when the window
  // already has that probe's message.
  void SetTrace(SearchTrace* trace);
  // Counted probes that are still outstanding (of any run).
  int GetPendingCount();
  // End-of-run messages (WM_SEARCH_FINISHED) that could not be posted, since construction.
  int GetLostEndMessages() const { return lostEndMessages.load(); }

 private:
  friend class DeviceSearchTestHook;
  struct Worker;
  struct RunLookups;

  struct Timings {
    std::chrono::milliseconds probeLimit{kProbeTimeLimitMs};
    std::chrono::milliseconds slotWait{kSlotWaitMs};
    // How long destruction waits for the client to report closed handles closing.
    std::chrono::milliseconds closeReportWait{1000};
  };

  // How a completed request ended, before the window hears of it.
  struct Completion {
    SearchTrace::ProbeEnd end;
    std::uint32_t code;
  };

  // Frees every probe and clears the results. Only once no report can arrive any more for a
  // probe: the destructor calls it after the status callback was removed.
  void ClearProbes();

  static void ProbeStatusCallback(HttpHandle handle, std::uintptr_t context, std::uint32_t status,
                                  const void* info, std::uint32_t infoLength);

  // Run with the ticket Start issued (0: issue one now).
  int RunWithTicket(WindowHandle windowHandle, std::uint64_t issued);
  // Waits for the run's turn; false when the object is closing (the end message is posted).
  // `covered`: a stop came before the turn, so the run does nothing.
  bool EnterRun(WindowHandle windowHandle, std::uint64_t issued, bool& covered);
  void LeaveRun();
  // Moves ticketsServed past tickets that were given up; runMutex held.
  void SkipGivenUpTicketsLocked();
  // The steps of one run; a stop or an error leaves them through stop_thread.
  void RunSteps(WindowHandle windowHandle, int& started);
  void BeginRun(WindowHandle windowHandle);
  void EnsureSession();
  std::vector<PrinterInfo> EnumerateLocalPrinters();
  // The printers whose address is known at once are probed in the spooler's order while those
  // that need a lookup are looked up; each of those is probed once its address is known. The
  // printers offered beyond the spooler's follow once every installed one has its address.
  void WalkPrinters(const std::vector<PrinterInfo>& printers, RunLookups& lookups,
                    ProbeRequest& prototype, int& started);
  // Plans the lookup of `entry`'s port; SubmitLookups hands it to the run's stage.
  void StartLookup(PrinterPlan plan, const PrinterInfo& entry, bool offered, RunLookups& lookups);
  // Probes (or notes) the printers whose lookup ended, and plans the offered printers once due.
  void TakeFinishedLookups(RunLookups& lookups, ProbeRequest& prototype, int& started);
  void WaitForLookups(RunLookups& lookups);
  // Hands the lookups planned so far to the run's stage, whose threads start them.
  void SubmitLookups();
  void TraceUnfinished(RunLookups& lookups);
  // Traces the verdict and starts the probe of a printer to probe; true when the probe counts.
  bool ProbePrinter(SearchTrace::PrinterNote note, ProbeRequest& prototype);
  bool FillPrototype(ProbeRequest& prototype, const SearchTrace::PrinterNote& note);
  // Arms the probe's time limit and starts its request; true when the probe counts.
  bool StartProbe(ProbeRequest* probe);
  bool ArmWatchdog(ProbeRequest* probe);
  void ProbeWatchdog(ProbeRequest* probe, std::chrono::steady_clock::time_point deadline);
  bool AbandonUnstarted(ProbeRequest* probe, std::uint32_t error);
  void OnHandleCreated(ProbeRequest* probe, HttpHandle handle);
  void OnRequestComplete(ProbeRequest* probe, std::uint32_t error);
  void OnHandleClosing(ProbeRequest* probe);
  void OnProbeTimedOut(ProbeRequest* probe);
  Completion JudgeCompletion(std::uint32_t error, HttpHandle handle);
  // Posts the probe's message unless a stop came since `stopsBefore`; the note for the trace.
  SearchTrace::ProbeNote ReportCompletion(ProbeRequest* probe, Completion completion,
                                          std::uint64_t stopsBefore);
  // Ends an active probe: inactive, its time limit woken, out of pendingCount; returns its
  // handle if this program still has to close it (outside the lock).
  HttpHandle EndProbeLocked(ProbeRequest* probe);
  // The probe's handle if this program still has to close it.
  HttpHandle TakeHandleToCloseLocked(ProbeRequest* probe);
  void CloseRequest(HttpHandle handle);
  static void WakeWatchdog(ProbeRequest* probe);
  void WaitForFreeSlot();
  void WakeSlotWaiter();
  void ReapWatchdogs();
  // Frees the probes that have ended for good: inactive, time limit joined, and any request
  // closed with its closing reported (waited for a short while). Keeps the port list from
  // being held by records nobody needs, and memory from growing with every run.
  void ReleaseEndedProbes();
  void WaitForCloseReports();
  void JoinWorkers();
  WindowHandle CurrentWindow();
  void PostFinished(WindowHandle windowHandle, int started);
  std::uint64_t StopsRequested();
  void JoinWatchdogs();
  void TracePrinter(const SearchTrace::PrinterNote& note);
  void TraceProbe(const SearchTrace::ProbeNote& note);
  SearchTrace::ProbeNote MakeProbeNote(const ProbeRequest& probe, SearchTrace::ProbeEnd end,
                                       std::uint32_t code) const;

  const SearchPlatform platform;
  int pendingCount = 0;                               // guarded by pendingLock
  WindowHandle window = 0;                            // guarded by windowLock
  ResultMap results;                                  // guarded by resultsLock
  std::vector<std::unique_ptr<ProbeRequest>> probes;  // guarded by probeListLock
  bool stopRequested = false;                         // guarded by stopLock
  std::uint64_t stopsRequested = 0;                   // guarded by stopLock; one per Stop
  std::stop_source runStop;  // guarded by stopLock; the current run's, for lookups and spooler
  RunLookups* runLookups = nullptr;  // the current run's lookups; worker thread only
  ProxySettingsGuard proxyGuard;
  // Order: sessionLock before probeListLock; probeListLock before the single-field locks
  // (pendingLock, resultsLock, stopLock, windowLock, a probe's own locks). No client call is
  // made while probeListLock is held.
  std::recursive_mutex pendingLock;
  std::recursive_mutex stopLock;
  std::recursive_mutex probeListLock;
  std::recursive_mutex resultsLock;
  std::recursive_mutex windowLock;
  std::recursive_mutex sessionLock;
  HttpHandle session = 0;  // guarded by sessionLock

  Timings timings;
  std::atomic<SearchTrace*> trace{nullptr};
  std::atomic<int> lostEndMessages{0};

  // A worker waiting for a free slot sleeps here; taken before pendingLock and stopLock.
  std::mutex slotMutex;
  std::condition_variable slotCv;

  // Runs: serialised, counted for destruction, and matched against stops by ticket. Taken
  // before stopLock.
  std::mutex runMutex;
  std::condition_variable runCv;
  bool runInProgress = false;
  bool closing = false;
  int runCallsInside = 0;
  std::uint64_t ticketsIssued = 0;
  std::uint64_t ticketsServed = 0;         // every ticket up to this one had its turn
  std::set<std::uint64_t> givenUpTickets;  // issued, but no run will come for them
  std::uint64_t stopCoversTicket = 0;      // runs with a ticket up to this one are stopped

  // Reports of closed handles closing (a leaf lock).
  std::mutex closeReportMutex;
  std::condition_variable closeReportCv;
  std::uint64_t closeReportGeneration = 0;

  std::mutex workersMutex;
  std::vector<std::unique_ptr<Worker>> workers;
};

}  // namespace pradex
