// Why each printer of the spooler was or was not listed, in words for the people who read
// them: the console's --explain and the window's details view show the same texts.
//
// Every wording lives in search_reasons.cpp, one function per kind of outcome (the spooler's
// answer, the search's verdict on a printer, the end of a probe, the HTTP client's errors); a
// new outcome gets its words there (as a phrase whose texts are in resources/texts) and both
// front ends show them in the language chosen (app/texts.h: Say).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/phrase.h"
#include "search/search_trace.h"
#include "ui/search_record.h"

namespace pradex {

// One printer of the spooler and what became of it.
struct PrinterExplanation {
  std::string printerName;
  std::string driverName;
  std::string portName;
  std::string address;  // once its port was resolved
  std::string url;      // once a family was found
  // Why the port gave no address, when the system could tell (a DNS-SD service that was not
  // found, a print server that did not say, a WSD device not known to this computer, a port
  // monitor that refused to answer, ...); empty otherwise.
  Phrase portProblem;
  // Not the spooler's: offered beyond its printers (a print dialog's network printer).
  bool offered = false;
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

// The same from what a recording spooler and trace kept.
Explanation BuildExplanation(const RecordingSpooler& spooler, const RecordingTrace& trace);

// Why one printer was or was not listed: "not a Tamrin printer", "the device answered 404",
// "no answer within 7 s", "no network address found behind its port" (with the port's problem
// when known), ...
Phrase ReasonText(const PrinterExplanation& printer);

// What the spooler's answer means: "3 printers", "no printers", "the print server is not
// running (error 1722)", ...
Phrase SpoolerText(const Explanation& explanation);

// Why the spooler's printers could not be listed (a failed enumeration's `result`), for one line
// that tells it: "the print server is not running", or "error 4242" for a failure without words.
Phrase SpoolerProblem(long result);

// The meaning of an HTTP client error (WinInet numbering), or an empty phrase for a number
// without one.
Phrase ClientErrorMeaning(std::uint32_t code);

// Whether a search that listed `listed` devices left someone wondering: nothing listed, or
// fewer devices than the spooler has printers of the maker.
bool ReasonsWanted(const Explanation& explanation, std::size_t listed);

}  // namespace pradex
