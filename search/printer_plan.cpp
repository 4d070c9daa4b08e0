#include "search/printer_plan.h"

#include <utility>

#include "discovery/printer_record.h"
#include "platform/url_host.h"
#include "search/url_host.h"

namespace pradex {

using PrinterVerdict = SearchTrace::PrinterVerdict;
using Outcome = PortAddress::Outcome;

std::string DeviceUrl(const std::string& driverName, const std::string& address) {
  if (IsBrimLineModel(driverName)) return "http://" + address + kBrimLineUrlPath;
  if (IsGlowMarkModel(driverName)) return "http://" + address + kGlowMarkUrlPath;
  return std::string();
}

PrinterPlan PlanPrinter(PortResolver& ports, const PrinterInfo& entry) {
  PrinterPlan plan;
  SearchTrace::PrinterNote& note = plan.note;
  note.printerName = entry.printerName.value_or("");
  note.driverName = entry.driverName.value_or("");
  note.portName = entry.portName.value_or("");

  if (!IsMakerModel(note.driverName)) {
    note.verdict = PrinterVerdict::kNotMaker;
    return plan;
  }
  PortAddress address = ports.Resolve(entry);
  if (address.outcome == Outcome::kNeedsLookup) {
    plan.address = std::move(address);
    return plan;
  }
  FinishPlan(plan, std::move(address));
  return plan;
}

void FinishPlan(PrinterPlan& plan, PortAddress address) {
  SearchTrace::PrinterNote& note = plan.note;
  plan.address = std::move(address);
  if (plan.address.outcome != Outcome::kFound) {
    // A lookup never answers kNeedsLookup; one that does found nothing.
    note.verdict = PrinterVerdict::kPortNotResolved;
    note.portProblem = plan.address.problem;
    return;
  }
  std::string hostPort = plan.address.host;
  if (plan.address.port != 0) hostPort += ":" + std::to_string(plan.address.port);
  note.address = hostPort;
  note.host = plan.address.host;
  note.port = plan.address.port;
  note.ippUri = plan.address.ippUri;
  // An address that would break out of the host part of the URL is no address.
  if (!IsSafeUrlHost(hostPort)) {
    note.verdict = ClassifyUrlHostAndPort(hostPort) == UrlHostKind::kIpv6WithZone
                       ? PrinterVerdict::kZoneIdAddress
                       : PrinterVerdict::kUnsafeAddress;
    return;
  }
  note.url = DeviceUrl(note.driverName, hostPort);
  note.verdict = note.url.empty() ? PrinterVerdict::kNeitherFamily : PrinterVerdict::kProbing;
}

}  // namespace pradex
