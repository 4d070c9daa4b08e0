// What the search does with one printer entry of the spooler: the maker test, the address
// behind the port, the address check and the family's device URL. No threads and no state of
// its own; the port resolution reads the spooler's port list and the registry.
#pragma once

#include <string>

#include "discovery/port_cache.h"
#include "platform/spooler.h"
#include "search/search_trace.h"

namespace pradex {

inline constexpr const char* kBrimLineUrlPath = "/?type=supplies";
inline constexpr const char* kGlowMarkUrlPath = "/tamrin/device/this.LCDispatcher";

// The entry's names, and either the reason it is skipped or PrinterVerdict::kProbing with the
// resolved address and the device URL to probe. An entry to probe may still fail to register
// (an empty printer or port name); the caller decides that.
SearchTrace::PrinterNote PlanPrinter(const DiscoveryPlatform& discovery, const PrinterInfo& entry);

// The device URL of a printer whose driver name is `driverName` at `address`; BrimLine first,
// so a name of both families gets the BrimLine page. "" for a name of neither family.
std::string DeviceUrl(const std::string& driverName, const std::string& address);

}  // namespace pradex
