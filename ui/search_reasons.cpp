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

Phrase Number(long long number) {
  return Phrase::Literal(std::to_string(number));
}

Phrase Seconds(std::uint32_t milliseconds) {
  Phrase number = Number(milliseconds / 1000);
  if (milliseconds % 1000 != 0) {
    std::string fraction = std::to_string(1000 + milliseconds % 1000).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    number = Phrase::Of("unit.decimal", {std::move(number), Phrase::Literal(fraction)});
  }
  return Phrase::Of("unit.seconds", {std::move(number)});
}

// A client error in words, its number kept for whoever looks it up.
Phrase ClientErrorText(std::uint32_t code) {
  Phrase meaning = ClientErrorMeaning(code);
  if (meaning.empty()) return Phrase::Of("client-error.numbered", {Number(code)});
  return Phrase::Of("client-error.explained", {std::move(meaning), Number(code)});
}

// The search's verdict on a printer it did not probe.
Phrase VerdictReason(PrinterVerdict verdict) {
  switch (verdict) {
    case PrinterVerdict::kNotMaker:
      return Phrase::Of("reason.not-maker");
    case PrinterVerdict::kPortNotResolved:
      return Phrase::Of("reason.port-not-resolved");
    case PrinterVerdict::kUnsafeAddress:
      return Phrase::Of("reason.unsafe-address");
    case PrinterVerdict::kZoneIdAddress:
      return Phrase::Of("reason.zone-id-address");
    case PrinterVerdict::kNeitherFamily:
      return Phrase::Of("reason.neither-family");
    case PrinterVerdict::kNotRegistered:
      return Phrase::Of("reason.not-registered");
    case PrinterVerdict::kProbing:
      return Phrase::Of("reason.asked");
  }
  return Phrase::Literal(VerdictText(verdict));
}

// How the request to a probed printer ended.
Phrase ProbeReason(const SearchTrace::ProbeNote& probe) {
  switch (probe.end) {
    case ProbeEnd::kAnswered:
      return Phrase::Of("probe.answered");
    case ProbeEnd::kDuplicateName:
      return Phrase::Of("probe.duplicate-name");
    case ProbeEnd::kHttpStatus:
      return Phrase::Of("probe.http-status", {Number(probe.code)});
    case ProbeEnd::kStatusUnreadable:
      return Phrase::Of("probe.status-unreadable");
    case ProbeEnd::kClientError:
      return ClientErrorText(probe.code);
    case ProbeEnd::kTimedOut:
      return Phrase::Of("probe.timed-out", {Seconds(probe.code)});
    case ProbeEnd::kCutByStop:
      return Phrase::Of("probe.cut-by-stop");
    case ProbeEnd::kNotStarted:
      return probe.code == 0 ? Phrase::Of("probe.not-sent")
                             : Phrase::Of("probe.not-sent-because", {ClientErrorText(probe.code)});
  }
  return Phrase::Literal(ProbeEndText(probe.end));
}

// What a failed printer enumeration means; empty for a failure without words of its own.
Phrase SpoolerFailure(long result) {
  switch (result) {
    case kRpcServerUnavailable:
      return Phrase::Of("spooler.not-running");
    case kErrorTimeout:
      return Phrase::Of("spooler.timed-out");
    case kErrorAccessDenied:
      return Phrase::Of("spooler.password");
    case kErrorGenFailure:
      return Phrase::Of("spooler.refused");
    case kErrorOutOfMemory:
      return Phrase::Of("spooler.out-of-memory");
    default:
      return {};
  }
}

}  // namespace

Phrase ClientErrorMeaning(std::uint32_t code) {
  switch (code) {
    case kClientErrorNotEnoughMemory:
      return Phrase::Of("client-error.too-large");
    case kClientErrorInternal:
      return Phrase::Of("client-error.failed");
    case kClientErrorInvalidUrl:
      return Phrase::Of("client-error.invalid-url");
    case kClientErrorSecureChannel:
      return Phrase::Of("client-error.secure-channel");
    case kInternetErrorTimeout:
      return Phrase::Of("client-error.timeout");
    case kInternetErrorNameNotResolved:
      return Phrase::Of("client-error.name-not-resolved");
    case kInternetErrorOperationCancelled:
      return Phrase::Of("client-error.cancelled");
    case kInternetErrorCannotConnect:
      return Phrase::Of("client-error.cannot-connect");
    case kInternetErrorConnectionAborted:
      return Phrase::Of("client-error.aborted");
    case kInternetErrorConnectionReset:
      return Phrase::Of("client-error.reset");
    case kHttpErrorInvalidServerResponse:
      return Phrase::Of("client-error.not-http");
    default:
      return {};
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

Phrase ReasonText(const PrinterExplanation& printer) {
  if (!printer.verdict) return Phrase::Of("reason.not-looked-at");
  if (*printer.verdict == PrinterVerdict::kPortNotResolved && !printer.portProblem.empty())
    return Phrase::Of("reason.port-not-resolved-because", {printer.portProblem});
  if (*printer.verdict != PrinterVerdict::kProbing) return VerdictReason(*printer.verdict);
  if (!printer.probe) return Phrase::Of("reason.waiting");
  return ProbeReason(*printer.probe);
}

Phrase SpoolerText(const Explanation& explanation) {
  // A stop cuts a spooler that is slow to answer; such an answer is none.
  if (!explanation.spoolerResult || *explanation.spoolerResult == kErrorCancelled) {
    return Phrase::Of(explanation.spoolerAsked ? "spooler.stopped" : "spooler.not-asked");
  }
  const long result = *explanation.spoolerResult;
  if (result == kErrorSuccess) {
    const auto count = static_cast<std::size_t>(
        std::count_if(explanation.printers.begin(), explanation.printers.end(),
                      [](const PrinterExplanation& printer) { return !printer.offered; }));
    if (count == 0) return Phrase::Of("spooler.no-printers");
    if (count == 1) return Phrase::Of("spooler.one-printer");
    return Phrase::Of("spooler.printers", {Number(static_cast<long long>(count))});
  }
  Phrase failure = SpoolerFailure(result);
  if (failure.empty()) failure = Phrase::Of("spooler.cannot-list");
  return Phrase::Of("spooler.failed", {std::move(failure), Number(result)});
}

Phrase SpoolerProblem(long result) {
  Phrase failure = SpoolerFailure(result);
  if (failure.empty()) return Phrase::Of("spooler.error", {Number(result)});
  return failure;
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
