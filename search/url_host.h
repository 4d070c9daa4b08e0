// Whether an address found behind a printer's port can stand as the host of a device URL.
#pragma once

#include <string>

namespace pradex {

// Whether `address` can stand as the host of an http URL: a host name or IPv4 address, or an
// IPv6 literal in brackets, optionally followed by ":port" (1 to 65535). No white space,
// control characters, quotes or any of / \ ? # @ < > % { } | ^ `; not empty.
bool IsSafeUrlHost(const std::string& address);

}  // namespace pradex
