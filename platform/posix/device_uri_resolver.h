// The network device behind the device URIs that desktops give their CUPS queues: DNS-SD
// service names (dnssd://, driverless ipp://NAME._ipp._tcp.local/), cups-browsed's
// implicitclass:// queues, ipp-usb on a loopback port, queues of another CUPS server and
// wrapper backends (beh:/.../socket://...).
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/cups_destinations.h"
#include "platform/posix/dnssd_resolver.h"
#include "platform/spooler.h"

namespace pradex {

// Where a port (a device URI) leads: the values of the TCP/IP monitor's port key, or why
// there is none.
struct PortResolution {
  std::string hostName;
  std::optional<std::string> ipAddress;
  std::string failure;  // empty when resolved; otherwise the reason, for people
  bool Resolved() const { return failure.empty(); }
};

// Resolves, once per search, the device URIs that need asking someone: all lookups of a
// search run at the same time, each within `lookupTimeout`; Stop cuts every one at once.
// Thread-safe.
class DeviceUriResolver {
 public:
  struct Options {
    std::chrono::milliseconds lookupTimeout{2000};
  };
  DeviceUriResolver() = default;
  explicit DeviceUriResolver(Options options) : options(options) {}
  virtual ~DeviceUriResolver() = default;

  // Starts a search: what an earlier Stop cut no longer counts.
  void Begin();
  // Forgets what earlier searches found and resolves `uris`.
  void Prepare(const std::vector<std::string>& uris);
  // The outcome for a URI: what Prepare found for it, or for a URI that needs no lookup, what
  // its text says. nullopt: the resolver has nothing to say (the caller's own rule applies).
  std::optional<PortResolution> Find(const std::string& uri) const;
  // Why the URI's port was not resolved, or "" when it was or the resolver knows nothing.
  std::string FailureReason(const std::string& uri) const;

  // Cuts every lookup of the search at once, also those begun after it, until Begin.
  void Stop();
  // Set by Stop, for libcups calls that take a cancel variable (cupsEnumDests, httpConnect2).
  int* CancelFlag() { return &connectCancel; }

 protected:
  // The device-uri of a queue of another CUPS server, asked with Get-Printer-Attributes;
  // nullopt when the server did not say. Virtual for tests.
  virtual std::optional<std::string> AskPrintServer(const DeviceUriPlan& plan);
  // The *APSupplies URL of a local queue's PPD, or nullopt.
  virtual std::optional<std::string> QueueSuppliesUrl(const std::string& queue);
  virtual std::vector<DnsSdAnswer> ResolveNames(const std::vector<DnsSdQuery>& queries);

 private:
  Options options;
  DnsSdResolver dnssd;
  std::atomic<bool> stopped{false};
  // libcups reads this while it connects; written only through std::atomic_ref.
  alignas(std::atomic_ref<int>::required_alignment) int connectCancel = 0;
  mutable std::mutex mutex;
  std::map<std::string, PortResolution> outcomes;  // guarded by mutex
};

// A spooler whose every printer enumeration also has the resolver prepare the queues'
// device URIs, so that the port look-ups of the search that follows find them resolved.
//
// With a `discover` function it also lists the network printers a print dialog offers
// without an installed queue (see cups_destinations.h), after the installed queues and each
// device once: a discovered printer is left out when an installed queue has its name, its
// device URI or, once resolved, the same address (the installed queue's name wins). Their
// device URIs are added to the port list, so that their ports resolve like the queues'.
class ResolvingSpooler : public Spooler {
 public:
  // `cancel` becomes non-zero when the search is stopped.
  using Discover = std::function<std::vector<CupsDestination>(int* cancel)>;
  ResolvingSpooler(Spooler& inner, DeviceUriResolver& resolver, Discover discover = {})
      : inner(inner), resolver(resolver), discover(std::move(discover)) {}
  long EnumPrinters(std::vector<PrinterInfo>& printers) override;
  long EnumPorts(const std::optional<std::string>& serverName,
                 std::vector<std::string>& ports) override;
  bool HasIeee1394Ports() const override { return inner.HasIeee1394Ports(); }

 private:
  Spooler& inner;
  DeviceUriResolver& resolver;
  Discover discover;
  std::mutex mutex;
  std::vector<std::string> discoveredPorts;  // of the last enumeration; guarded by mutex
};

}  // namespace pradex
