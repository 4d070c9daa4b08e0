#include "ui/cli/explain.h"

#include <algorithm>
#include <utility>

#include "platform/http_client.h"
#include "platform/posix/cups_spooler.h"
#include "platform/win_codes.h"

namespace pradex::cli {

using PrinterVerdict = SearchTrace::PrinterVerdict;
using ProbeEnd = SearchTrace::ProbeEnd;

long RecordingSpooler::EnumPrinters(std::vector<PrinterInfo>& printers) {
  {
    std::lock_guard lock(mutex);
    asked = true;
  }
  const long result = inner.EnumPrinters(printers);
  std::lock_guard lock(mutex);
  last = Enumeration{result, printers};
  return result;
}

long RecordingSpooler::EnumPorts(const std::optional<std::string>& serverName,
                                 std::vector<std::string>& ports) {
  return inner.EnumPorts(serverName, ports);
}

std::optional<RecordingSpooler::Enumeration> RecordingSpooler::LastEnumeration() const {
  std::lock_guard lock(mutex);
  return last;
}

void RecordingTrace::PrinterChecked(const PrinterNote& note) {
  std::lock_guard lock(mutex);
  printers.push_back(note);
}

void RecordingTrace::ProbeEnded(const ProbeNote& note) {
  std::lock_guard lock(mutex);
  probes.push_back(note);
}

bool RecordingSpooler::EnumerationAsked() const {
  std::lock_guard lock(mutex);
  return asked;
}

std::vector<SearchTrace::PrinterNote> RecordingTrace::Printers() const {
  std::lock_guard lock(mutex);
  return printers;
}

std::vector<SearchTrace::ProbeNote> RecordingTrace::Probes() const {
  std::lock_guard lock(mutex);
  return probes;
}

namespace {

PrinterExplanation FromNote(const SearchTrace::PrinterNote& note) {
  PrinterExplanation printer;
  printer.printerName = note.printerName;
  printer.driverName = note.driverName;
  printer.portName = note.portName;
  printer.address = note.address;
  printer.url = note.url;
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

std::string ProbeReason(const SearchTrace::ProbeNote& probe) {
  switch (probe.end) {
    case ProbeEnd::kAnswered:
      return "answered";
    case ProbeEnd::kDuplicateName:
      return "answered, but a printer of the same name is listed already";
    case ProbeEnd::kHttpStatus:
      return "HTTP status " + std::to_string(probe.code);
    case ProbeEnd::kStatusUnreadable:
      return "completed without a readable status";
    case ProbeEnd::kClientError: {
      const std::string meaning = ClientErrorMeaning(probe.code);
      return "client error " + std::to_string(probe.code) +
             (meaning.empty() ? "" : " (" + meaning + ")");
    }
    case ProbeEnd::kTimedOut:
      return "timed out after " + Seconds(probe.code);
    case ProbeEnd::kCutByStop:
      return "cut by the stop";
    case ProbeEnd::kNotStarted:
      return probe.code == 0
                 ? "request not started"
                 : "request not started (client error " + std::to_string(probe.code) + ")";
  }
  return ProbeEndText(probe.end);
}

}  // namespace

Explanation BuildExplanation(const std::optional<RecordingSpooler::Enumeration>& enumeration,
                             const std::vector<SearchTrace::PrinterNote>& printerNotes,
                             const std::vector<SearchTrace::ProbeNote>& probeNotes, bool asked) {
  Explanation explanation;
  explanation.spoolerAsked = asked || enumeration.has_value();
  if (enumeration) explanation.spoolerResult = enumeration->result;

  // The search walks the spooler's list in order and gives every entry it reaches exactly one
  // verdict, so the n-th note belongs to the n-th printer; a stop leaves the rest without one.
  const bool listed = enumeration && enumeration->result == kErrorSuccess;
  const std::size_t count =
      listed ? std::max(enumeration->printers.size(), printerNotes.size()) : printerNotes.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (i < printerNotes.size()) {
      explanation.printers.push_back(FromNote(printerNotes[i]));
    } else {
      explanation.printers.push_back(FromSpooler(enumeration->printers[i]));
    }
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

std::string ReasonText(const PrinterExplanation& printer) {
  if (!printer.verdict) return "not looked at: the search was stopped before";
  if (*printer.verdict == PrinterVerdict::kPortNotResolved && !printer.portProblem.empty())
    return std::string(VerdictText(*printer.verdict)) + ": " + printer.portProblem;
  if (*printer.verdict != PrinterVerdict::kProbing) return VerdictText(*printer.verdict);
  if (!printer.probe) return "probe still running";
  return ProbeReason(*printer.probe);
}

std::string SpoolerText(const Explanation& explanation) {
  if (!explanation.spoolerResult) {
    return explanation.spoolerAsked ? "no answer: the search was stopped while waiting for it"
                                    : "not asked: the search ended before";
  }
  const long result = *explanation.spoolerResult;
  if (result == kErrorSuccess) {
    const std::size_t count = explanation.printers.size();
    if (count == 0) return "no printers";
    return std::to_string(count) + (count == 1 ? " printer" : " printers");
  }
  std::string meaning;
  switch (result) {
    case CupsSpooler::kRpcServerUnavailable:
      meaning = "no CUPS server to connect to";
      break;
    case CupsSpooler::kErrorTimeout:
      meaning = "the CUPS server did not answer in time";
      break;
    case kErrorAccessDenied:
      meaning = "the CUPS server asks for credentials";
      break;
    case CupsSpooler::kErrorGenFailure:
      meaning = "the CUPS server refused the request";
      break;
    case kErrorOutOfMemory:
      meaning = "out of memory";
      break;
    default:
      meaning = "the printers could not be listed";
      break;
  }
  return meaning + " (error " + std::to_string(result) + ")";
}

std::string ClientErrorMeaning(std::uint32_t code) {
  switch (code) {
    case kInternetErrorTimeout:
      return "timed out";
    case kInternetErrorNameNotResolved:
      return "name not resolved";
    case kInternetErrorOperationCancelled:
      return "cancelled";
    case kInternetErrorCannotConnect:
      return "cannot connect";
    case kInternetErrorConnectionAborted:
      return "connection aborted";
    case kInternetErrorConnectionReset:
      return "connection reset";
    case kHttpErrorInvalidServerResponse:
      return "invalid server response";
    default:
      return "";
  }
}

}  // namespace pradex::cli
