// The network device behind the device URIs that desktops give their CUPS queues: a host in
// the URI itself, DNS-SD service names (dnssd://, driverless ipp://NAME._ipp._tcp.local/) and
// .local names, cups-browsed's implicitclass:// queues, ipp-usb on a loopback port, queues of
// another CUPS server and wrapper backends (beh:/.../socket://...); and the network printers a
// print dialog offers without a queue.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/port_resolver.h"
#include "platform/posix/cups_destinations.h"
#include "platform/posix/cups_lookups.h"
#include "platform/posix/device_uri.h"
#include "platform/posix/dnssd_resolver.h"

namespace pradex {

// A URI whose text names its host is answered at once; every other one is looked up when the
// search asks (each step within `lookupTimeout`, and at most three steps: a DNS-SD service that
// is a print server's shared queue, that server's device, its DNS-SD name). Thread-safe.
class DeviceUriResolver : public PortResolver {
 public:
  struct Options {
    std::chrono::milliseconds lookupTimeout{2000};
    // The longest wait for the print dialog's printers; none are offered when it is zero.
    // cupsEnumDests ends as soon as the announcements settle: 0.2-0.3 s in our lab.
    std::chrono::milliseconds discoveryTime{1000};
  };
  DeviceUriResolver() = default;
  explicit DeviceUriResolver(Options options) : options(options) {}

  PortAddress Resolve(const PrinterInfo& printer) override;
  PortAddress Lookup(const PrinterInfo& printer, std::stop_token stop) override;
  std::vector<PrinterInfo> OfferedPrinters(std::stop_token stop) override;
  bool OffersPrinters() const override { return options.discoveryTime.count() > 0; }

  // DNS-SD calls still under way whose callers gave up on them (a daemon that hangs).
  int CallsLeftBehind() const { return dnssd.CallsLeftBehind(); }

 protected:
  // The outside world, virtual for tests.
  virtual CupsLookupResult AskPrintServer(const DeviceUriPlan& plan,
                                          std::chrono::steady_clock::time_point deadline,
                                          std::stop_token stop);
  virtual CupsLookupResult QueueSupplies(const std::string& queue,
                                         std::chrono::steady_clock::time_point deadline,
                                         std::stop_token stop);
  virtual DnsSdAnswer ResolveName(const DnsSdQuery& query,
                                  std::chrono::steady_clock::time_point deadline,
                                  std::stop_token stop);
  virtual std::vector<CupsDestination> Discover(std::chrono::milliseconds timeout,
                                                std::stop_token stop);

 private:
  // One step of a lookup: the plan of a URI (or a host to look up) to an address.
  PortAddress FromPlan(const DeviceUriPlan& plan, const Phrase& via, int hopsLeft,
                       std::stop_token stop);
  PortAddress FromService(const ServiceName& service, const Phrase& via, int hopsLeft,
                          std::stop_token stop);
  PortAddress FromLocalName(const std::string& host, const Phrase& via, std::stop_token stop);
  PortAddress FromPrintServer(const DeviceUriPlan& plan, const Phrase& via, int hopsLeft,
                              std::stop_token stop);
  PortAddress FromBrowsedQueue(const std::string& queue, std::stop_token stop);
  std::chrono::steady_clock::time_point StepDeadline() const;

  Options options;
  DnsSdResolver dnssd;
};

}  // namespace pradex
