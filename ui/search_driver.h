// What the main window needs of the search engine. The program's own implementation is
// DeviceSearchDriver (ui/device_search_driver.h); tests use a fake.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_poster.h"
#include "search/facts_stage.h"

namespace pradex {

class SearchDriver {
 public:
  virtual ~SearchDriver() = default;

  // Starts one run of the search on a worker thread that reports to `window` with the
  // messages of search/search_messages.h. True when the worker runs; false when it could not be
  // started, and then no message of that run will ever arrive. The window calls this only after
  // the previous run's WM_SEARCH_FINISHED has arrived, so two runs never overlap.
  virtual bool StartWorker(WindowHandle window) = 0;

  // Asks the running search to stop; returns at once, without waiting for the worker. After it
  // returns, no WM_SEARCH_DEVICE_ANSWERED or WM_SEARCH_PROBE_FAILED of that run is posted any
  // more; its WM_SEARCH_FINISHED still is.
  virtual void Stop() = 0;

  // The device URL of the printer of that name that answered in the current run, or "".
  virtual std::string LookupDeviceUrl(const std::string& printerName) = 0;

  // The printer name of the probe that the lParam of a WM_SEARCH_DEVICE_ANSWERED points to;
  // called only while that message is being handled.
  virtual std::string PrinterNameOf(std::intptr_t lParam) = 0;

  // How many WM_SEARCH_FINISHED messages could not be posted so far: each is the end of the
  // run whose end the window is waiting for, which will never arrive.
  virtual int LostEndMessages() { return 0; }

  // What the current run's listed devices have said about themselves so far, when the engine
  // asks them (WM_SEARCH_DEVICE_FACTS tells that more came in); empty otherwise.
  virtual std::vector<FactsStage::Entry> DeviceFacts() { return {}; }
};

}  // namespace pradex
