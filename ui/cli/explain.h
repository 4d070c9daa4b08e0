// What --explain reports: for every printer of the spooler, why the search did or did not probe
// it and how its probe ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/spooler.h"
#include "search/search_trace.h"

namespace pradex::cli {

// Passes every call to another spooler and keeps what the last printer enumeration returned,
// so that the report can name the printers the search never reached and the spooler's error.
class RecordingSpooler : public Spooler {
 public:
  explicit RecordingSpooler(Spooler& inner) : inner(inner) {}

  long EnumPrinters(std::vector<PrinterInfo>& printers) override;
  long EnumPorts(const std::optional<std::string>& serverName,
                 std::vector<std::string>& ports) override;
  bool HasIeee1394Ports() const override { return inner.HasIeee1394Ports(); }

  struct Enumeration {
    long result = 0;
    std::vector<PrinterInfo> printers;
  };
  // The last printer enumeration, or nullopt when none has returned yet.
  std::optional<Enumeration> LastEnumeration() const;
  // Whether a printer enumeration has been asked for (it may not have returned yet).
  bool EnumerationAsked() const;

 private:
  Spooler& inner;
  mutable std::mutex mutex;
  std::optional<Enumeration> last;  // guarded by mutex
  bool asked = false;               // guarded by mutex
};

// Keeps every verdict and probe end the search reports; thread-safe.
class RecordingTrace : public SearchTrace {
 public:
  void PrinterChecked(const PrinterNote& note) override;
  void ProbeEnded(const ProbeNote& note) override;

  std::vector<PrinterNote> Printers() const;
  std::vector<ProbeNote> Probes() const;

 private:
  mutable std::mutex mutex;
  std::vector<PrinterNote> printers;  // in the search's (the spooler's) order
  std::vector<ProbeNote> probes;      // in the order the probes ended
};

// One printer of the spooler and what became of it.
struct PrinterExplanation {
  std::string printerName;
  std::string driverName;
  std::string portName;
  std::string address;  // once its port was resolved
  std::string url;      // once a family was found
  // nullopt: the search ended before it looked at this printer.
  std::optional<SearchTrace::PrinterVerdict> verdict;
  // For a probed printer, how its probe ended; nullopt while no end was reported.
  std::optional<SearchTrace::ProbeNote> probe;
};

struct Explanation {
  // The result of the spooler's printer enumeration: nullopt when none returned.
  std::optional<long> spoolerResult;
  // The search asked the spooler for its printers (also when the answer never came).
  bool spoolerAsked = false;
  std::vector<PrinterExplanation> printers;
};

// Puts the spooler's list and the search's notes together: the printers in the spooler's
// order, each with the verdict the search gave it and the end of its probe.
// `asked` says whether an enumeration was asked for; one that returned was.
Explanation BuildExplanation(const std::optional<RecordingSpooler::Enumeration>& enumeration,
                             const std::vector<SearchTrace::PrinterNote>& printerNotes,
                             const std::vector<SearchTrace::ProbeNote>& probeNotes,
                             bool asked = false);

// A short reason for one printer, in the words an administrator looks for: "not the maker",
// "port not resolved", "neither family", "unsafe address", "answered", "HTTP status 404",
// "client error 12029 (cannot connect)", "timed out after 7 s", ...
std::string ReasonText(const PrinterExplanation& printer);

// What the spooler's enumeration result means: "3 printers", "no printers", or the failure.
std::string SpoolerText(const Explanation& explanation);

// The meaning of an HTTP client error (WinInet numbering), or "" for a number without one.
std::string ClientErrorMeaning(std::uint32_t code);

}  // namespace pradex::cli
