#include "ui/search_reasons.h"

#include <algorithm>
#include <utility>

#include "platform/http_client.h"
#include "platform/win_codes.h"

namespace pradex {

using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;

namespace {

// What the HTTP client reports when a response outgrows its limits (headers beyond what it
// keeps) or memory runs out, and its other failures that have no name of their own here.
constexpr std::uint32_t kClientErrorNotEnoughMemory = 8;
constexpr std::uint32_t kClientErrorInternal = 12004;
constexpr std::uint32_t kClientErrorInvalidUrl = 12005;
constexpr std::uint32_t kClientErrorSecureChannel = 12157;

PrinterExplanation FromNote(const SearchTrace::PrinterNote& note) {
  PrinterExplanation printer;
  printer.printerName = note.printerName;
  printer.driverName = note.driverName;
  printer.portName = note.portName;
  printer.address = note.address;
  printer.url = note.url;
  printer.portProblem = note.portProblem;
  printer.verdict = note.verdict;
  return printer;
}

PrinterExplanation FromSpooler(const PrinterInfo& info) {
  PrinterExplanation printer;
  printer.printerName = info.printerName.value_or("");
  printer.driverName = info.driverName.value_or("");
  printer.portName = info.portName.value_or("");
  return printer;
}

std::string Seconds(std::uint32_t milliseconds) {
  std::string text = std::to_string(milliseconds / 1000);
  if (milliseconds % 1000 != 0) {
    std::string fraction = std::to_string(1000 + milliseconds % 1000).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text + " s";
}

// A client error in words, its number kept for whoever looks it up.
std::string ClientErrorText(std::uint32_t code) {
  const std::string meaning = ClientErrorMeaning(code);
  const std::string number = "HTTP client error " + std::to_string(code);
  return meaning.empty() ? number : meaning + " (" + number + ")";
}

// The search's verdict on a printer it did not probe.
std::string VerdictReason(PrinterVerdict verdict) {
  switch (verdict) {
    case PrinterVerdict::kNotMaker:
      return "not a Tamrin printer";
    case PrinterVerdict::kPortNotResolved:
      return "no network address found behind its port";
    case PrinterVerdict::kUnsafeAddress:
      return "its address cannot stand in a web address";
    case PrinterVerdict::kZoneIdAddress:
      return "its link-local IPv6 address names a network interface, which browsers do not open";
    case PrinterVerdict::kNeitherFamily:
      return "a Tamrin printer of neither the GlowMark nor the BrimLine family";
    case PrinterVerdict::kNotRegistered:
      return "not asked: incomplete printer entry, or the search was stopped";
    case PrinterVerdict::kProbing:
      return "asked";
  }
  return VerdictText(verdict);
}

// How the request to a probed printer ended.
std::string ProbeReason(const SearchTrace::ProbeNote& probe) {
  switch (probe.end) {
    case ProbeEnd::kAnswered:
      return "answered";
    case ProbeEnd::kDuplicateName:
      return "answered, but a printer of the same name is listed already";
    case ProbeEnd::kHttpStatus:
      return "the device answered " + std::to_string(probe.code);
    case ProbeEnd::kStatusUnreadable:
      return "the device answered without a status that could be read";
    case ProbeEnd::kClientError:
      return ClientErrorText(probe.code);
    case ProbeEnd::kTimedOut:
      return "no answer within " + Seconds(probe.code);
    case ProbeEnd::kCutByStop:
      return "the search was stopped before the device answered";
    case ProbeEnd::kNotStarted:
      return probe.code == 0 ? "the request could not be sent"
                             : "the request could not be sent: " + ClientErrorText(probe.code);
  }
  return ProbeEndText(probe.end);
}

// What a failed printer enumeration means.
std::string SpoolerFailure(long result) {
  switch (result) {
    case kRpcServerUnavailable:
      return "the print server is not running";
    case kErrorTimeout:
      return "the print server did not answer in time";
    case kErrorAccessDenied:
      return "the print server asks for a password";
    case kErrorGenFailure:
      return "the print server refused the request";
    case kErrorOutOfMemory:
      return "out of memory";
    default:
      return "the printers could not be listed";
  }
}

}  // namespace

std::string ClientErrorMeaning(std::uint32_t code) {
  switch (code) {
    case kClientErrorNotEnoughMemory:
      return "the answer was too large, or memory ran out";
    case kClientErrorInternal:
      return "the HTTP client failed";
    case kClientErrorInvalidUrl:
      return "the device URL is not valid";
    case kClientErrorSecureChannel:
      return "no secure connection could be made";
    case kInternetErrorTimeout:
      return "no answer in time";
    case kInternetErrorNameNotResolved:
      return "the device's name could not be resolved";
    case kInternetErrorOperationCancelled:
      return "the request was cancelled";
    case kInternetErrorCannotConnect:
      return "the device cannot be reached";
    case kInternetErrorConnectionAborted:
      return "the connection was broken off";
    case kInternetErrorConnectionReset:
      return "the device reset the connection";
    case kHttpErrorInvalidServerResponse:
      return "the device did not answer in HTTP";
    default:
      return "";
  }
}

Explanation BuildExplanation(const std::optional<RecordingSpooler::Enumeration>& enumeration,
                             const std::vector<SearchTrace::PrinterNote>& printerNotes,
                             const std::vector<SearchTrace::ProbeNote>& probeNotes, bool asked) {
  Explanation explanation;
  explanation.spoolerAsked = asked || enumeration.has_value();
  if (enumeration) explanation.spoolerResult = enumeration->result;

  // Every entry the search reaches gets exactly one verdict, but a printer whose port needed a
  // lookup gets it later than those after it: notes are matched to the spooler's entries by
  // name and port, the first unused one each. A stop leaves entries without one; the notes
  // that match no entry are of the printers offered beyond the spooler's, listed after them.
  const bool listed = enumeration && enumeration->result == kErrorSuccess;
  std::vector<bool> noted(printerNotes.size(), false);
  if (listed) {
    for (const PrinterInfo& entry : enumeration->printers) {
      PrinterExplanation printer = FromSpooler(entry);
      for (std::size_t i = 0; i < printerNotes.size(); ++i) {
        if (noted[i] || printerNotes[i].printerName != printer.printerName ||
            printerNotes[i].portName != printer.portName)
          continue;
        noted[i] = true;
        printer = FromNote(printerNotes[i]);
        break;
      }
      explanation.printers.push_back(std::move(printer));
    }
  }
  for (std::size_t i = 0; i < printerNotes.size(); ++i) {
    if (noted[i]) continue;
    explanation.printers.push_back(FromNote(printerNotes[i]));
    explanation.printers.back().offered = listed;
  }

  // Each probe ends once; two probes of one name and URL are told apart by their order.
  std::vector<bool> used(probeNotes.size(), false);
  for (PrinterExplanation& printer : explanation.printers) {
    if (printer.verdict != PrinterVerdict::kProbing) continue;
    for (std::size_t i = 0; i < probeNotes.size(); ++i) {
      if (used[i] || probeNotes[i].printerName != printer.printerName ||
          probeNotes[i].url != printer.url)
        continue;
      used[i] = true;
      printer.probe = probeNotes[i];
      break;
    }
  }
  return explanation;
}

Explanation BuildExplanation(const RecordingSpooler& spooler, const RecordingTrace& trace) {
  return BuildExplanation(spooler.LastEnumeration(), trace.Printers(), trace.Probes(),
                          spooler.EnumerationAsked());
}

std::string ReasonText(const PrinterExplanation& printer) {
  if (!printer.verdict) return "not looked at: the search was stopped before";
  if (*printer.verdict == PrinterVerdict::kPortNotResolved && !printer.portProblem.empty())
    return VerdictReason(*printer.verdict) + ": " + printer.portProblem;
  if (*printer.verdict != PrinterVerdict::kProbing) return VerdictReason(*printer.verdict);
  if (!printer.probe) return "still waiting for the device's answer";
  return ProbeReason(*printer.probe);
}

std::string SpoolerText(const Explanation& explanation) {
  // A stop cuts a spooler that is slow to answer; such an answer is none.
  if (!explanation.spoolerResult || *explanation.spoolerResult == kErrorCancelled) {
    return explanation.spoolerAsked ? "no answer: the search was stopped while waiting for it"
                                    : "not asked: the search ended before";
  }
  const long result = *explanation.spoolerResult;
  if (result == kErrorSuccess) {
    const auto count = static_cast<std::size_t>(
        std::count_if(explanation.printers.begin(), explanation.printers.end(),
                      [](const PrinterExplanation& printer) { return !printer.offered; }));
    if (count == 0) return "no printers";
    return std::to_string(count) + (count == 1 ? " printer" : " printers");
  }
  return SpoolerFailure(result) + " (error " + std::to_string(result) + ")";
}

bool ReasonsWanted(const Explanation& explanation, std::size_t listed) {
  if (listed == 0) return true;
  const auto makers = std::count_if(
      explanation.printers.begin(), explanation.printers.end(), [](const PrinterExplanation& p) {
        return p.verdict.has_value() && *p.verdict != PrinterVerdict::kNotMaker;
      });
  return listed < static_cast<std::size_t>(makers);
}

}  // namespace pradex
