// Whether an address found behind a printer's port can stand as the host of a device URL.
#pragma once

#include <string>

namespace pradex {

// Whether `address` can stand as the host of an http URL: a host name, a dotted-decimal IPv4
// address or an IPv6 literal in brackets without a zone id (platform/url_host.h), optionally
// followed by ":port" (1 to 65535).
bool IsSafeUrlHost(const std::string& address);

}  // namespace pradex
