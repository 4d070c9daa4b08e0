// The address behind a printer's port, as the system knows it. On Windows the TCP/IP port
// monitors' keys, IEEE 1394 devices and the WSD/IPP port monitor answer at once; on Linux a
// CUPS queue's device URI may first need a lookup (DNS-SD, another CUPS server, a PPD).
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/phrase.h"
#include "platform/spooler.h"

namespace pradex {

// One answer about one port.
struct PortAddress {
  enum class Outcome {
    kFound,        // `host` (and `port`) name the device
    kNotFound,     // no address; `problem` says why when more can be said
    kNeedsLookup,  // ask Lookup, which may take a while; `lookupGroup` names whom it asks
  };
  Outcome outcome = Outcome::kNotFound;
  // The host for the device page's URL, as the source holds it: a host name, an IPv4 address or
  // a bracketed IPv6 literal. On Windows exactly the monitor's text (which may carry ":port").
  std::string host;
  // A port the device page is served on other than HTTP's 80 (ipp-usb's loopback port); 0: none.
  std::uint16_t port = 0;
  // The device's host name when `host` is its address (DNS-SD gives both); "" otherwise. Two
  // printers whose host or host name agree are one device.
  std::string hostName;
  // kFound: the device's own IPP URI when the source names one ("ipp://10.0.0.5/ipp/print",
  // a DNS-SD service's); "" otherwise. Never a print server's queue.
  std::string ippUri;
  // kNotFound: why, in words for people (empty when nothing more can be said).
  Phrase problem;
  // kNeedsLookup: lookups of one group ask one server, and only a few run at once.
  std::string lookupGroup;

  static PortAddress Found(std::string host, std::uint16_t port = 0) {
    PortAddress address;
    address.outcome = Outcome::kFound;
    address.host = std::move(host);
    address.port = port;
    return address;
  }
  static PortAddress NotFound(Phrase problem = {}) {
    PortAddress address;
    address.problem = std::move(problem);
    return address;
  }
  static PortAddress NeedsLookup(std::string group) {
    PortAddress address;
    address.outcome = Outcome::kNeedsLookup;
    address.lookupGroup = std::move(group);
    return address;
  }
};

class PortResolver {
 public:
  virtual ~PortResolver() = default;

  // A search begins: what earlier searches looked up is forgotten.
  virtual void Begin() {}
  // What is known of the printer's port without waiting for the network. Called on the search's
  // worker thread, in the spooler's order.
  virtual PortAddress Resolve(const PrinterInfo& printer) = 0;
  // The lookup a kNeedsLookup answer asked for: kFound or kNotFound, never kNeedsLookup. Ends
  // within the resolver's own time limit, and soon after `stop` is requested. Called on any
  // thread, several at once.
  virtual PortAddress Lookup(const PrinterInfo& printer, std::stop_token stop) {
    (void)printer;
    (void)stop;
    return PortAddress::NotFound();
  }
  // Printers the system offers beyond the spooler's installed ones (a print dialog's network
  // printers), each to be resolved like an installed one; bounded like Lookup.
  virtual std::vector<PrinterInfo> OfferedPrinters(std::stop_token stop) {
    (void)stop;
    return {};
  }
  // Whether OfferedPrinters can give anything: a search without them need not wait for it.
  virtual bool OffersPrinters() const { return false; }
};

}  // namespace pradex
