// What the search does with one printer entry of the spooler: the maker test, the address
// behind the port, the address check and the family's device URL. No threads and no state of
// its own.
#pragma once

#include <string>

#include "platform/port_resolver.h"
#include "platform/spooler.h"
#include "search/search_trace.h"

namespace pradex {

inline constexpr const char* kBrimLineUrlPath = "/?type=supplies";
inline constexpr const char* kGlowMarkUrlPath = "/tamrin/device/this.LCDispatcher";

// One printer entry on its way to a verdict.
struct PrinterPlan {
  SearchTrace::PrinterNote note;
  // The resolver's answer; kNeedsLookup while the note waits for a lookup (FinishPlan then
  // gives the verdict from the lookup's answer).
  PortAddress address;
};

// The entry's names, and either the reason it is skipped or PrinterVerdict::kProbing with the
// resolved address and the device URL to probe; or, when the port needs a lookup, the plan
// that FinishPlan completes. An entry to probe may still fail to register (an empty printer
// or port name); the caller decides that.
PrinterPlan PlanPrinter(PortResolver& ports, const PrinterInfo& entry);
// The verdict of a plan whose address is now known (kFound or kNotFound).
void FinishPlan(PrinterPlan& plan, PortAddress address);

// The device URL of a printer whose driver name is `driverName` at `address`; BrimLine first,
// so a name of both families gets the BrimLine page. "" for a name of neither family.
std::string DeviceUrl(const std::string& driverName, const std::string& address);

}  // namespace pradex
