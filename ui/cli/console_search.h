// One search as the Pradex window runs it, on the console: the window logic (PradexDialog)
// with console controls, the real search engine, and a message queue pumped on the calling
// thread in place of the window's message loop.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/device_facts.h"
#include "platform/http_client.h"
#include "platform/ipp_client.h"
#include "platform/phrase.h"
#include "platform/port_resolver.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/string_resources.h"
#include "ui/cli/explain.h"
#include "ui/search_record.h"

namespace pradex::cli {

// The parts of the system the search uses; they must outlive the ConsoleSearch.
struct ConsoleMachine {
  Spooler& spooler;
  Registry& registry;
  HttpClient& http;
  PortResolver& ports;
  // Asks each listed device what it says about itself; none: nobody is asked.
  IppClient* ipp = nullptr;
};

struct ConsoleDevice {
  std::string name;
  std::string url;
  // What it said about itself (Missing::kNotAsked without an IPP client).
  DeviceFacts facts;
  friend bool operator==(const ConsoleDevice&, const ConsoleDevice&) = default;
};

struct ConsoleOutcome {
  // A stop was asked for before the search ended on its own.
  bool interrupted = false;
  // The search engine has finished all its work (and was released). False only after an
  // interruption while the engine was still inside a call that cannot be cut short, such as
  // a spooler call to a server that does not answer.
  bool engineSettled = true;
  // The status text the window ends with, as the string resources gave it.
  std::string status;
  // The listed devices in the window's order, each with its device page URL.
  std::vector<ConsoleDevice> devices;
  // With explain only.
  std::optional<Explanation> explanation;
  // The spooler's printer list could not be read: the search knows nothing about the devices.
  bool spoolerUnavailable = false;
  // Why, when it could not (search_reasons.h: SpoolerProblem).
  Phrase spoolerProblem = {};
};

struct ConsoleTimings {
  // How often a stop request is looked for while no message arrives.
  std::chrono::milliseconds pollInterval{20};
  // After a stop: how long to wait for the engine's worker to end before giving up on it.
  std::chrono::milliseconds settleWait{300};
};

class ConsoleSearch {
 public:
  // `strings` gives the texts in the encoding the output needs.
  ConsoleSearch(ConsoleMachine machine, StringResources& strings, bool explain,
                ConsoleTimings timings = {});
  // Destroys the engine, which waits for its worker. After an outcome with engineSettled false,
  // and while EngineSettled() is still false, the engine is at work: then the engine and
  // everything it uses are left alone (not freed), and the caller must leave the machine alone
  // too and end the process with _Exit.
  ~ConsoleSearch();
  ConsoleSearch(const ConsoleSearch&) = delete;
  ConsoleSearch& operator=(const ConsoleSearch&) = delete;

  // Called on the thread that runs the search whenever the number of probes started or ended
  // has changed, while the search runs. Set before Run.
  void SetProgressReporter(std::function<void(const SearchProgress&)> reporter) {
    progressReporter = std::move(reporter);
  }

  // Runs the search once, until the window logic is idle, or until `stopRequested` returns
  // true, which stops the search the way the window's Stop command does. Call once.
  ConsoleOutcome Run(const std::function<bool()>& stopRequested);

  // Whether the engine has finished all its work by now: always after an outcome with
  // engineSettled true, and later too once a call that held it up has returned.
  bool EngineSettled() const;

  // The text of the window's list control, for tests.
  std::string ListText() const;

 private:
  struct Parts;
  ConsoleTimings timings;
  bool explain;
  std::unique_ptr<Parts> parts;
  bool ran = false;
  bool settled = true;
  std::function<void(const SearchProgress&)> progressReporter;
};

}  // namespace pradex::cli
