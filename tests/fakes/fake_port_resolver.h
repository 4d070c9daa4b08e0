// A port resolver whose answers are scripted per port name; a lookup waits until the test
// releases it (or its time passes), or until it is stopped.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/port_resolver.h"

namespace pradex {

class FakePortResolver : public PortResolver {
 public:
  struct Port {
    PortAddress atOnce;    // what Resolve says
    PortAddress lookedUp;  // what a lookup ends with
    // How long the lookup takes; held until Release when negative.
    std::chrono::milliseconds lookupTime{0};
  };

  void Set(const std::string& port, Port answers) {
    std::lock_guard<std::mutex> lock(mutex);
    ports[port] = std::move(answers);
  }
  void Offer(std::vector<PrinterInfo> printers, std::chrono::milliseconds after = {}) {
    std::lock_guard<std::mutex> lock(mutex);
    offered = std::move(printers);
    offerTime = after;
    offering = true;
  }
  void Release(const std::string& port) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      released.insert(port);
    }
    changed.notify_all();
  }
  // Waits until `count` lookups have begun; false after `patience`.
  bool WaitForLookups(int count, std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, patience, [&] { return begun >= count; });
  }

  PortAddress Resolve(const PrinterInfo& printer) override {
    std::lock_guard<std::mutex> lock(mutex);
    const auto it = ports.find(printer.portName.value_or(""));
    return it == ports.end() ? PortAddress::NotFound(Phrase::Literal("unknown port"))
                             : it->second.atOnce;
  }

  PortAddress Lookup(const PrinterInfo& printer, std::stop_token stop) override {
    const std::string name = printer.portName.value_or("");
    std::unique_lock<std::mutex> lock(mutex);
    const Port port = ports[name];
    ++begun;
    changed.notify_all();
    const auto done = [&] { return released.count(name) != 0; };
    bool cut = false;
    if (port.lookupTime.count() < 0)
      cut = !changed.wait(lock, stop, done);
    else
      cut = changed.wait_for(lock, stop, port.lookupTime, [] { return false; }) ||
            stop.stop_requested();
    return cut ? PortAddress::NotFound(Phrase::Literal("lookup cut by stop")) : port.lookedUp;
  }

  std::vector<PrinterInfo> OfferedPrinters(std::stop_token stop) override {
    std::unique_lock<std::mutex> lock(mutex);
    if (changed.wait_for(lock, stop, offerTime, [] { return false; }) || stop.stop_requested())
      return {};
    return offered;
  }
  bool OffersPrinters() const override {
    std::lock_guard<std::mutex> lock(mutex);
    return offering;
  }

 private:
  mutable std::mutex mutex;
  std::condition_variable_any changed;
  std::map<std::string, Port> ports;
  std::set<std::string> released;
  std::vector<PrinterInfo> offered;
  std::chrono::milliseconds offerTime{0};
  bool offering = false;
  int begun = 0;
};

}  // namespace pradex
