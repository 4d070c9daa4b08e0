#include "ui/cli/console_search.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <stdexcept>

#include "platform/memory/queue_message_poster.h"
#include "platform/win_codes.h"
#include "search/search_messages.h"
#include "ui/cli/console_window.h"
#include "ui/device_search_engine.h"
#include "ui/dialog_view.h"
#include "ui/pradex_dialog.h"

namespace pradex::cli {

namespace {

// The console has one window; any handle other than 0 names it.
constexpr WindowHandle kConsoleWindow = 1;

using Clock = std::chrono::steady_clock;

// The engine posts through this, so that the console can tell the worker's own end-of-run
// message from the end marker that the window posts after a stop.
class EnginePoster : public MessagePoster {
 public:
  explicit EnginePoster(MessagePoster& queue) : queue(queue) {}

  bool Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
            std::intptr_t lParam) override {
    const bool posted = queue.Post(window, message, wParam, lParam);
    if (message == WM_SEARCH_FINISHED) runsEnded.fetch_add(1);
    return posted;
  }

  // Runs that have posted their end-of-run message: the worker's last step.
  int RunsEnded() const { return runsEnded.load(); }

 private:
  MessagePoster& queue;
  std::atomic<int> runsEnded{0};
};

}  // namespace

// Everything the engine may still touch while its worker runs, in one block, so that an engine
// that cannot be waited for can be left alone as a whole.
struct ConsoleSearch::Parts {
  Parts(ConsoleMachine machine, StringResources& strings) : spooler(machine.spooler) {
    engine = std::make_unique<DeviceSearchEngine>(
        SearchPlatform{spooler, machine.registry, machine.http, enginePoster, machine.ports},
        machine.ipp);
    dialog = std::make_unique<PradexDialog>(view, list, *engine, browser, strings, queue);
  }

  // Destroys the window logic and then the engine, which waits for everything it started.
  void ReleaseEngine() {
    dialog.reset();
    engine.reset();
  }

  QueueMessagePoster queue;  // the window's message queue
  EnginePoster enginePoster{queue};
  RecordingSpooler spooler;
  RecordingTrace trace;  // outlives the engine, which may call it until it is destroyed
  ConsoleDialogView view;
  ConsoleListControl list;
  NoBrowserLauncher browser;
  std::unique_ptr<DeviceSearchEngine> engine;
  std::unique_ptr<PradexDialog> dialog;
};

ConsoleSearch::ConsoleSearch(ConsoleMachine machine, StringResources& strings, bool explain,
                             ConsoleTimings timings)
    : timings(timings), explain(explain), parts(std::make_unique<Parts>(machine, strings)) {}

ConsoleSearch::~ConsoleSearch() {
  if (!settled && EngineSettled()) settled = true;
  // The worker is still inside a call that cannot be cut short; freeing what it uses would
  // pull the ground from under it, and waiting for it would make a stop take as long as the
  // call. The process is about to end, which frees everything.
  if (!settled) static_cast<void>(parts.release());
}

ConsoleOutcome ConsoleSearch::Run(const std::function<bool()>& stopRequested) {
  if (ran) throw std::logic_error("ConsoleSearch::Run is called once");
  ran = true;
  Parts& p = *parts;
  ConsoleOutcome outcome;

  const auto deliver = [&p](const PostedMessage& message) {
    p.dialog->HandleSearchMessage(message.message, message.wParam, message.lParam);
  };

  if (explain || progressReporter) p.engine->Search().SetTrace(&p.trace);
  SearchProgress shown;
  const auto reportProgress = [&] {
    if (!progressReporter) return;
    const SearchProgress now = p.trace.Progress();
    if (now == shown) return;
    shown = now;
    progressReporter(now);
  };
  // Initialisation starts the first search, as the window's does.
  p.dialog->OnInitDialog(kConsoleWindow);
  while (!p.dialog->IsIdle()) {
    reportProgress();
    if (stopRequested()) {
      outcome.interrupted = true;
      // The window's Stop command: the text and the list are final at once.
      p.dialog->OnCommand(kStopButtonId);
      break;
    }
    if (auto message = p.queue.WaitForMessage(timings.pollInterval)) deliver(*message);
  }

  // The devices' own words come after the run's end; each question is bounded, and a stop cuts
  // them all.
  while (!outcome.interrupted && p.engine->UnansweredFacts() > 0) {
    if (stopRequested()) {
      outcome.interrupted = true;
      p.engine->Stop();
      break;
    }
    if (auto message = p.queue.WaitForMessage(timings.pollInterval)) deliver(*message);
  }

  if (outcome.interrupted) {
    // The worker was running (the window was not idle), so its end-of-run message is due. It
    // normally comes at the worker's next check of the stop flag; a spooler call to a server
    // that does not answer delays it by seconds, and then the engine is given up on.
    const auto deadline = Clock::now() + timings.settleWait;
    while (p.enginePoster.RunsEnded() < 1) {
      const auto now = Clock::now();
      if (now >= deadline) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      if (auto message = p.queue.WaitForMessage(std::min(left, timings.pollInterval)))
        deliver(*message);
    }
    settled = p.enginePoster.RunsEnded() >= 1;
  }

  outcome.status = p.dialog->List().StatusText();
  const std::vector<FactsStage::Entry> facts = p.engine->DeviceFacts();
  for (std::string& name : p.dialog->List().Names()) {
    std::string url = p.engine->LookupDeviceUrl(name);
    const auto said = std::find_if(facts.begin(), facts.end(), [&](const FactsStage::Entry& e) {
      return e.printerName == name;
    });
    outcome.devices.push_back(ConsoleDevice{std::move(name), std::move(url),
                                            said != facts.end() ? said->facts : DeviceFacts{}});
  }
  outcome.engineSettled = settled;
  const auto enumeration = p.spooler.LastEnumeration();
  outcome.spoolerUnavailable = enumeration && enumeration->result != kErrorSuccess;
  if (outcome.spoolerUnavailable) outcome.spoolerProblem = SpoolerProblem(enumeration->result);

  // Once the engine is gone, no report about a probe can still be on its way to the trace.
  if (settled) p.ReleaseEngine();
  if (explain) {
    outcome.explanation = BuildExplanation(p.spooler.LastEnumeration(), p.trace.Printers(),
                                           p.trace.Probes(), p.spooler.EnumerationAsked());
  }
  return outcome;
}

bool ConsoleSearch::EngineSettled() const {
  return settled || parts->enginePoster.RunsEnded() >= 1;
}

std::string ConsoleSearch::ListText() const {
  return parts->list.Text();
}

}  // namespace pradex::cli
