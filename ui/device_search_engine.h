// The one assembly of the search engine for every front end: the engine (DeviceSearch) over
// the system a composition root hands in, together with the window's view of it
// (SearchDriver), owned as one object by the window that it reports to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "search/device_search.h"
#include "search/search_platform.h"
#include "ui/device_search_driver.h"
#include "ui/search_driver.h"

namespace pradex {

class DeviceSearchEngine : public SearchDriver {
 public:
  // `platform`'s parts must outlive the engine.
  // `alsoOnStop` cuts what the platform does for the search outside the engine (name lookups).
  explicit DeviceSearchEngine(const SearchPlatform& platform, std::function<void()> alsoOnStop = {})
      : search(platform), driver(search), alsoOnStop(std::move(alsoOnStop)) {}

  bool StartWorker(WindowHandle window) override { return driver.StartWorker(window); }
  void Stop() override {
    if (alsoOnStop) alsoOnStop();
    driver.Stop();
  }
  std::string LookupDeviceUrl(const std::string& printerName) override {
    return driver.LookupDeviceUrl(printerName);
  }
  std::string PrinterNameOf(std::intptr_t lParam) override { return driver.PrinterNameOf(lParam); }
  int LostEndMessages() override { return driver.LostEndMessages(); }

  DeviceSearch& Search() { return search; }

 private:
  // Destroyed last: stops the search and joins every thread that could still post.
  DeviceSearch search;
  DeviceSearchDriver driver;
  std::function<void()> alsoOnStop;
};

}  // namespace pradex
