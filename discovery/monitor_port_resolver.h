// The address behind a Windows printer port, as the Windows program finds it: the spooler's
// port list, the TCP/IP port monitors' keys, IEEE 1394 devices, and the WSD and IPP ports of
// the APMON monitor. Every answer is known at once: nothing here needs a lookup.
#pragma once

#include "discovery/port_cache.h"
#include "platform/port_resolver.h"

namespace pradex {

class MonitorPortResolver : public PortResolver {
 public:
  // The platform's parts must outlive the resolver.
  explicit MonitorPortResolver(const DiscoveryPlatform& platform) : platform(platform) {}

  PortAddress Resolve(const PrinterInfo& printer) override {
    std::string address;
    std::string problem;
    if (ResolvePortAddress(platform, printer, address, &problem))
      return PortAddress::Found(std::move(address));
    // The Windows program shows only the fourteen messages of its string table, never a port's
    // problem: its English words go to the search's notes as they are.
    if (problem.empty()) return PortAddress::NotFound();
    return PortAddress::NotFound(Phrase::Literal(std::move(problem)));
  }

 private:
  const DiscoveryPlatform platform;
};

}  // namespace pradex
