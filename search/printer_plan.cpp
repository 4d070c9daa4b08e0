#include "search/printer_plan.h"

#include "discovery/printer_record.h"
#include "platform/url_host.h"
#include "search/url_host.h"

namespace pradex {

using PrinterVerdict = SearchTrace::PrinterVerdict;

std::string DeviceUrl(const std::string& driverName, const std::string& address) {
  if (IsBrimLineModel(driverName)) return "http://" + address + kBrimLineUrlPath;
  if (IsGlowMarkModel(driverName)) return "http://" + address + kGlowMarkUrlPath;
  return std::string();
}

SearchTrace::PrinterNote PlanPrinter(const DiscoveryPlatform& discovery, const PrinterInfo& entry) {
  SearchTrace::PrinterNote note;
  note.printerName = entry.printerName.value_or("");
  note.driverName = entry.driverName.value_or("");
  note.portName = entry.portName.value_or("");

  if (!IsMakerModel(note.driverName)) {
    note.verdict = PrinterVerdict::kNotMaker;
    return note;
  }
  std::string address;
  if (!ResolvePortAddress(discovery, entry, address)) {
    note.verdict = PrinterVerdict::kPortNotResolved;
    return note;
  }
  note.address = address;
  // An address that would break out of the host part of the URL is no address.
  if (!IsSafeUrlHost(address)) {
    note.verdict = ClassifyUrlHostAndPort(address) == UrlHostKind::kIpv6WithZone
                       ? PrinterVerdict::kZoneIdAddress
                       : PrinterVerdict::kUnsafeAddress;
    return note;
  }
  note.url = DeviceUrl(note.driverName, address);
  note.verdict = note.url.empty() ? PrinterVerdict::kNeitherFamily : PrinterVerdict::kProbing;
  return note;
}

}  // namespace pradex
