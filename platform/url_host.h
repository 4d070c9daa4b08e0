// The one grammar of the hosts that are put into http URLs, whatever their source (a CUPS
// device URI, a port monitor's registry value): RFC 3986 hosts without the forms that
// resolvers and HTTP clients read in more than one way.
#pragma once

#include <string_view>

namespace pradex {

enum class UrlHostKind {
  kInvalid,
  kName,          // a reg-name of letters, digits, '-', '.' and '_' in non-empty labels (one
                  // trailing dot allowed), whose last label is not a number
  kIpv4,          // dotted decimal: four parts 0-255 without leading zeros
  kIpv6,          // "[" IPv6address "]"
  kIpv6WithZone,  // "[" IPv6address "%25" zone "]" (RFC 6874), the zone of unreserved characters
};

// What `host` (no port) is. Every other numeric form of an IPv4 address ("127.1", "2130706433",
// "0177.0.0.1", "0x7f.0.0.1") is invalid rather than a name: resolvers read such names as
// addresses, each in its own way. So is a host with percent escapes, sub-delimiters or an
// IPvFuture literal.
UrlHostKind ClassifyUrlHost(std::string_view host);

// The same for a host followed by an optional ":port" (1 to 65535).
UrlHostKind ClassifyUrlHostAndPort(std::string_view hostAndPort);

}  // namespace pradex
