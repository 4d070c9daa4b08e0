#include "ui/device_search_driver.h"

namespace pradex {

bool DeviceSearchDriver::StartWorker(WindowHandle window) {
  // The engine owns the worker thread and its SearchThreadParams block, and joins the thread
  // when it is destroyed, so the block outlives the worker whatever the window does.
  return search.Start(window);
}

void DeviceSearchDriver::Stop() {
  search.Stop();
}

std::string DeviceSearchDriver::LookupDeviceUrl(const std::string& printerName) {
  return search.LookupDeviceUrl(printerName);
}

std::string DeviceSearchDriver::PrinterNameOf(std::intptr_t lParam) {
  const auto* probe = reinterpret_cast<const ProbeRequest*>(lParam);
  return probe ? probe->GetPrinterName() : std::string();
}

}  // namespace pradex
