// The one assembly of the search engine for every front end: the engine (DeviceSearch) over
// the system a composition root hands in, together with the window's view of it
// (SearchDriver), owned as one object by the window that it reports to.
#pragma once

#include <cstdint>
#include <string>

#include "search/device_search.h"
#include "search/search_platform.h"
#include "ui/device_search_driver.h"
#include "ui/search_driver.h"

namespace pradex {

class DeviceSearchEngine : public SearchDriver {
 public:
  // `platform`'s parts must outlive the engine.
  explicit DeviceSearchEngine(const SearchPlatform& platform) : search(platform), driver(search) {}

  bool StartWorker(WindowHandle window) override { return driver.StartWorker(window); }
  void Stop() override { driver.Stop(); }
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
};

}  // namespace pradex
