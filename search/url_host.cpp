#include "search/url_host.h"

#include "platform/url_host.h"

namespace pradex {

bool IsSafeUrlHost(const std::string& address) {
  // The grammar every address source shares. Browsers do not take zone ids in URLs, so a
  // link-local address with one cannot be listed as a link.
  const UrlHostKind kind = ClassifyUrlHostAndPort(address);
  return kind != UrlHostKind::kInvalid && kind != UrlHostKind::kIpv6WithZone;
}

}  // namespace pradex
