// The window's view of the program's search engine, DeviceSearch.
#pragma once

#include <cstdint>
#include <string>

#include "search/device_search.h"
#include "ui/search_driver.h"

namespace pradex {

class DeviceSearchDriver : public SearchDriver {
 public:
  // `search` must outlive the driver. Its destructor stops the search and joins the workers it
  // started.
  explicit DeviceSearchDriver(DeviceSearch& search) : search(search) {}

  bool StartWorker(WindowHandle window) override;
  void Stop() override;
  std::string LookupDeviceUrl(const std::string& printerName) override;
  std::string PrinterNameOf(std::intptr_t lParam) override;
  int LostEndMessages() override { return search.GetLostEndMessages(); }

 private:
  DeviceSearch& search;
};

}  // namespace pradex
