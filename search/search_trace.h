// An optional observer of a search: why each printer of the spooler was probed or skipped, and
// how each probe ended. Meant for diagnostics ("why was my printer not listed?"); the search
// works the same with or without one.
#pragma once

#include <cstdint>
#include <string>

#include "platform/phrase.h"

namespace pradex {

class SearchTrace {
 public:
  // What the search decided for one printer entry of the spooler, in the order it tests.
  enum class PrinterVerdict {
    kNotMaker,         // the driver name does not name the maker
    kPortNotResolved,  // no address was found behind the printer's port
    kUnsafeAddress,    // the address cannot stand as the host of an http URL
    kZoneIdAddress,    // a link-local IPv6 address with a zone id, which browsers do not open
    kNeitherFamily,    // the driver name names neither printer family
    kNotRegistered,    // incomplete printer entry, a stop, or no memory for the probe
    kProbing,          // a probe of `url` follows; exactly one ProbeEnded reports its end
  };

  // How one probe ended.
  enum class ProbeEnd {
    kAnswered,          // status 200; the printer is listed (code 200)
    kDuplicateName,     // status 200, but a printer of that name is listed already (code 200)
    kHttpStatus,        // another status (code: the status)
    kStatusUnreadable,  // completed, but no status could be read
    kClientError,       // the HTTP client reported an error (code: the client's error code)
    kTimedOut,          // no completion within the time limit (code: the limit in ms)
    kCutByStop,         // ended by a stop; nothing was reported to the window
    kNotStarted,        // the request was not started (code: the client's error, or 0 when
                        // the probe's time limit could not be armed)
  };

  struct PrinterNote {
    PrinterVerdict verdict = PrinterVerdict::kNotMaker;
    std::string printerName;  // as the spooler gave them; "" when absent
    std::string driverName;
    std::string portName;
    std::string address;  // the resolved address, once resolution succeeded
    // The same as the resolver gave it: the host, a port other than 80 (0: none), and the
    // device's own IPP URI when its queue names one.
    std::string host;
    std::uint16_t port = 0;
    std::string ippUri;
    std::string url;  // the device URL, once a family was found
    // Why the port gave no address, when the system could tell (a WSD device not known to this
    // computer, a DNS-SD service not found, ...); empty otherwise.
    Phrase portProblem;
  };

  struct ProbeNote {
    ProbeEnd end = ProbeEnd::kNotStarted;
    std::string printerName;
    std::string url;
    std::uint32_t code = 0;
  };

  virtual ~SearchTrace() = default;

  // Calls come from any thread: the search's worker thread (verdicts, probes not started),
  // the HTTP client's threads (completions), the probes' time-limit threads, and the thread
  // that calls Stop or destroys the search. They can overlap, so an implementation must be
  // thread-safe. The search holds none of the locks that guard its probes and results during
  // a call (the worker may hold its session lock when the client reports inside the start of
  // a request); still, keep calls short and do not call back into the search from them.
  // Exceptions thrown by them are swallowed.
  virtual void PrinterChecked(const PrinterNote& note) = 0;
  virtual void ProbeEnded(const ProbeNote& note) = 0;
};

inline const char* VerdictText(SearchTrace::PrinterVerdict verdict) {
  switch (verdict) {
    case SearchTrace::PrinterVerdict::kNotMaker:
      return "not the maker";
    case SearchTrace::PrinterVerdict::kPortNotResolved:
      return "port not resolved";
    case SearchTrace::PrinterVerdict::kUnsafeAddress:
      return "unsafe address";
    case SearchTrace::PrinterVerdict::kZoneIdAddress:
      return "address with a zone id";
    case SearchTrace::PrinterVerdict::kNeitherFamily:
      return "neither family";
    case SearchTrace::PrinterVerdict::kNotRegistered:
      return "could not be registered";
    case SearchTrace::PrinterVerdict::kProbing:
      return "probing";
  }
  return "unknown";
}

inline const char* ProbeEndText(SearchTrace::ProbeEnd end) {
  switch (end) {
    case SearchTrace::ProbeEnd::kAnswered:
      return "answered 200";
    case SearchTrace::ProbeEnd::kDuplicateName:
      return "answered 200, but the name is listed already";
    case SearchTrace::ProbeEnd::kHttpStatus:
      return "HTTP status";
    case SearchTrace::ProbeEnd::kStatusUnreadable:
      return "status not readable";
    case SearchTrace::ProbeEnd::kClientError:
      return "client error";
    case SearchTrace::ProbeEnd::kTimedOut:
      return "timed out";
    case SearchTrace::ProbeEnd::kCutByStop:
      return "cut by stop";
    case SearchTrace::ProbeEnd::kNotStarted:
      return "request not started";
  }
  return "unknown";
}

}  // namespace pradex
